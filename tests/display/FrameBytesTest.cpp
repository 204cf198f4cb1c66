#include "display/FrameBytes.h"

#include <gtest/gtest.h>

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

// A frame, its filtered rows and the compressed data differ by a few bytes:
// each must be able to take the block another one freed, or every grab
// faults in fresh pages for two of them.
TEST(FrameMemory, TheBuffersOfAFrameTakeEachOthersBlocks) {
    constexpr std::size_t kFrame = 1920 * 1080 * 3;
    constexpr std::size_t kFiltered = 1080 * (1920 * 3 + 1);
    constexpr std::size_t kCompressed = kFiltered + 6240;
    void* frame = AllocateFrameMemory(kFrame);
    FreeFrameMemory(frame, kFrame);
    void* filtered = AllocateFrameMemory(kFiltered);
    EXPECT_EQ(filtered, frame);
    FreeFrameMemory(filtered, kFiltered);
    void* compressed = AllocateFrameMemory(kCompressed);
    EXPECT_EQ(compressed, frame);
    FreeFrameMemory(compressed, kCompressed);
    // A buffer of half the size is not handed a block twice its size.
    void* small = AllocateFrameMemory(kFrame / 2);
    EXPECT_NE(small, frame);
    FreeFrameMemory(small, kFrame / 2);
}

}  // namespace
}  // namespace kolvane
