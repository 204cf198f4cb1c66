#include <functional>
#include <map>
#include <mutex>

#include <gtest/gtest.h>

#include <QImage>

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "platform/Progress.h"
#include "settings/Settings.h"
#include "tests/display/ImageFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;

// A scene's media list with a renderer for an 800 × 600 player view.
class LoaderFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::MakeTempDir(QStringLiteral("loader"));
        ASSERT_EQ(display_.CreateDevice(QSize(800, 600)), kOk);
    }

    QString PathOf(const QString& name) const { return dir_ + QLatin1Char('/') + name; }

    // A picture file of `size`; returns its path.
    QString WritePicture(const QString& name, QSize size, QColor colour = Qt::gray) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        test::WriteWithQt(PathOf(name), image, "png");
        return PathOf(name);
    }

    CNode* Add(const QString& path) { return media_.AddMediaFile(kTypeImage, path); }

    CNode* Item(const QString& name) const {
        for (CNode* item : *media_.ImageLevel()->children) {
            if (item->imageInfo->path == PathOf(name)) return item;
        }
        return nullptr;
    }

    static bool Failed(const CNode* item) { return (item->flags & kFlagLoadFailed) != 0; }

    QString dir_;
    CSettings settings_;
    CMdiaList media_;
    CDirect3D display_{settings_, media_};
};

// The walk is the same whether files are decoded here or on workers.
class PendingWalk : public LoaderFixture, public ::testing::WithParamInterface<int> {};

TEST_P(PendingWalk, LoadsOneAtATimeAndFlagsBrokenFilesAtOnce) {
    display_.Loader().SetWorkerCount(GetParam());
    std::mutex mutex;
    std::map<QString, int> reads;
    display_.Loader().SetDecoder([&](const QString& path, const RenderTarget& target) {
        {
            std::lock_guard lock(mutex);
            ++reads[path];
        }
        return DecodeImage(path, target);
    });
    test::WriteBytes(PathOf(QStringLiteral("a broken.png")), "not a picture");
    Add(PathOf(QStringLiteral("a broken.png")));
    Add(WritePicture(QStringLiteral("b.png"), QSize(1000, 500)));
    Add(PathOf(QStringLiteral("c missing.png")));
    Add(WritePicture(QStringLiteral("d.png"), QSize(20, 10)));

    EXPECT_TRUE(display_.LoadPendingImages(false));
    EXPECT_TRUE(Failed(Item(QStringLiteral("a broken.png"))));
    const CNode* b = Item(QStringLiteral("b.png"));
    ASSERT_FALSE(b->texture.isNull());
    EXPECT_EQ(b->imageInfo->imageWidth, 1000);
    EXPECT_EQ(b->imageInfo->textureWidth, 800);
    EXPECT_EQ(b->imageInfo->textureHeight, 600);
    EXPECT_TRUE(Item(QStringLiteral("d.png"))->texture.isNull());

    EXPECT_TRUE(display_.LoadPendingImages(false));
    EXPECT_TRUE(Failed(Item(QStringLiteral("c missing.png"))));
    EXPECT_EQ(Item(QStringLiteral("d.png"))->texture.size(), QSize(20, 10));

    EXPECT_FALSE(display_.LoadPendingImages(false));
    EXPECT_FALSE(display_.LoadPendingImages(true));
    // Broken and missing files were read once, never again.
    EXPECT_EQ(reads[PathOf(QStringLiteral("a broken.png"))], 1);
    EXPECT_EQ(reads[PathOf(QStringLiteral("c missing.png"))], 1);
    EXPECT_EQ(reads[PathOf(QStringLiteral("b.png"))], 1);
    EXPECT_EQ(reads[PathOf(QStringLiteral("d.png"))], 1);

    // Selecting an item clears its flag; a mended file then loads.
    WritePicture(QStringLiteral("a broken.png"), QSize(30, 30));
    Item(QStringLiteral("a broken.png"))->Select();
    EXPECT_TRUE(display_.LoadPendingImages(false));
    EXPECT_EQ(Item(QStringLiteral("a broken.png"))->texture.size(), QSize(30, 30));
}

