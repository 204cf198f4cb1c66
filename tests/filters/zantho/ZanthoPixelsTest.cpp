// The zantho pixel maths on its own, where the element cannot reach a case.

#include "filters/zantho/ZanthoPixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace kolvane::zantho {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The mean is a multiply and shift: it must equal the integer division for
// every count and every sum the history can hold.
TEST(ZanthoPixels, AverageIsTheTruncatedMeanForEveryCountAndSum) {
    for (int count = 1; count <= 16; ++count) {
        const std::size_t length = static_cast<std::size_t>(count) * 255 + 1;  // one byte per sum
        std::vector<Bytes> frames(static_cast<std::size_t>(count), Bytes(length, 0));
        for (std::size_t sum = 0; sum < length; ++sum) {
            std::size_t left = sum;
            for (Bytes& frame : frames) {
                frame[sum] = static_cast<std::uint8_t>(std::min<std::size_t>(left, 255));
                left -= frame[sum];
            }
        }
        std::vector<const std::uint8_t*> pointers;
        for (const Bytes& frame : frames)
            pointers.push_back(frame.data());
        Bytes mean(length);
        AverageFrames(pointers.data(), count, length, mean.data());
        for (std::size_t sum = 0; sum < length; ++sum) {
            ASSERT_EQ(mean[sum], sum / static_cast<std::size_t>(count))
                << "count " << count << " sum " << sum;
        }
    }
}

TEST(ZanthoPixels, BottomUpRgbIsReadFromItsLastRow) {
    // Two rows of one pair each: white on top, black below, stored bottom-up
    // with padded rows of 8 bytes.
    const Bytes dib = {0, 0, 0, 0, 0, 0, 0xEE, 0xEE, 255, 255, 255, 255, 255, 255, 0xEE, 0xEE};
    Bytes yuy2(8);
    ConvertBgrToYuy2(dib.data() + 8, -8, 2, 2, yuy2.data(), 4);
    EXPECT_EQ(yuy2, (Bytes{235, 128, 235, 128, 16, 128, 16, 128}));
}

TEST(ZanthoPixels, NonsenseSettingsGiveDefinedLevels) {
    const float nan = std::nanf("");
    const LevelTables tables = MakeLevelTables(nan, nan, 1.0f, INFINITY);
    EXPECT_FALSE(tables.neutral);
    for (int value = 0; value < 256; ++value) {
        EXPECT_EQ(tables.luma[static_cast<std::size_t>(value)], 0);
    }
    EXPECT_EQ(tables.chroma[200], 255);
    EXPECT_EQ(tables.chroma[0], 0);
}

}  // namespace
}  // namespace kolvane::zantho
