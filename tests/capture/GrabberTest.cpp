#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include <QDir>
#include <QFileInfo>

#include "capture/FramePng.h"
#include "capture/Grabber.h"
#include "display/Direct3D.h"
#include "model/MediaNames.h"
#include "sound/GrabSounds.h"
#include "storage/SafeFile.h"
#include "tests/capture/FakeGrabSource.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;

struct SoundLog final : IGrabSounds {
    void PlayGrabSound(int kind, const QString& name) override {
        played << QStringLiteral("%1 %2").arg(kind).arg(name);
    }
    QStringList played;
};

struct CommandLog final : ICommandSink {
    void SendCommand(int id) override { sent << id; }
    void PostCommand(int id) override { sent << id; }
    QList<int> sent;
};

class GrabberTest : public ::testing::Test {
  protected:
    GrabberTest() {
        display.CreateDevice(QSize(320, 240));
        grabber = MakeGrabber(&display);
    }
    // `view` may be none, as when the command-line tool grabs.
    std::unique_ptr<CGrabber> MakeGrabber(CDirect3D* view) {
        CGrabber::Links links;
        links.settings = &session.settings;
        links.media = &session.media;
        links.sheet = &session.sheet;
        links.title = &session.title;
        links.storage = &session.storage;
        links.display = view;
        links.undo = &session.undo;
        links.grabLevel = &session.grabLevel;
        links.source = &source;
        links.sounds = &sounds;
        links.commands = &commands;
        auto made = std::make_unique<CGrabber>(links);
        made->SetWait([this](std::chrono::milliseconds wait) { waits.push_back(wait); });
        made->SetMemoryStatusSource([this] { return memory; });
        return made;
    }
    ~GrabberTest() override { grabber.reset(); }

    QString GrabPath(const QString& name, const char* extension = ".png") const {
        return session.Grab() + name + extension;
    }
    CNode* Item(const QString& name) const { return session.media.FindItemByName(name); }
    // Images of another sequence, already in the scene.
    void AddImages(const QString& base, int count) {
        for (int i = 1; i <= count; ++i) {
            const QString path = session.Grab() + ImageName(base, i) + ".png";
            ASSERT_EQ(WriteFramePng(test::PatternFrame(64, 48, 100 + i), path), kOk);
            session.media.AddMediaFile(kTypeImage, path);
        }
        session.media.RecomputeSummaries();
        display.LoadPendingImages(true);
    }
    QStringList Selected() const {
        QStringList names;
        for (const CNode* item : *session.media.ImageLevel()->children) {
            if (item->IsSelected()) names << item->name;
        }
        return names;
    }

    QString root = test::MakeTempDir("grab work");
    QString docs = test::MakeTempDir("grab docs");
    test::SceneSession session{root, docs};
    CDirect3D& display = session.display;
    test::FakeGrabSource source;
    SoundLog sounds;
    CommandLog commands;
    std::vector<std::chrono::milliseconds> waits;
    std::optional<MemoryStatus> memory = MemoryStatus{50, std::uint64_t{1} << 30};
    std::unique_ptr<CGrabber> grabber;
};

TEST_F(GrabberTest, GrabWritesTheFrameAsTheNextImageAndPlacesItOnTheSheet) {
    session.settings.Set(GrabSound, kGrabSoundBeep);
    ASSERT_EQ(grabber->Grab(), kOk);

    // The file is the very frame, whole, under the grab level's next name.
    const QImage written(GrabPath("A 0001"));
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32),
              test::FrameToImage(test::PatternFrame(64, 48, 1)));
    EXPECT_EQ(session.Images(), QStringList({"A 0001"}));
    EXPECT_FALSE(Item("A 0001")->texture.isNull()) << "loaded at once";
    EXPECT_EQ(session.title.Mark(), "*");
    EXPECT_EQ(session.Cells(), QStringList({"A 0001", "A 0001"})) << "DefTiming 2";
    EXPECT_EQ(sounds.played, QStringList({"1 A 0001"}));
    EXPECT_EQ(commands.sent, QList<int>({cmd::kMediaShowLastAdded, cmd::kEditorGoToCurrent}));
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>({40ms}));

    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(session.Images(), QStringList({"A 0001", "A 0002"}));
    EXPECT_EQ(session.Cells(), QStringList({"A 0001", "A 0001", "A 0002", "A 0002"}));
    EXPECT_EQ(session.grabLevel.Images().size(), 2u);
    EXPECT_EQ(session.grabLevel.Next(), 3);

    // The next start finds both grabs on the sheet, not just the first.
    test::SceneSession next(root, docs);
    ASSERT_TRUE(next.storage.ResumeWorkingScene(&next.grabLevel));
    EXPECT_EQ(next.Cells(), session.Cells());
}