TEST_P(PendingWalk, AllLoadsEveryPendingImage) {
    display_.Loader().SetWorkerCount(GetParam());
    for (int i = 0; i < 6; ++i) {
        Add(WritePicture(QStringLiteral("img %1.png").arg(i), QSize(10 + i, 10)));
    }
    test::WriteBytes(PathOf(QStringLiteral("img 9.png")), "broken");
    Add(PathOf(QStringLiteral("img 9.png")));

    EXPECT_FALSE(display_.LoadPendingImages(true));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Item(QStringLiteral("img %1.png").arg(i))->texture.size(), QSize(10 + i, 10));
    }
    EXPECT_TRUE(Failed(Item(QStringLiteral("img 9.png"))));
}

INSTANTIATE_TEST_SUITE_P(Workers, PendingWalk, ::testing::Values(0, 2));

TEST_F(LoaderFixture, RetriesWaitTheirTurnWithoutBlockingAndStopAfterThree) {
    CImageLoader& loader = display_.Loader();
    loader.SetWorkerCount(0);
    auto now = std::chrono::steady_clock::time_point{};
    loader.SetClock([&] { return now; });
    std::vector<std::chrono::milliseconds> scheduled;
    loader.SetRetryScheduler([&](std::chrono::milliseconds delay) { scheduled.push_back(delay); });

    // "late" cannot be opened twice, then reads; "stuck" never does (once
    // for want of memory: decoded, but no texture).
    std::map<QString, int> reads;
    loader.SetDecoder([&](const QString& path, const RenderTarget&) {
        const int attempt = ++reads[path];
        DecodedImage decoded;
        decoded.retry = true;
        if (path.endsWith(QLatin1String("late.png")) && attempt == 3) {
            decoded.result = kOk;
            decoded.texture = QImage(8, 8, QImage::Format_RGB32);
            decoded.imageSize = QSize(8, 8);
        } else if (attempt == 2) {
            decoded.result = 1;
        }
        return decoded;
    });
    CNode* late = Add(PathOf(QStringLiteral("late.png")));
    CNode* stuck = Add(PathOf(QStringLiteral("stuck.png")));

    EXPECT_FALSE(display_.LoadPendingImages(false));
    EXPECT_EQ(reads[late->imageInfo->path], 1);
    EXPECT_EQ(reads[stuck->imageInfo->path], 1);
    EXPECT_EQ(scheduled, (std::vector<std::chrono::milliseconds>{250ms, 250ms}));
    EXPECT_FALSE(Failed(late));
    EXPECT_FALSE(Failed(stuck));

    // Not yet due: neither the walk nor a load-all touches them.
    now += 249ms;
    EXPECT_FALSE(display_.LoadPendingImages(false));
    EXPECT_FALSE(display_.LoadPendingImages(true));
    EXPECT_EQ(reads[late->imageInfo->path], 1);

    now += 1ms;
    EXPECT_FALSE(display_.LoadPendingImages(false));
    EXPECT_EQ(reads[late->imageInfo->path], 2);
    EXPECT_EQ(reads[stuck->imageInfo->path], 2);
    EXPECT_FALSE(Failed(stuck));

    now += 250ms;
    EXPECT_TRUE(display_.LoadPendingImages(false));
    EXPECT_FALSE(late->texture.isNull());
    EXPECT_FALSE(Failed(late));
    EXPECT_EQ(reads[stuck->imageInfo->path], 2);  // the walk stopped at the loaded one

    EXPECT_FALSE(display_.LoadPendingImages(false));
    EXPECT_TRUE(Failed(stuck));
    EXPECT_EQ(reads[stuck->imageInfo->path], 3);

    now += 10s;
    EXPECT_FALSE(display_.LoadPendingImages(false));
    EXPECT_EQ(reads[stuck->imageInfo->path], 3);
    EXPECT_EQ(scheduled.size(), 4u);
}

