// The zantho pixel maths on its own, where the element cannot reach a case.

#include "filters/zantho/ZanthoPixels.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    int withLines = 0, withShortLines = 0;
    for (const Settings& s : settings) {
        const LevelTables made = MakeLevelTables(s.whiteness, s.brightness, s.contrast, s.color);
        withLines += made.hasLines ? 1 : 0;
        withShortLines += made.hasShortLines ? 1 : 0;
        // The 16-bit lines in 512- and 256-bit vectors are taken first where
        // they exist; without them the 32-bit lines are checked too.
        struct Path {
            int bits;
            bool shortLines;
        };
        for (const Path path : {Path{512, true}, Path{256, true}, Path{256, false}}) {
            LimitVectorWidth(path.bits);
            LevelTables tables = made;
            tables.hasShortLines = made.hasShortLines && path.shortLines;
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
                            << s.whiteness << " " << s.brightness << " " << s.contrast << " "
                            << s.color << " row " << row << " pair " << pair;
                    }
                }
            }
        }
    }
    LimitVectorWidth(512);
    // Most settings take the vector paths, so they are the ones checked above.
    EXPECT_GT(withLines, static_cast<int>(settings.size()) * 3 / 4);
    EXPECT_GT(withShortLines, static_cast<int>(settings.size()) / 2);
}

// Levels in place and then the oriented copy, written the plain way: what the
// single pass of the live path must reproduce byte for byte.
Bytes LevelsThenOrient(Bytes yuy2, int width, int height, Orientation orientation,
                       const LevelTables& tables) {
    for (std::size_t i = 0; i < yuy2.size(); ++i)
        yuy2[i] = i % 2 == 0 ? tables.luma[yuy2[i]] : tables.chroma[yuy2[i]];
    const std::size_t pitch = static_cast<std::size_t>(Yuy2RowBytes(width));
    const int pairs = (width + 1) / 2;
    Bytes out(yuy2.size());
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = &yuy2[(orientation.flip ? height - 1 - row : row) * pitch];
        for (int pair = 0; pair < pairs; ++pair) {
            std::uint8_t* o = &out[row * pitch + pair * 4];
            if (!orientation.mirror) {
                std::copy_n(in + pair * 4, 4, o);
                continue;
            }
            const std::uint8_t* p = in + (pairs - 1 - pair) * 4;
            o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = p[3];
        }
    }
    return out;
}