// The texture is made from the frame in memory, not read back, and is the
// very one the loader makes from the file: at any view size and display
// depth, and again when the cache has let it go and the file is read.
TEST_F(GrabberTest, TheGrabbedTextureIsTheOneItsFileGivesAndComesBackFromIt) {
    source.width = 160;
    source.height = 120;
    std::map<QString, int> reads;
    display.Loader().SetWorkerCount(0);
    display.Loader().SetDecoder([&](const QString& path, const RenderTarget& target) {
        ++reads[path];
        return DecodeImage(path, target);
    });
    const struct {
        QSize view;
        int depth;
    } cases[] = {{{320, 240}, 32}, {{100, 75}, 32}, {{100, 75}, 16}, {{101, 60}, 15}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.view.width() << "x" << c.view.height() << " at " << c.depth << " bits");
        ASSERT_EQ(display.OnDisplayChange(c.view, c.depth), kOk);
        ASSERT_EQ(grabber->Grab(), kOk);
        CNode* item = grabber->LastGrabbed();
        const QString path = item->imageInfo->path;
        EXPECT_EQ(reads[path], 0) << "made from the frame";
        const QImage made = item->texture;
        const QImage thumbnail = display.Loader().Cache().Thumbnail(*item);
        ASSERT_FALSE(made.isNull());
        EXPECT_EQ(QSize(item->imageInfo->imageWidth, item->imageInfo->imageHeight),
                  QSize(160, 120));

        display.Loader().SetCacheBudget(0);
        ASSERT_TRUE(item->texture.isNull()) << "released by the cache";
        display.Loader().SetCacheBudget(std::int64_t{1} << 30);
        display.LoadPendingImages(true);
        EXPECT_EQ(reads[path], 1);
        EXPECT_EQ(item->texture.format(), made.format());
        EXPECT_EQ(item->texture, made);
        EXPECT_EQ(display.Loader().Cache().Thumbnail(*item), thumbnail);
        EXPECT_EQ(QSize(item->imageInfo->textureWidth, item->imageInfo->textureHeight),
                  made.size());
    }

    // A regrab's new picture too.
    ASSERT_EQ(Selected().size(), 1);
    CNode* item = grabber->LastGrabbed();
    const QImage old = item->texture;
    ASSERT_EQ(grabber->Regrab(), kOk);
    EXPECT_EQ(reads[item->imageInfo->path], 1) << "not read again";
    EXPECT_NE(item->texture, old);
    EXPECT_EQ(item->texture,
              DecodeImage(item->imageInfo->path, QSize(101, 60), TextureFormat::X1R5G5B5).texture);
}

TEST_F(GrabberTest, TheWaitIsOneFramePeriodPerAveragedFrame) {
    const struct {
        int rate, denoise, milliseconds;
    } cases[] = {{25, 16, 640}, {25, 1, 40}, {30, 4, 132}, {24, 8, 328}, {15, 2, 132}};
    for (const auto& c : cases) {
        session.settings.Set(FrameRate, c.rate);
        session.settings.Set(Denoise, c.denoise);
        EXPECT_EQ(grabber->DenoiseWait(), std::chrono::milliseconds(c.milliseconds))
            << c.rate << " fps, denoise " << c.denoise;
    }
    session.settings.Set(FrameRate, 25);
    session.settings.Set(Denoise, 16);
    waits.clear();
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>({640ms}));
}

