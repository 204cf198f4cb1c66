#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "platform/Progress.h"
#include "storage/WorkingFolders.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

class SoundWiringTest : public ::testing::Test {
  protected:
    SoundWiringTest() : objects(CEngine::Program{133}) {
        dir = test::MakeTempDir(QStringLiteral("scene"));
        objects.settings.Set(FrameRate, 25);
        frame.resize(1024, 768);
        frame.show();
        QApplication::processEvents();
    }

    QString dir;
    CEngine objects;
    CMainFrame frame{objects};
};

TEST_F(SoundWiringTest, LevelsGetRingsAndAddedSoundsAreOpened) {
    EXPECT_TRUE(objects.sound.HasOutput());  // the tests' fake sink
    test::WritePcmClip(dir + QStringLiteral("/door.wav"), 44100, 2, 44100);
    CNode* door = objects.media.AddMediaFile(kTypeSound, dir + QStringLiteral("/door.wav"));
    ASSERT_NE(door, nullptr);
    EXPECT_NE(door->soundInfo->decoder, nullptr);
    EXPECT_FLOAT_EQ(door->soundInfo->lengthInFrames, 25.0f);
    EXPECT_TRUE(objects.media.SoundLevel()->summary->ring);

    objects.sheet.PlaceSound(door);
    objects.sheet.RecomputeSummaries();
    objects.sheet.Normalise();
    CNode* column = objects.sheet.FindLevelByName(QStringLiteral("door"));
    ASSERT_NE(column, nullptr);
    ASSERT_TRUE(column->summary->ring);
    column->summary->currentSoundCell = column->children->at(3);
    EXPECT_EQ(objects.storage.WriteSoundFrame(*column->summary, false), kOk);
    EXPECT_EQ(column->summary->writeCursor, 7680u);
}

TEST_F(SoundWiringTest, FrameRateChangeRefitsTheSoundRunsAndTheTitle) {
    test::WritePcmClip(dir + QStringLiteral("/rain.wav"), 48000, 2, 48000);
    CNode* rain = objects.media.AddMediaFile(kTypeSound, dir + QStringLiteral("/rain.wav"));
    objects.sheet.PlaceSound(rain);
    frame.SendCommand(cmd::kSheetChanged);
    EXPECT_EQ(objects.sheet.FrameCount(), 25);

    objects.settings.Set(FrameRate, 30);
    frame.SendCommand(cmd::kFrameRateChanged);
    EXPECT_EQ(objects.sheet.FrameCount(), 30);
    const CNode* column = objects.sheet.FindLevelByName(QStringLiteral("rain"));
    EXPECT_EQ(column->children->at(29)->name, SoundCellName(QStringLiteral("rain"), 30));
    EXPECT_TRUE(frame.windowTitle().contains(QStringLiteral("30 frames")));
}

TEST_F(SoundWiringTest, SceneFolderImportLoadsImagesThroughTheRenderer) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(dir + QStringLiteral("/pose 0001.png"), "PNG"));
    test::WritePcmClip(dir + QStringLiteral("/voice.aif"), 22050, 1, 22050);
    CNoProgress progress;
    objects.storage.SetPause([](std::chrono::milliseconds) {});
    EXPECT_EQ(objects.storage.ImportSceneFolder(dir, {".png", ".aif"}, progress), kOk);
    const CNode* pose = objects.media.ImageLevel()->children->front();
    EXPECT_FALSE(pose->texture.isNull());
    EXPECT_EQ(pose->imageInfo->imageWidth, 40);
    EXPECT_NE(objects.media.SoundLevel()->children->front()->soundInfo->decoder, nullptr);
}

// Nothing in "My Sounds" may stop the program from starting: a clip whose
// header claims an absurd format is listed but never opened.
TEST(SoundsAtStart, HostileClipsInMySoundsDoNotStopTheStart) {
    const QString sounds = CWorkingFolders::DefaultDocuments() + QStringLiteral("/My Sounds");
    ASSERT_TRUE(QDir().mkpath(sounds));
    test::WriteRawWav(sounds + QStringLiteral("/huge.wav"), 256, 2147483647u, 16, 4000);
    test::WriteRawWav(sounds + QStringLiteral("/wide.wav"), 64, 2147483647u, 16, 4000);
    test::WritePcmClip(sounds + QStringLiteral("/door.wav"), 44100, 2, 44100);

    CEngine objects(CEngine::Program{133});
    CMainFrame frame(objects);
    frame.show();
    QApplication::processEvents();
    const CNode* level = objects.media.SoundLevel();
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->children->size(), 3);
    for (const CNode* item : *level->children) {
        SCOPED_TRACE(item->name.toStdString());
        EXPECT_EQ(item->soundInfo->decoder != nullptr, item->name == QLatin1String("door"));
    }
}

}  // namespace
}  // namespace kolvane