TEST_F(LoaderFixture, PrefetchedPicturesFollowChangesMadeMeanwhile) {
    display_.Loader().SetWorkerCount(2);
    for (const char* name : {"a", "b", "c", "d"}) {
        Add(WritePicture(QStringLiteral("%1.jpg").arg(QLatin1String(name)), QSize(64, 48)));
        WritePicture(QStringLiteral("%1.lvw").arg(QLatin1String(name)), QSize(32, 24));
    }
    settings_.Set(LoadLiveView, 0);
    ASSERT_TRUE(display_.LoadPendingImages(false));  // loads a, starts b
    EXPECT_EQ(Item(QStringLiteral("a.jpg"))->imageInfo->imageWidth, 64);

    // The switch flipped while b was being read: b comes from its companion.
    settings_.Set(LoadLiveView, 1);
    ASSERT_TRUE(display_.LoadPendingImages(false));
    EXPECT_EQ(Item(QStringLiteral("b.jpg"))->imageInfo->imageWidth, 32);

    // c is being read when it leaves the list; d still loads.
    CNodeList& images = *media_.ImageLevel()->children;
    images.erase(images.indexOf(Item(QStringLiteral("c.jpg"))));
    ASSERT_TRUE(display_.LoadPendingImages(false));
    EXPECT_EQ(Item(QStringLiteral("d.jpg"))->imageInfo->imageWidth, 32);
    EXPECT_FALSE(display_.LoadPendingImages(false));
}

TEST_F(LoaderFixture, LoadImageReplacesOnSuccessAndKeepsTheOldTextureOnFailure) {
    const QString path = WritePicture(QStringLiteral("shot.png"), QSize(50, 40));
    CNode* item = Add(path);
    item->flags |= kFlagLoadFailed;
    EXPECT_EQ(display_.LoadImage(*item), kOk);
    EXPECT_EQ(item->texture.size(), QSize(50, 40));
    EXPECT_TRUE(Failed(item));  // the flag is the pending loader's business

    test::WriteBytes(path, "overwritten with rubbish");
    EXPECT_EQ(display_.LoadImage(*item), kFail);
    EXPECT_EQ(item->texture.size(), QSize(50, 40));

    WritePicture(QStringLiteral("shot.png"), QSize(60, 40));
    EXPECT_EQ(display_.LoadImage(*item), kOk);
    EXPECT_EQ(item->texture.size(), QSize(60, 40));
    EXPECT_EQ(item->imageInfo->imageWidth, 60);
}

// The movie's full-size pictures: decoded for the open frame on a worker,
// and nothing of the view's cache is touched by them.
TEST_F(LoaderFixture, DecodeAsideLeavesTheItemAndTheCacheAlone) {
    CNode* item = Add(WritePicture(QStringLiteral("wide.png"), QSize(1600, 900)));
    CNode* broken = Add(PathOf(QStringLiteral("missing.png")));
    ASSERT_TRUE(display_.BeginOffscreen(QRect(0, 0, 1280, 720)));
    std::shared_future<DecodedImage> picture = display_.DecodeAside(*item);
    std::shared_future<DecodedImage> none = display_.DecodeAside(*broken);
    ASSERT_EQ(picture.get().result, kOk);
    EXPECT_EQ(picture.get().texture.size(), QSize(1280, 720)) << "no wider than the frame";
    EXPECT_EQ(picture.get().imageSize, QSize(1600, 900));
    EXPECT_TRUE(picture.get().thumbnail.isNull());
    EXPECT_EQ(none.get().result, kFail);
    display_.EndOffscreen();
    EXPECT_TRUE(item->texture.isNull());
    EXPECT_FALSE(Failed(broken)) << "the movie reports it; the view may still retry";
    EXPECT_EQ(display_.CacheStatistics().textures, 0);
    EXPECT_EQ(display_.CacheStatistics().bytes, 0);
    EXPECT_TRUE(display_.Loader().Cache().Thumbnail(*item).isNull());
}

TEST_F(LoaderFixture, NothingLoadsOrFailsWithoutAView) {
    CSettings settings;
    CMdiaList media;
    CDirect3D display(settings, media);
    CNode* item =
        media.AddMediaFile(kTypeImage, WritePicture(QStringLiteral("x.png"), QSize(9, 9)));
    EXPECT_FALSE(display.LoadPendingImages(true));
    EXPECT_EQ(display.LoadImage(*item), 1);
    EXPECT_TRUE(item->texture.isNull());
    EXPECT_FALSE(Failed(item));
}