TEST_F(GrabberTest, TheKeypadCountPlacesThatManyCellsAndLeavesDefTimingAlone) {
    ASSERT_EQ(grabber->Grab(5), kOk);
    EXPECT_EQ(session.Cells().size(), 5);
    EXPECT_EQ(session.settings.Get(DefTiming), 2);
    EXPECT_FALSE(session.settings.IsChanged());
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(session.Cells().size(), 7);
}

TEST_F(GrabberTest, MemoryLoadOf97RefusesTheGrabWhile96StillGrabsButLeavesNoRoom) {
    memory = MemoryStatus{97, std::uint64_t{1} << 30};
    EXPECT_EQ(grabber->Grab(), msg::kNotEnoughMemory);
    EXPECT_EQ(CGrabber::FailureText(msg::kNotEnoughMemory), "Not enough free memory");
    EXPECT_FALSE(QFileInfo::exists(GrabPath("A 0001")));
    EXPECT_EQ(source.framesTaken, 0);

    memory = MemoryStatus{96, std::uint64_t{1} << 30};
    EXPECT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(grabber->EstimateFreeImages(QRect(0, 0, 640, 480)), 0);
}

TEST_F(GrabberTest, TheFreeImageEstimateDividesAvailableMemoryByTheImageSize) {
    memory = MemoryStatus{50, std::uint64_t{100} * 640 * 480 * 4};
    source.width = 1280;
    source.height = 720;
    // 32-bit display: 100 images of 640 x 480, less 5 %.
    EXPECT_EQ(grabber->EstimateFreeImages(QRect(0, 0, 640, 480)), 95);
    // A grab size narrower than the video's place counts instead.
    source.grabSize = QRect(0, 0, 320, 240);
    EXPECT_EQ(grabber->EstimateFreeImages(QRect(0, 0, 640, 480)), 380);
    memory = std::nullopt;
    EXPECT_EQ(grabber->EstimateFreeImages(QRect(0, 0, 640, 480)), 0);
}

TEST_F(GrabberTest, AFullDiskSaysWhyAndLeavesNoHalfImageNorItem) {
    ASSERT_EQ(grabber->Grab(), kOk);
    const QStringList before = test::Entries(session.Grab());
    const QStringList cells = session.Cells();
    commands.sent.clear();
    sounds.played.clear();
    const QStringList history = session.undo.UndoList();
    ASSERT_FALSE(history.isEmpty());
    const QString undoFolder = QFileInfo(history.first()).path();
    const QStringList snapshots = QDir(undoFolder).entryList(QDir::Files | QDir::Hidden);
    grabber->SetFrameWriter([](const CGrabbedFrame&, const QString&) { return Result{ENOSPC}; });

    const Result result = grabber->Grab();
    EXPECT_EQ(result, ENOSPC);
    EXPECT_EQ(CGrabber::FailureText(result), "Can't save the image: No space left on device");
    EXPECT_EQ(test::Entries(session.Grab()), before);
    EXPECT_EQ(session.Images(), QStringList({"A 0001"}));
    EXPECT_EQ(session.Cells(), cells);
    // The cells placed while the picture was being written are taken back,
    // and so is their snapshot.
    EXPECT_EQ(session.undo.UndoList(), history);
    EXPECT_EQ(QDir(undoFolder).entryList(QDir::Files | QDir::Hidden), snapshots);
    EXPECT_TRUE(sounds.played.isEmpty());
    EXPECT_TRUE(commands.sent.isEmpty()) << "nothing announced";

    // Once there is room again the next grab takes the name that was free.
    grabber->SetFrameWriter({});
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_TRUE(QFileInfo::exists(GrabPath("A 0002")));
}

