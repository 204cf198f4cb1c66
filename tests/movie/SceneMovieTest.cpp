#include <gtest/gtest.h>

#include <vector>

#include <QFile>
#include <QImage>

#include "display/Direct3D.h"
#include "engine/Engine.h"
#include "model/MdiaList.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"
#include "tests/movie/MovieTestSupport.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

// A 48 kHz stereo WAV holding one value for `seconds`.
void WriteWav(const QString& path, std::int16_t value, double seconds) {
    test::WritePcmClip(path, 48000, 2, static_cast<std::int64_t>(seconds * 48000),
                       [value](std::int64_t, int) { return value; });
}

TEST(SceneMovie, WritesTheScenesPicturesAndMixedSoundThroughTheRealRenderer) {
    CEngine scene{CEngine::Headless{}};
    scene.settings.Set(Overlay, 1);
    const QString folder = test::MakeTempDir(QStringLiteral("scene"));
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(red.save(folder + "/red 0001.png"));
    WriteWav(folder + "/long.wav", 8000, 0.4);    // ten frames at 25 a second
    WriteWav(folder + "/short.wav", -2000, 0.2);  // five

    CNode* image = scene.media.AddMediaFile(kTypeImage, folder + "/red 0001.png");
    CNode* longSound = scene.media.AddMediaFile(kTypeSound, folder + "/long.wav");
    CNode* shortSound = scene.media.AddMediaFile(kTypeSound, folder + "/short.wav");
    ASSERT_NE(longSound->soundInfo->decoder, nullptr) << "the storage opens added sounds";
    CNode* pictures = scene.sheet.GetColumn(0, QStringLiteral("red"));
    for (int f = 0; f < 10; ++f)
        pictures->children->append(CNode::NewCell(image));
    scene.sheet.SetCurrentFrame(0);
    scene.sheet.PlaceSound(longSound);
    scene.sheet.SetCurrentFrame(0);
    scene.sheet.PlaceSound(shortSound);
    scene.sheet.RecomputeSummaries();
    scene.sheet.Normalise();
    ASSERT_EQ(scene.sheet.FrameCount(), 10);

    CMovieWriter& writer = scene.Writer();
    writer.SetLineHeight(12);
    test::CScriptedProgress progress;
    const QString path = test::MakeTempDir(QStringLiteral("movies")) + "/scene.avi";
    ASSERT_EQ(writer.WriteMovie(path, ".avi", "none", QRect(0, 0, 64, 48), 2, progress), kOk)
        << writer.ErrorDetail().toStdString();
    EXPECT_FALSE(scene.display.InOffscreen());

    const test::DecodedMovie decoded = test::DecodeMovie(path);
    ASSERT_EQ(decoded.frames.size(), 10u);
    EXPECT_EQ(decoded.frames[0].pixel(2, 2) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(decoded.frames[9].pixel(2, 45) & 0xFFFFFF, 0xFF0000u);
    // The counter's white box: 24 x 12, 6 pixels inside the bottom right.
    EXPECT_EQ(decoded.frames[0].pixel(34, 30) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(decoded.frames[0].pixel(33, 30) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(decoded.frames[0].pixel(58, 42) & 0xFFFFFF, 0xFF0000u);
    ASSERT_EQ(decoded.sound.size(), 10u * 1920 * 2);
    EXPECT_EQ(decoded.sound[0], 3000);  // both clips, averaged
    EXPECT_EQ(decoded.sound[4 * 3840 + 3839], 3000);
    EXPECT_EQ(decoded.sound[5 * 3840], 8000);  // the long clip alone
    EXPECT_EQ(decoded.sound[9 * 3840 + 3839], 8000);
}

}  // namespace
}  // namespace kolvane