TEST_F(LoaderFixture, DisplayChangeDropsTexturesAndTheyComeBackAtTheNewSize) {
    CNode* wide = Add(WritePicture(QStringLiteral("wide.png"), QSize(1000, 100)));
    test::WriteBytes(PathOf(QStringLiteral("z.png")), "junk");
    CNode* junk = Add(PathOf(QStringLiteral("z.png")));
    display_.LoadPendingImages(true);
    ASSERT_EQ(wide->texture.width(), 800);
    ASSERT_TRUE(Failed(junk));

    ASSERT_EQ(display_.OnDisplayChange(QSize(400, 300), 32), kOk);
    EXPECT_TRUE(wide->texture.isNull());
    EXPECT_TRUE(Failed(junk));
    EXPECT_TRUE(display_.LoadPendingImages(false));
    EXPECT_EQ(wide->texture.size(), QSize(400, 300));
    EXPECT_EQ(wide->imageInfo->imageWidth, 1000);
}

// A progress window that records what it is told and runs `onStep`, as a
// real one lets pending events run.
class RecordingProgress : public IProgress {
  public:
    void Open(int titleId, int buttonSet) override {
        title = titleId;
        buttons = buttonSet;
        open = true;
    }
    void SetRange(int total) override { range = total; }
    int Step(int position) override {
        steps.push_back(position);
        return onStep ? onStep(position) : kGoOn;
    }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }

    int title = 0;
    int buttons = -1;
    int range = 0;
    bool open = false;
    std::vector<int> steps;
    std::function<int(int)> onStep;
};

TEST_F(LoaderFixture, ReloadShowsProgressAndSurvivesTheListChangingMeanwhile) {
    for (const char* name : {"a", "b", "c"}) {
        Add(WritePicture(QStringLiteral("%1.jpg").arg(QLatin1String(name)), QSize(64, 48)));
        WritePicture(QStringLiteral("%1.lvw").arg(QLatin1String(name)), QSize(32, 24));
    }
    EXPECT_TRUE(display_.HasLiveViewCompanions());
    settings_.Set(LoadLiveView, 1);

    RecordingProgress progress;
    bool nestedLoad = true;
    progress.onStep = [&](int done) {
        if (done == 1) {
            // What the window's event pump may run meanwhile: an idle pass,
            // and a command that removes an image.
            nestedLoad = display_.LoadPendingImages(false);
            CNodeList& images = *media_.ImageLevel()->children;
            images.erase(images.indexOf(Item(QStringLiteral("b.jpg"))));
        }
        return IProgress::kGoOn;
    };
    display_.ReloadAllImages(progress);
    EXPECT_EQ(progress.title, 40207);
    EXPECT_EQ(progress.buttons, IProgress::kNoButtons);
    EXPECT_EQ(progress.range, 3);
    EXPECT_EQ(progress.steps, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(progress.open);
    EXPECT_FALSE(nestedLoad);
    EXPECT_EQ(Item(QStringLiteral("a.jpg"))->imageInfo->imageWidth, 32);
    EXPECT_EQ(Item(QStringLiteral("c.jpg"))->imageInfo->imageWidth, 32);
}

TEST_F(LoaderFixture, ClosingTheProgressWindowStopsTheReload) {
    for (const char* name : {"a", "b"}) {
        Add(WritePicture(QStringLiteral("%1.jpg").arg(QLatin1String(name)), QSize(64, 48)));
        WritePicture(QStringLiteral("%1.lvw").arg(QLatin1String(name)), QSize(32, 24));
    }
    display_.LoadPendingImages(true);
    settings_.Set(LoadLiveView, 1);
    RecordingProgress progress;
    progress.onStep = [](int) { return IProgress::kClosed; };
    display_.ReloadAllImages(progress);
    EXPECT_EQ(progress.steps, (std::vector<int>{1}));
    EXPECT_EQ(Item(QStringLiteral("a.jpg"))->imageInfo->imageWidth, 32);
    EXPECT_EQ(Item(QStringLiteral("b.jpg"))->imageInfo->imageWidth, 64);
    EXPECT_FALSE(progress.open);
}

TEST_F(LoaderFixture, NoCompanionMeansNothingToReload) {
    Add(WritePicture(QStringLiteral("a.jpg"), QSize(8, 8)));
    EXPECT_FALSE(display_.HasLiveViewCompanions());
}

}  // namespace
}  // namespace kolvane