TEST_F(GrabberTest, APictureThatCannotBeLoadedTakesItsCellsAndSnapshotBack) {
    ASSERT_EQ(grabber->Grab(), kOk);
    grabber = MakeGrabber(nullptr);
    const QStringList cells = session.Cells();
    const QStringList history = session.undo.UndoList();
    const QString undoFolder = QFileInfo(history.first()).path();
    const QStringList snapshots = QDir(undoFolder).entryList(QDir::Files | QDir::Hidden);
    commands.sent.clear();
    // Written whole, but nothing a decoder can read.
    grabber->SetFrameWriter([](const CGrabbedFrame&, const QString& path) {
        return WriteFileAtomically(path, QByteArray("not a picture"));
    });

    EXPECT_EQ(grabber->Grab(), msg::kNotEnoughMemory);
    EXPECT_EQ(session.Images(), QStringList({"A 0001"}));
    EXPECT_EQ(session.Cells(), cells);
    EXPECT_EQ(session.undo.UndoList(), history);
    EXPECT_EQ(QDir(undoFolder).entryList(QDir::Files | QDir::Hidden), snapshots);
    EXPECT_TRUE(commands.sent.isEmpty()) << "nothing announced";

    grabber->SetFrameWriter({});
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(session.Images(), QStringList({"A 0001", "A 0002"}));
}

TEST_F(GrabberTest, WithoutGraphOrFrameNothingHappensQuietly) {
    source.noFrame = true;
    EXPECT_EQ(grabber->Grab(), kFail);
    source.noFrame = false;
    source.graph = false;
    EXPECT_EQ(grabber->Grab(), kFail);
    EXPECT_FALSE(grabber->CanGrab());
    EXPECT_TRUE(test::Entries(session.Grab()).filter(".png").isEmpty());
    EXPECT_EQ(session.media.ImageLevel(), nullptr);
    EXPECT_TRUE(commands.sent.isEmpty());
}

