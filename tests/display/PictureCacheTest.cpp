#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QTest>

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "settings/Settings.h"
#include "tests/display/ImageFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

// Pictures of 160 × 120 (76,800 bytes a texture) for a 320 × 240 view, so that
// a budget is a handful of textures.
constexpr QSize kPicture(160, 120);
constexpr std::int64_t kTextureBytes = 160 * 120 * 4;

class PictureCacheFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test::MakeTempDir(QStringLiteral("cache"));
        ASSERT_EQ(display_.CreateDevice(QSize(320, 240)), kOk);
        display_.Loader().SetDecoder([this](const QString& path, const RenderTarget& target) {
            {
                std::lock_guard lock(mutex_);
                ++reads_[path];
            }
            return DecodeImage(path, target);
        });
    }

    // `count` pictures, each its own colour in its corner.
    void AddPictures(int count) {
        for (int i = 0; i < count; ++i) {
            const QString path = dir_ + QStringLiteral("/p%1.png").arg(i);
            test::WriteWithQt(
                path,
                test::CornerImage(kPicture, QColor::fromHsv(i * 30 % 360, 200, 200), Qt::white),
                "png");
            items_.push_back(media_.AddMediaFile(kTypeImage, path));
        }
    }

    int Reads(const CNode* item) {
        std::lock_guard lock(mutex_);
        return reads_[item->imageInfo->path];
    }

    // Shows one item as the player does: loaded if need be, then drawn.
    void Show(CNode& item) {
        display_.LoadNow(item);
        display_.Clear(std::nullopt, 0);
        display_.DrawImage(display_.GetViewportRect(), item, false, kFitMonitor);
    }

    QString dir_;
    CSettings settings_;
    CMdiaList media_;
    CDirect3D display_{settings_, media_};
    std::vector<CNode*> items_;
    std::mutex mutex_;
    std::map<QString, int> reads_;
};

TEST_F(PictureCacheFixture, WithinTheBudgetEverythingStaysLoaded) {
    display_.Loader().SetCacheBudget(100 * kTextureBytes);
    AddPictures(6);
    EXPECT_FALSE(display_.LoadPendingImages(true));
    for (int round = 0; round < 2; ++round) {
        for (CNode* item : items_)
            Show(*item);
    }
    for (CNode* item : items_) {
        EXPECT_FALSE(item->texture.isNull());
        EXPECT_EQ(Reads(item), 1);
    }
    const PictureCacheStatistics stats = display_.CacheStatistics();
    EXPECT_EQ(stats.textures, 6);
    EXPECT_EQ(stats.bytes, 6 * kTextureBytes);
    EXPECT_EQ(stats.hits, 12u);  // loaded while idle, so every one was there
    EXPECT_EQ(stats.misses, 0u);
}

TEST_F(PictureCacheFixture, BeyondTheBudgetTheLeastRecentlyShownGoAndComeBackIdentical) {
    const std::int64_t budget = 3 * kTextureBytes + kTextureBytes / 2;
    display_.Loader().SetCacheBudget(budget);
    AddPictures(10);
    // The idle loader stops at the budget instead of loading and releasing.
    EXPECT_FALSE(display_.LoadPendingImages(true));
    EXPECT_LE(display_.CacheStatistics().bytes, budget);
    EXPECT_TRUE(items_[9]->texture.isNull());

    std::vector<QImage> first;
    for (CNode* item : items_) {
        Show(*item);
        ASSERT_FALSE(item->texture.isNull());
        first.push_back(item->texture);
        EXPECT_LE(display_.CacheStatistics().bytes, budget + kTextureBytes);
    }
    // The first ones were released; their image size stays on the item.
    EXPECT_TRUE(items_[0]->texture.isNull());
    EXPECT_EQ(items_[0]->imageInfo->imageWidth, kPicture.width());
    EXPECT_EQ(items_[0]->imageInfo->imageHeight, kPicture.height());
    EXPECT_FALSE(items_[9]->texture.isNull());
    EXPECT_GT(display_.CacheStatistics().misses, 0u);

    for (std::size_t i = 0; i < items_.size(); ++i) {
        Show(*items_[i]);
        EXPECT_EQ(items_[i]->texture, first[i]) << i;
        EXPECT_LE(display_.CacheStatistics().bytes, budget + kTextureBytes);
    }
}

