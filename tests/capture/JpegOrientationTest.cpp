#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include "capture/FramePng.h"
#include "capture/JpegOrientation.h"
#include "tests/capture/FakeGrabSource.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

QImage Picture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 3, y * 4, (x * 7 + y * 11) & 255));
    }
    return image;
}

QImage Decoded(const QByteArray& jpeg) {
    return QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
}

TEST(JpegOrientation, TurnsMoveTheBlocksWithoutDecodingSoThePixelsMoveExactly) {
    const QByteArray jpeg = test::EncodeJpeg(Picture(64, 48));
    const QImage original = Decoded(jpeg);
    const struct {
        int orientation;
        bool horizontal, vertical;
    } cases[] = {{1, true, false}, {2, false, true}, {3, true, true}};
    for (const auto& c : cases) {
        QByteArray turned;
        ASSERT_EQ(TransformJpeg(jpeg, c.orientation, turned), kOk);
        // A re-encode would change pixels; moved DCT blocks decode to the
        // very same pixels, mirrored.
        EXPECT_EQ(Decoded(turned), original.mirrored(c.horizontal, c.vertical))
            << "orientation " << c.orientation;
        QByteArray back;
        ASSERT_EQ(TransformJpeg(turned, c.orientation, back), kOk);
        EXPECT_EQ(Decoded(back), original);
    }
    QByteArray same;
    EXPECT_EQ(TransformJpeg(jpeg, 0, same), kOk);
    EXPECT_EQ(same, jpeg);
}

TEST(JpegOrientation, PartialEdgeBlocksAreTrimmedRatherThanLeftUnturned) {
    // 4:2:0 blocks are 16 x 16: 70 x 50 has partial blocks at two edges.
    const QByteArray jpeg = test::EncodeJpeg(Picture(70, 50), TJSAMP_420);
    QByteArray turned;
    ASSERT_EQ(TransformJpeg(jpeg, 3, turned), kOk);
    EXPECT_EQ(Decoded(turned).size(), QSize(64, 48));
}

TEST(JpegOrientation, AFileIsReplacedWholeAndAFileThatIsNoJpegIsLeftAlone) {
    const QString folder = test::MakeTempDir("orient");
    const QString path = folder + "/walk 0001.jpg";
    const QByteArray jpeg = test::EncodeJpeg(Picture(32, 16));
    test::WriteText(path, jpeg);
    ASSERT_EQ(OrientJpegFile(path, 3), kOk);
    EXPECT_EQ(Decoded(test::ReadAll(path)), Decoded(jpeg).mirrored(true, true));
    EXPECT_EQ(test::Entries(folder), QStringList({"walk 0001.jpg"})) << "no temporary left";

    const QString broken = folder + "/broken.jpg";
    test::WriteText(broken, "not a jpeg at all");
    EXPECT_EQ(OrientJpegFile(broken, 3), kFail);
    EXPECT_EQ(test::ReadAll(broken), "not a jpeg at all");
    EXPECT_NE(OrientJpegFile(folder + "/missing.jpg", 3), kOk);
}

TEST(FramePng, TheFileDecodesToTheFrameAtEveryLevel) {
    const CGrabbedFrame frame = test::PatternFrame(37, 23, 5);
    // Noise hardly compresses: its stream is about as large as its rows.
    CGrabbedFrame noise = test::PatternFrame(301, 97, 0);
    std::uint32_t seed = 12345;
    for (std::uint8_t& byte : noise.bgr) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    for (const CGrabbedFrame* picture :
         std::initializer_list<const CGrabbedFrame*>{&frame, &noise}) {
        for (int level : {0, 1, 2, 3}) {
            const QImage image = QImage::fromData(EncodeFramePng(*picture, level), "PNG");
            EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), test::FrameToImage(*picture))
                << picture->width << " x " << picture->height << ", level " << level;
        }
    }
    EXPECT_TRUE(EncodeFramePng(CGrabbedFrame{}).isEmpty());
    CGrabbedFrame cut = frame;
    cut.bgr.resize(10);
    EXPECT_TRUE(EncodeFramePng(cut).isEmpty()) << "a buffer shorter than its size says";
}

TEST(FramePng, ThePictureOfAFrameIsItsPixels) {
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{640, 480}}) {
        const CGrabbedFrame frame = test::PatternFrame(width, height, 3);
        EXPECT_EQ(FrameImage(frame), test::FrameToImage(frame)) << width << " x " << height;
    }
    EXPECT_TRUE(FrameImage(CGrabbedFrame{}).isNull());
}

}  // namespace
}  // namespace kolvane