TEST_F(GrabberTest, LastGrabbedShowsTheNewerGrabAndNothingOnceItIsDeleted) {
    session.settings.Set(Lightbox, 1);
    source.colours = {Qt::red, Qt::blue};
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(source.overlay.pixelColor(5, 5), QColor(Qt::red));
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(source.overlay.pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(Selected(), QStringList({"A 0002"}));

    CNode* level = session.media.ImageLevel();
    level->children->erase(level->children->indexOf(Item("A 0002")));
    session.media.RecomputeSummaries();
    grabber->RecomposeOverlay();
    EXPECT_TRUE(source.overlay.isNull());
}

TEST_F(GrabberTest, LastThreeGrabsBlendTheNewestAtAHalfAndTheOthersAtAQuarter) {
    session.settings.Set(Lightbox, 2);
    source.colours = {QColor(200, 0, 0), QColor(0, 200, 0), QColor(0, 0, 200)};
    ASSERT_EQ(grabber->Grab(), kOk);
    // One grab: drawn over itself, it stays itself, stretched to the frame.
    EXPECT_EQ(source.overlay.size(), QSize(64, 48));
    const QColor one = source.overlay.pixelColor(10, 10);
    EXPECT_NEAR(one.red(), 200, 1);
    EXPECT_EQ(one.green(), 0);

    ASSERT_EQ(grabber->Grab(), kOk);
    ASSERT_EQ(grabber->Grab(), kOk);
    const QColor three = source.overlay.pixelColor(10, 10);
    EXPECT_NEAR(three.red(), 50, 2);
    EXPECT_NEAR(three.green(), 50, 2);
    EXPECT_NEAR(three.blue(), 100, 2);
}

TEST_F(GrabberTest, RotoscopeMovesTheSelectionOnePictureOnAndStopsAtTheLast) {
    AddImages("R", 3);  // the grabs "A ..." sort before them
    session.settings.Set(Lightbox, 5);
    Item("R 0001")->Select();
    session.media.RecomputeSummaries();

    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(Selected(), QStringList({"R 0002"}));
    EXPECT_EQ(source.overlay.convertToFormat(QImage::Format_RGB32),
              test::FrameToImage(test::PatternFrame(64, 48, 102)));
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(Selected(), QStringList({"R 0003"}));
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(Selected(), QStringList({"R 0003"})) << "the last picture: the selection stays";
    EXPECT_EQ(source.overlay.convertToFormat(QImage::Format_RGB32),
              test::FrameToImage(test::PatternFrame(64, 48, 103)));
}

TEST_F(GrabberTest, SelectImageModeLeavesTheSelectionAndTheOverlayAlone) {
    AddImages("R", 2);
    session.settings.Set(Lightbox, 3);
    session.media.ImageLevel()->children->at(1)->Select();
    session.media.RecomputeSummaries();
    grabber->RecomposeOverlay();
    const int set = source.overlaysSet;
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(Selected(), QStringList({"R 0002"}));
    EXPECT_EQ(source.overlaysSet, set);
}

TEST_F(GrabberTest, RegrabNeedsExactlyOneSelectedImageAndKeepsItsNameAndCells) {
    ASSERT_EQ(grabber->Grab(), kOk);
    ASSERT_EQ(grabber->Grab(), kOk);
    CNode* level = session.media.ImageLevel();
    level->children->selectAll();
    session.media.RecomputeSummaries();
    const QByteArray second = test::ReadAll(GrabPath("A 0002"));
    const int frames = source.framesTaken;
    EXPECT_FALSE(grabber->CanRegrab());
    EXPECT_EQ(grabber->Regrab(), kFail);
    EXPECT_EQ(source.framesTaken, frames);

    level->children->unselectAll();
    Item("A 0001")->Select();
    session.media.RecomputeSummaries();
    const QStringList cells = session.Cells();
    EXPECT_TRUE(grabber->CanRegrab());
    ASSERT_EQ(grabber->Regrab(), kOk);
    EXPECT_EQ(QImage(GrabPath("A 0001")).convertToFormat(QImage::Format_RGB32),
              test::FrameToImage(test::PatternFrame(64, 48, frames + 1)));
    EXPECT_EQ(test::ReadAll(GrabPath("A 0002")), second);
    EXPECT_EQ(session.Images(), QStringList({"A 0001", "A 0002"}));
    EXPECT_EQ(session.Cells(), cells);
    EXPECT_EQ(Item("A 0001")->texture, test::FrameToImage(test::PatternFrame(64, 48, frames + 1)))
        << "the new picture at once";
}

TEST_F(GrabberTest, ShowPrevAndNextStepThroughTheImagesAndBackToTheLiveVideo) {
    grabber->ShowNext();
    EXPECT_EQ(grabber->ShownImage(), nullptr);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(grabber->Grab(), kOk);
    grabber->ShowNext();
    EXPECT_EQ(grabber->ShownImage(), nullptr) << "nothing shown yet: Next does nothing";
    grabber->ShowPrev();
    EXPECT_EQ(grabber->ShownImage(), Item("A 0003"));
    grabber->ShowPrev();
    grabber->ShowPrev();
    EXPECT_EQ(grabber->ShownImage(), Item("A 0001"));
    grabber->ShowPrev();
    EXPECT_EQ(grabber->ShownImage(), Item("A 0001")) << "nothing before the first";
    grabber->ShowNext();
    EXPECT_EQ(grabber->ShownImage(), Item("A 0002"));
    grabber->ShowNext();
    grabber->ShowNext();
    EXPECT_EQ(grabber->ShownImage(), nullptr) << "after the last: the live video";

    // A picture not loaded is not shown.
    Item("A 0003")->texture = QImage();
    grabber->ShowPrev();
    EXPECT_EQ(grabber->ShownImage(), nullptr);

    // 33018: the shown image went away.
    Item("A 0003")->texture = QImage(4, 4, QImage::Format_RGB32);
    grabber->ShowPrev();
    ASSERT_EQ(grabber->ShownImage(), Item("A 0003"));
    CNode* level = session.media.ImageLevel();
    level->children->erase(level->children->indexOf(Item("A 0003")));
    grabber->ForgetShownImageIfGone();
    EXPECT_EQ(grabber->ShownImage(), nullptr);
}

TEST_F(GrabberTest, LoopSelectedWalksTheSelectedImagesWithALiveTickBetweenRounds) {
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(grabber->Grab(), kOk);
    session.media.ImageLevel()->children->unselectAll();
    EXPECT_EQ(grabber->ToggleLoop(), msg::kSelectImagesToLoop) << "told, and started all the same";
    EXPECT_TRUE(grabber->IsLooping());
    EXPECT_EQ(grabber->ToggleLoop(), kOk);
    EXPECT_FALSE(grabber->IsLooping());

    Item("A 0001")->Select();
    Item("A 0003")->Select();
    session.media.RecomputeSummaries();
    ASSERT_EQ(grabber->ToggleLoop(), kOk);
    EXPECT_TRUE(source.overlay.isNull()) << "no overlay while looping";
    EXPECT_EQ(grabber->ShownImage(), Item("A 0001")) << "the first tick at once";
    grabber->LoopTick();
    EXPECT_EQ(grabber->ShownImage(), Item("A 0003"));
    grabber->LoopTick();
    EXPECT_EQ(grabber->ShownImage(), nullptr);
    grabber->LoopTick();
    EXPECT_EQ(grabber->ShownImage(), Item("A 0001"));

    // A grab while looping keeps the selection, and adds the new image to it.
    ASSERT_EQ(grabber->Grab(), kOk);
    EXPECT_EQ(Selected(), QStringList({"A 0001", "A 0003", "A 0004"}));
    grabber->StopLoop();
    EXPECT_FALSE(grabber->IsLooping());
    EXPECT_EQ(grabber->ShownImage(), nullptr);
}

// ---- the camera

class CameraGrabTest : public GrabberTest {
  protected:
    CameraGrabTest() {
        source.kind = 6;
        session.settings.Set(ImageSize, 0);
        QImage still(64, 48, QImage::Format_RGB32);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x)
                still.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 255));
        }
        stillImage = still;
        source.stillJpeg = test::EncodeJpeg(still);
    }
    QImage stillImage;
};