TEST_F(PictureCacheFixture, AFailedPictureStaysFailedWhateverIsReleased) {
    display_.Loader().SetCacheBudget(kTextureBytes);
    AddPictures(3);
    const QString broken = dir_ + QStringLiteral("/broken.png");
    test::WriteBytes(broken, "not a picture");
    CNode* bad = media_.AddMediaFile(kTypeImage, broken);
    for (int round = 0; round < 4; ++round) {
        for (CNode* item : items_)
            Show(*item);
        Show(*bad);
        display_.LoadPendingImages(true);
        display_.ReadAhead({bad, items_[0]});
        display_.TakeReadAhead(*bad);
    }
    EXPECT_NE(bad->flags & kFlagLoadFailed, 0u);
    EXPECT_EQ(Reads(bad), 1);
}

TEST_F(PictureCacheFixture, AShrinkingBudgetReleasesAtOnceKeepingTheLatestShown) {
    display_.Loader().SetCacheBudget(100 * kTextureBytes);
    AddPictures(8);
    for (CNode* item : items_)
        Show(*item);
    ASSERT_EQ(display_.CacheStatistics().bytes, 8 * kTextureBytes);

    display_.Loader().SetCacheBudget(2 * kTextureBytes);
    EXPECT_LE(display_.CacheStatistics().bytes, 2 * kTextureBytes);
    EXPECT_FALSE(items_[7]->texture.isNull());
    EXPECT_TRUE(items_[0]->texture.isNull());

    display_.Loader().SetCacheBudget(0);
    EXPECT_EQ(display_.CacheStatistics().bytes, 0);
    for (CNode* item : items_)
        EXPECT_TRUE(item->texture.isNull());
}

TEST_F(PictureCacheFixture, AnItemRemovedFromTheSceneIsForgottenNotTouched) {
    display_.Loader().SetCacheBudget(100 * kTextureBytes);
    AddPictures(3);
    for (CNode* item : items_)
        Show(*item);
    media_.ImageLevel()->children->erase(0);  // the item goes with it
    items_.erase(items_.begin());
    display_.Loader().SetCacheBudget(kTextureBytes);
    EXPECT_LE(display_.CacheStatistics().bytes, kTextureBytes);
    display_.LoadPendingImages(false);
    EXPECT_LE(display_.CacheStatistics().bytes, kTextureBytes);
}

TEST_F(PictureCacheFixture, ThumbnailsStayWhenTexturesGo) {
    display_.Loader().SetCacheBudget(kTextureBytes);
    AddPictures(3);
    for (CNode* item : items_)
        Show(*item);
    ASSERT_TRUE(items_[0]->texture.isNull());
    const CPictureCache& cache = display_.Loader().Cache();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const QImage thumbnail = cache.Thumbnail(*items_[i]);
        ASSERT_EQ(thumbnail.size(), QSize(64, 48)) << i;
        // The corner colour survives scaling: it is this item's picture.
        EXPECT_EQ(thumbnail.pixel(4, 4), QColor::fromHsv(int(i) * 30 % 360, 200, 200).rgb()) << i;
    }
    EXPECT_EQ(display_.CacheStatistics().thumbnailBytes, 3 * 64 * 48 * 4);
    // A thumbnail belongs to its picture: a changed path has none.
    items_[1]->imageInfo->path = dir_ + QStringLiteral("/elsewhere.png");
    EXPECT_TRUE(cache.Thumbnail(*items_[1]).isNull());
}