// The fused pass for YUY2 and RGB24 input at odd and even widths, padded
// rows, every orientation, with and without the wider vectors: the same
// bytes as levels then orientation, nothing written into the padding, and
// the luma samples compared and replaced as the frame's own.
TEST(ZanthoPixels, SinglePassEqualsLevelsThenOrient) {
    constexpr int kHeight = 3;
    constexpr std::ptrdiff_t kPadding = 12;
    std::mt19937 random(5);
    for (const int bits : {512, 256, 128}) {
        LimitVectorWidth(bits);
        for (const bool bgr : {false, true}) {
            for (const int width : {1, 2, 5, 17, 34, 67, 130}) {
                const std::ptrdiff_t rowBytes = Yuy2RowBytes(width);
                const std::ptrdiff_t srcPitch = (bgr ? width * 3 : rowBytes) + kPadding;
                const std::ptrdiff_t dstPitch = rowBytes + kPadding;
                Bytes source(static_cast<std::size_t>(srcPitch) * kHeight);
                for (auto& byte : source)
                    byte = static_cast<std::uint8_t>(random());
                Bytes yuy2(static_cast<std::size_t>(rowBytes) * kHeight);
                if (bgr) {
                    ConvertBgrToYuy2(source.data(), srcPitch, width, kHeight, yuy2.data(),
                                     rowBytes);
                } else {
                    for (int row = 0; row < kHeight; ++row) {
                        std::copy_n(&source[row * srcPitch], rowBytes, &yuy2[row * rowBytes]);
                    }
                }
                const int pairs = (width + 1) / 2;
                Bytes frameSamples(static_cast<std::size_t>(pairs) * kHeight);
                for (std::size_t i = 0; i < frameSamples.size(); ++i)
                    frameSamples[i] = yuy2[i * 4];

                for (const LevelTables& tables :
                     {MakeLevelTables(0, 0, 1, 1), MakeLevelTables(10, 12, 1.3f, 0.7f),
                      MakeLevelTables(0, -100, 0, 1)}) {
                    for (const Orientation orientation :
                         {Orientation{false, false}, Orientation{true, false},
                          Orientation{false, true}, Orientation{true, true}}) {
                        SCOPED_TRACE(testing::Message()
                                     << (bgr ? "BGR" : "YUY2") << " width " << width << " mirror "
                                     << orientation.mirror << " flip " << orientation.flip
                                     << " neutral " << tables.neutral << " vectors " << bits);
                        // The previous frame's samples: every third one moved by 17,
                        // every third by 16 (noise), the rest the same.
                        Bytes samples = frameSamples;
                        for (std::size_t i = 0; i < samples.size(); ++i) {
                            const int delta = i % 3 == 0 ? 17 : i % 3 == 1 ? 16 : 0;
                            samples[i] = static_cast<std::uint8_t>(samples[i] + delta);
                        }
                        std::size_t moved = 0;  // wrapped bytes may have moved more
                        for (std::size_t i = 0; i < samples.size(); ++i) {
                            const int difference = frameSamples[i] - samples[i];
                            moved += difference > 16 || difference < -16 ? 1 : 0;
                        }
                        Bytes out(static_cast<std::size_t>(dstPitch) * kHeight, 0xA5);
                        const SampleChange change =
                            bgr ? ConvertAdjustOrientAndSample(source.data(), srcPitch, out.data(),
                                                               dstPitch, width, kHeight,
                                                               orientation, tables, samples.data())
                                : AdjustOrientAndSample(source.data(), srcPitch, out.data(),
                                                        dstPitch, width, kHeight, orientation,
                                                        tables, samples.data());
                        const Bytes expected =
                            LevelsThenOrient(yuy2, width, kHeight, orientation, tables);
                        for (int row = 0; row < kHeight; ++row) {
                            const auto got = out.begin() + row * dstPitch;
                            ASSERT_TRUE(
                                std::equal(got, got + rowBytes, expected.begin() + row * rowBytes))
                                << "row " << row;
                            ASSERT_TRUE(std::all_of(got + rowBytes, got + dstPitch,
                                                    [](std::uint8_t b) { return b == 0xA5; }))
                                << "padding of row " << row;
                        }
                        EXPECT_EQ(samples, frameSamples);
                        EXPECT_FALSE(change.same);
                        EXPECT_EQ(change.moved, moved);

                        // The same frame again, and the samples alone.
                        const SampleChange again =
                            bgr ? ReplaceBgrLumaSamples(source.data(), srcPitch, width, kHeight,
                                                        samples.data())
                                : ReplaceLumaSamples(source.data(), srcPitch, width, kHeight,
                                                     samples.data());
                        EXPECT_TRUE(again.same);
                        EXPECT_EQ(again.moved, 0u);
                        EXPECT_EQ(samples, frameSamples);
                    }
                }
            }
        }
    }
    LimitVectorWidth(512);
}

// The frame as RGB for a grab: the vector paths give the bytes of the plain
// one at every width, orientation and level, the padding of an odd width
// left out.
TEST(ZanthoPixels, RgbFromYuy2IsTheSameOnEveryPath) {
    constexpr int kHeight = 3;
    std::mt19937 random(3);
    for (const int width : {1, 2, 15, 16, 17, 33, 34, 130}) {
        const std::ptrdiff_t srcPitch = Yuy2RowBytes(width) + 8;
        const std::ptrdiff_t dstPitch = width * 3 + 5;
        Bytes source(static_cast<std::size_t>(srcPitch) * kHeight);
        for (auto& byte : source)
            byte = static_cast<std::uint8_t>(random());
        for (const LevelTables& tables :
             {MakeLevelTables(0, 0, 1, 1), MakeLevelTables(10, 12, 1.3f, 0.7f),
              MakeLevelTables(127, 0, 2, 2)}) {
            for (const Orientation orientation :
                 {Orientation{false, false}, Orientation{true, false}, Orientation{false, true},
                  Orientation{true, true}}) {
                auto convert = [&](int bits) {
                    LimitVectorWidth(bits);
                    Bytes out(static_cast<std::size_t>(dstPitch) * kHeight, 0xEE);
                    ConvertYuy2ToBgr(source.data(), srcPitch, width, kHeight, orientation, tables,
                                     out.data(), dstPitch);
                    return out;
                };
                const Bytes plain = convert(128);
                for (int row = 0; row < kHeight; ++row) {
                    for (std::ptrdiff_t i = width * 3; i < dstPitch; ++i)
                        ASSERT_EQ(plain[static_cast<std::size_t>(row * dstPitch + i)], 0xEE);
                }
                EXPECT_EQ(convert(256), plain)
                    << "width " << width << " mirror " << orientation.mirror << " flip "
                    << orientation.flip << " neutral " << tables.neutral;
                EXPECT_EQ(convert(512), plain) << "width " << width;
            }
        }
    }
    LimitVectorWidth(512);
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