TEST_F(CameraGrabTest, AStillIsTheCamerasJpegWithTheLiveViewFrameBesideIt) {
    test::ScriptedProgress progress;
    ASSERT_EQ(grabber->Grab(0, &progress), kOk);
    EXPECT_EQ(progress.title, kTakingPictureTitle);
    EXPECT_EQ(progress.range, 100);
    EXPECT_EQ(test::ReadAll(GrabPath("A 0001", ".jpg")), source.stillJpeg);
    EXPECT_EQ(QImage(GrabPath("A 0001", ".lvw"), "PNG").convertToFormat(QImage::Format_RGB32),
              test::FrameToImage(test::PatternFrame(64, 48, 1)));
    EXPECT_EQ(Item("A 0001")->imageInfo->path, GrabPath("A 0001", ".jpg"));
}

TEST_F(CameraGrabTest, TurnedStillsAreRotatedWithoutReencoding) {
    session.settings.Set(Orientation, 3);
    ASSERT_EQ(grabber->Grab(), kOk);
    const QImage turned(GrabPath("A 0001", ".jpg"));
    const QImage original = QImage::fromData(source.stillJpeg);
    ASSERT_EQ(turned.size(), original.size());
    EXPECT_EQ(turned.convertToFormat(QImage::Format_RGB32),
              original.convertToFormat(QImage::Format_RGB32).mirrored(true, true));
}

TEST_F(CameraGrabTest, ACancelledDownloadTellsTheCameraAndGrabsNothing) {
    source.holdDownload = true;
    test::ScriptedProgress progress;
    progress.answers = {IProgress::kGoOn, IProgress::kGoOn, IProgress::kAbort};
    EXPECT_EQ(grabber->Grab(0, &progress), kFail);
    ASSERT_NE(source.progressValue, nullptr);
    EXPECT_EQ(source.progressValue->load(), -1);
    EXPECT_EQ(progress.closed, 1);
    EXPECT_EQ(waits.size(), 3u) << "the wait, then 50 ms twice";
    EXPECT_EQ(session.media.ImageLevel(), nullptr);
}

}  // namespace
}  // namespace kolvane
