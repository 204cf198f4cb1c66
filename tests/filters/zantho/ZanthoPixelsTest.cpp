// The zantho pixel maths on its own, where the element cannot reach a case.

#include "filters/zantho/ZanthoPixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
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

// The live path may evaluate the levels with vector code; whatever it does,
// every byte must come out as the tables say, also in the rest of a row that
// does not fill a whole vector.
TEST(ZanthoPixels, LivePathEqualsTheTablesForAnySettings) {
    constexpr int kWidth = 54, kHeight = 8;  // 27 pairs: three blocks of eight and three more
    const std::size_t pitch = static_cast<std::size_t>(Yuy2RowBytes(kWidth));
    Bytes source(pitch * kHeight);
    for (std::size_t i = 0; i < source.size(); ++i) {
        const std::size_t k = i / 2;  // luma and chroma bytes each run through all values
        source[i] = static_cast<std::uint8_t>(i % 2 == 0 ? k * 53 : k * 97 + 5);
    }
    struct Settings {
        float whiteness, brightness, contrast, color;
    };
    std::vector<Settings> settings = {
        {0, 0, 1, 1},           {0, 0, 1.3f, 1}, {10, 12, 1.3f, 0.7f},     {127, 0, 1, 1},
        {127, 0, 2, 2},         {0, -100, 0, 1}, {63.5f, 50, 0.37f, 1.9f}, {0, 0, -1, 1},
        {126.9f, -3, 1.01f, 0}, {0, 100, 2, 2},
    };
    std::mt19937 random(11);
    std::uniform_real_distribution<float> whiteness(0, 127), brightness(-100, 100), gain(0, 2);
    for (int i = 0; i < 200; ++i) {
        settings.push_back({whiteness(random), brightness(random), gain(random), gain(random)});
    }
    int withLines = 0;
    for (const Settings& s : settings) {
        const LevelTables tables = MakeLevelTables(s.whiteness, s.brightness, s.contrast, s.color);
        withLines += tables.hasLines ? 1 : 0;
        for (const Orientation orientation :
             {Orientation{false, false}, Orientation{true, false}, Orientation{true, true}}) {
            Bytes out(source.size());
            AdjustAndOrient(source.data(), static_cast<std::ptrdiff_t>(pitch), out.data(),
                            static_cast<std::ptrdiff_t>(pitch), kWidth, kHeight, orientation,
                            tables);
            for (int row = 0; row < kHeight; ++row) {
                const int sourceRow = orientation.flip ? kHeight - 1 - row : row;
                for (int pair = 0; pair < kWidth / 2; ++pair) {
                    const int sourcePair = orientation.mirror ? kWidth / 2 - 1 - pair : pair;
                    const std::uint8_t* in = &source[sourceRow * pitch + sourcePair * 4];
                    const std::uint8_t* got = &out[row * pitch + pair * 4];
                    const int first = orientation.mirror ? 2 : 0;
                    ASSERT_EQ(got[0], tables.luma[in[first]]);
                    ASSERT_EQ(got[1], tables.chroma[in[1]]);
                    ASSERT_EQ(got[2], tables.luma[in[2 - first]]);
                    ASSERT_EQ(got[3], tables.chroma[in[3]])
                        << s.whiteness << " " << s.brightness << " " << s.contrast << " " << s.color
                        << " row " << row << " pair " << pair;
                }
            }
        }
    }
    // Most settings take the vector path, so it is the one checked above.
    EXPECT_GT(withLines, static_cast<int>(settings.size()) * 3 / 4);
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
