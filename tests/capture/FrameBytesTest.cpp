#include "capture/FrameBytes.h"

#include <gtest/gtest.h>

#include "capture/FramePng.h"
#include "tests/capture/FakeGrabSource.h"

namespace kolvane {
namespace {

// Frame memory goes back for reuse only when the last copy of an image is
// gone: a picture still shown must never be painted over by the next grab.
TEST(FrameMemory, AnImageKeepsItsPixelsWhileACopyLives) {
    constexpr int kSide = 1024;  // 4 MB: large enough to be kept for reuse
    QImage first = MakeFrameImage(kSide, kSide, QImage::Format_RGB32);
    ASSERT_FALSE(first.isNull());
    first.fill(Qt::red);
    const QImage copy = first;
    first = QImage();
    for (int i = 0; i < 3; ++i) {
        QImage next = MakeFrameImage(kSide, kSide, QImage::Format_RGB32);
        ASSERT_FALSE(next.isNull());
        next.fill(Qt::blue);
        EXPECT_NE(next.constBits(), copy.constBits());
    }
    EXPECT_EQ(copy.pixel(0, 0), QColor(Qt::red).rgb());
    EXPECT_EQ(copy.pixel(kSide - 1, kSide - 1), QColor(Qt::red).rgb());
}

TEST(FrameMemory, TheFramesPictureIsItsPixels) {
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{37, 23}, std::pair{640, 480}}) {
        const CGrabbedFrame frame = test::PatternFrame(width, height, 3);
        EXPECT_EQ(FrameImage(frame), test::FrameToImage(frame)) << width << " x " << height;
    }
    EXPECT_TRUE(FrameImage(CGrabbedFrame{}).isNull());
}

}  // namespace
}  // namespace kolvane
