#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include "capture/HeadlessCapture.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "model/ListInfo.h"
#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "platform/Progress.h"
#include "storage/WorkingFolders.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

// One edit as the program makes it: the snapshot first, then the change.
void PlaceImage(CEngine& engine, const QString& path) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path));
    CNode* item = engine.media.AddMediaFile(kTypeImage, path);
    ASSERT_EQ(engine.undo.RecordEdit(engine.sheet), kOk);
    engine.sheet.PlaceItem(item);
    engine.sheet.Normalise();
    engine.sheet.RecomputeSummaries();
}

TEST(Engine, TheProgramKeepsItsSettingsAndGoesOnWithTheLastRunsHistory) {
    {
        CEngine first(CEngine::Program{160});
        EXPECT_EQ(first.storage.GetGrabFolder(),
                  CWorkingFolders(CWorkingFolders::DefaultWorkingRoot(),
                                  CWorkingFolders::DefaultDocuments())
                      .Grab());
        first.settings.Set(FrameRate, 24);
        first.settings.Store();
        PlaceImage(first, first.storage.GetGrabFolder() + QStringLiteral("shot 0001.png"));
        PlaceImage(first, first.storage.GetGrabFolder() + QStringLiteral("shot 0002.png"));
    }
    CEngine next(CEngine::Program{160});
    EXPECT_EQ(next.settings.Get(FrameRate), 24);
    EXPECT_EQ(next.undo.UndoList().size(), 2) << "the history is read back at start";
    EXPECT_EQ(next.undo.Counter(), QStringLiteral("0002")) << "and goes on, never over it";
}

TEST(Engine, HeadlessNeverTouchesTheUsersSettingsNorWorkingScene) {
    {
        CEngine program(CEngine::Program{133});
        program.settings.Set(FrameRate, 30);
        program.settings.Store();
    }
    const QString userGrab =
        CWorkingFolders(CWorkingFolders::DefaultWorkingRoot(), CWorkingFolders::DefaultDocuments())
            .Grab();
    const QStringList userEntries =
        QDir(userGrab).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QString ownGrab;
    {
        CEngine headless{CEngine::Headless{}};
        ASSERT_TRUE(headless.IsUsable());
        EXPECT_EQ(headless.settings.Get(FrameRate), 25) << "the defaults, not the stored record";
        headless.settings.Set(FrameRate, 15);
        headless.settings.Store();
        ownGrab = headless.storage.GetGrabFolder();
        EXPECT_NE(ownGrab, userGrab);
        PlaceImage(headless, ownGrab + QStringLiteral("shot 0001.png"));
        ASSERT_TRUE(QFileInfo::exists(ownGrab + QStringLiteral("shot 0001.png")));
    }
    EXPECT_FALSE(QFileInfo::exists(ownGrab)) << "its working folders go with it";
    EXPECT_EQ(QDir(userGrab).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), userEntries);
    EXPECT_EQ(CEngine(CEngine::Program{133}).settings.Get(FrameRate), 30);
}

TEST(Engine, HeadlessOverGivenFoldersIsTheNextStartOfTheFirst) {
    const QString root = test::MakeTempDir(QStringLiteral("work"));
    const QString docs = test::MakeTempDir(QStringLiteral("docs"));
    {
        CEngine first(CEngine::Headless{root, docs, {}});
        PlaceImage(first, first.storage.GetGrabFolder() + QStringLiteral("shot 0001.png"));
    }
    CEngine next(CEngine::Headless{root, docs, {}});
    EXPECT_TRUE(next.storage.GetGrabFolder().startsWith(root));
    EXPECT_TRUE(next.storage.HasWorkingScene());
    EXPECT_EQ(next.undo.UndoList().size(), 1);
}