// One worker, held on the first picture: what waits in its queue and is no
// longer ahead is never decoded, and a picture the caller waits for goes
// before the rest of the queue.
TEST_F(PictureCacheFixture, QueuedReadAheadGivesWayAndWhatIsNoLongerAheadIsNotDecoded) {
    display_.Loader().SetCacheBudget(100 * kTextureBytes);
    AddPictures(6);
    struct Record {
        std::mutex mutex;
        std::vector<int> decoded;
        std::atomic<bool> holding{false};
        std::shared_future<void> gate;
    };
    auto record = std::make_shared<Record>();
    std::promise<void> open;
    record->gate = open.get_future().share();
    CImageLoader& loader = display_.Loader();
    loader.SetWorkerCount(1);
    loader.SetDecoder([record](const QString& path, const RenderTarget& target) {
        const int index = QFileInfo(path).baseName().mid(1).toInt();  // "p3.png" is 3
        if (index == 0) {
            record->holding = true;
            record->gate.wait();
        }
        {
            std::lock_guard lock(record->mutex);
            record->decoded.push_back(index);
        }
        return DecodeImage(path, target);
    });

    display_.ReadAhead({items_[0], items_[1], items_[2]});
    ASSERT_TRUE(QTest::qWaitFor([&] { return record->holding.load(); }, 10000));
    display_.ReadAhead({items_[0], items_[3]});  // 1 and 2 are no longer ahead
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        open.set_value();
    });
    EXPECT_TRUE(display_.LoadNow(*items_[5]));
    opener.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loader.JobsFinished(); }, 10000));
    std::lock_guard lock(record->mutex);
    EXPECT_EQ(record->decoded, (std::vector<int>{0, 5, 3}));
    EXPECT_TRUE(items_[1]->texture.isNull() && items_[2]->texture.isNull());
    EXPECT_EQ(items_[1]->flags & kFlagLoadFailed, 0u);
}

// Frames drawn with a budget of one texture are the frames drawn with all
// of them kept.
TEST(PictureCacheDrawing, ABudgetDoesNotChangeWhatIsDrawn) {
    const QString dir = test::MakeTempDir(QStringLiteral("cache-draw"));
    auto render = [&](std::int64_t budget) {
        CSettings settings;
        CMdiaList media;
        CDirect3D display(settings, media);
        EXPECT_EQ(display.CreateDevice(QSize(320, 240)), kOk);
        display.Loader().SetCacheBudget(budget);
        std::vector<CNode*> items;
        for (int i = 0; i < 5; ++i) {
            const QString path = dir + QStringLiteral("/d%1.png").arg(i);
            if (budget > kTextureBytes)
                test::WriteWithQt(path,
                                  test::CornerImage(QSize(200 + 10 * i, 150),
                                                    QColor::fromHsv(i * 60, 255, 255), Qt::gray),
                                  "png");
            items.push_back(media.AddMediaFile(kTypeImage, path));
        }
        display.LoadPendingImages(true);
        std::vector<QByteArray> frames;
        for (int frame = 0; frame < 10; ++frame) {
            CNode& below = *items[frame % 5];
            CNode& above = *items[(frame * 3 + 1) % 5];
            display.Clear(std::nullopt, 0);
            display.LoadNow(below);
            display.DrawImage(display.GetViewportRect(), below, false, kFitMonitor);
            display.LoadNow(above);
            display.DrawImage(display.GetViewportRect(), above, true, kFitMonitor);
            QByteArray bytes(320 * 240 * 4, 0);
            EXPECT_EQ(display.ReadFrame({reinterpret_cast<std::uint8_t*>(bytes.data()),
                                         static_cast<std::size_t>(bytes.size())},
                                        false),
                      kOk);
            frames.push_back(bytes);
        }
        return frames;
    };
    const auto all = render(1000 * kTextureBytes);
    const auto one = render(1);
    ASSERT_EQ(all.size(), one.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_TRUE(all[i] == one[i]) << "frame " << i;
}

}  // namespace
}  // namespace kolvane