// The links the objects need to work together: the storage opens what the
// media list is given, the audio output gives every level its ring, opening
// a scene loads pictures, keeps an undo step and names the scene in the
// title, which shows the scene's unsaved changes.
TEST(Engine, LinksTheObjectsAsTheProgramUsesThem) {
    const QString scene = test::MakeTempDir(QStringLiteral("walk"));
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(scene + QStringLiteral("/walk 0001.png")));
    test::WritePcmClip(scene + QStringLiteral("/step.wav"), 48000, 2, 48000);

    int loads = 0;
    CEngine engine(CEngine::Headless{{}, {}, [&loads](CNode& item) {
                                         ++loads;
                                         item.imageInfo->imageWidth = 40;
                                         item.imageInfo->imageHeight = 30;
                                         return kOk;
                                     }});
    CNoProgress progress;
    ASSERT_EQ(
        engine.storage.OpenScene(scene, {QStringLiteral(".png"), QStringLiteral(".wav")}, progress),
        kOk);
    EXPECT_EQ(loads, 1);
    const CNode* sound = engine.media.SoundLevel();
    ASSERT_NE(sound, nullptr);
    ASSERT_EQ(sound->children->size(), 1);
    EXPECT_NE(sound->children->at(0)->soundInfo->decoder, nullptr) << "the storage opens sounds";
    EXPECT_NE(sound->summary->ring, nullptr) << "the audio output gives levels their rings";
    EXPECT_EQ(engine.title.SceneName(), scene);
    EXPECT_FALSE(engine.undo.UndoList().isEmpty());

    // Unsaved changes are the scene's; the title shows them.
    EXPECT_FALSE(engine.scene.HasUnsavedChanges());
    engine.storage.ClearSceneTiming();
    EXPECT_TRUE(engine.scene.HasUnsavedChanges());
    EXPECT_EQ(engine.title.Mark(), QStringLiteral("*"));
    ASSERT_EQ(engine.storage.CloseScene(), kOk);
    EXPECT_FALSE(engine.scene.HasUnsavedChanges());
    EXPECT_EQ(engine.title.Mark(), QString());

    const CPlayEngine::Links play = engine.PlayLinks();
    EXPECT_EQ(play.sheet, &engine.sheet);
    EXPECT_EQ(play.display, &engine.display);
    EXPECT_EQ(play.sound, &engine.sound);
    EXPECT_EQ(play.storage, &engine.storage);
    EXPECT_EQ(play.title, &engine.title);
}

// The program's camera path without its window: the simulated camera found
// among the system's video sources, opened as the camera, and a grab of a
// still through the engine's grabber links: the camera's JPEG, and the live
// view of the same moment as its ".lvw" companion.
TEST(Engine, GrabsAStillAndItsLiveViewCompanionFromTheSimulatedCamera) {
    qputenv("KOLVANE_CAMERA", "simulated");
    CEngine engine(CEngine::Headless{.workingRoot = {},
                                     .documents = {},
                                     .loadImage = {},
                                     .videoDevices = VideoDeviceMode::System});
    engine.settings.Set(ImageSize, 0);  // L stills, not live-view grabs
    CAnim grabLevel(engine.media);
    CHeadlessCapture capture(engine.capture);
    const Result started = capture.Start(QStringLiteral("Canon"));
    qputenv("KOLVANE_CAMERA", "none");
    ASSERT_EQ(started, kOk);
    EXPECT_EQ(engine.capture.SourceKind(), 6);
    EXPECT_EQ(engine.capture.CameraName(), QStringLiteral("Canon 550D"));
    EXPECT_EQ(engine.capture.GetFrameRect().size(), QSize(1056, 704)) << "the live view";

    CGrabber grabber(engine.GrabberLinks(grabLevel));
    ASSERT_EQ(grabber.Grab(), kOk);
    const QString base = engine.storage.GetGrabFolder() + QStringLiteral("A 0001");
    QImageReader still(base + QStringLiteral(".jpg"));
    EXPECT_EQ(still.format(), "jpeg");
    EXPECT_EQ(still.size(), QSize(1296, 864));
    QImageReader companion(base + QStringLiteral(".lvw"), "png");
    EXPECT_EQ(companion.size(), QSize(1056, 704));
    const CNode* item = grabber.LastGrabbed();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->imageInfo->path, base + QStringLiteral(".jpg"));
    EXPECT_EQ(engine.sheet.FrameCount(), 2) << "DefTiming cells";
}

}  // namespace
}  // namespace kolvane
