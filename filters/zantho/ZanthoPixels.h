#pragma once

// Pixel maths of the zantho element, free of GObject so that it can be tested
// and measured alone. YUY2 rows hold pairs of pixels as Y0 U Y1 V; an odd
// width ends in a pair whose second pixel is padding. Every function takes
// each picture as its first row and a row pitch; a negative pitch walks a
// bottom-up picture.

#include <array>
#include <cstddef>
#include <cstdint>

namespace kolvane::zantho {

// Bytes of one YUY2 row without padding: whole pairs of four bytes.
inline std::ptrdiff_t Yuy2RowBytes(int width) {
    return static_cast<std::ptrdiff_t>((width + 1) / 2) * 4;
}

struct Orientation {
    bool mirror = false;  // left-right
    bool flip = false;    // top-bottom
};

// out = clamp((value * multiplier + offset) >> shift, 0, 255) in 32 bits.
struct FixedLine {
    std::int32_t multiplier = 1;
    std::int32_t offset = 0;
};

// Levels as one look-up per byte: luma for Y bytes, chroma for U and V bytes.
// When fixed-point lines reproduce both tables exactly for all 256 values,
// vector code may evaluate them instead of looking up; the tables stay the
// definition.
struct LevelTables {
    LevelTables() {
        for (int value = 0; value < 256; ++value) {
            luma[value] = chroma[value] = static_cast<std::uint8_t>(value);
        }
    }
    bool neutral = true;  // both tables are the identity
    std::array<std::uint8_t, 256> luma;
    std::array<std::uint8_t, 256> chroma;
    bool hasLines = true;
    int shift = 0;
    FixedLine lumaLine;
    FixedLine chromaLine;
    // The same in 16-bit lanes, twice the values a vector: out =
    // clamp(clamp(((value * multiplier) >> 8) + offset, 0, 65535) >> shift,
    // 0, 255), multiplier 0..65535, shift 1..8. Steep or falling lines have
    // none.
    bool hasShortLines = false;
    int shortShift = 0;
    FixedLine shortLumaLine;
    FixedLine shortChromaLine;
};

// Whiteness w stretches luma so that the top 2w levels saturate, brightness b
// shifts it, contrast c scales luma and chroma, colour k scales chroma:
//   Y' = ((Y - 16) c + b + 16) 255 / (255 - 2w) - w,  C' = (C - 128) c k + 128
// clamped to 0..255 and truncated. w is clamped to 0..127 (the gain's
// divisor would reach zero at 127.5); a NaN result counts as 0.
LevelTables MakeLevelTables(float whiteness, float brightness, float contrast, float color);

// RGB24 (B G R per pixel) to YUY2 with the integer BT.601 formulas; chroma
// comes from the first pixel of each pair. An odd width repeats its last
// pixel as the padding pixel instead of reading past the row.
void ConvertBgrToYuy2(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                      std::uint8_t* dst, std::ptrdiff_t dstPitch);

// Where the processor has them, some functions use wider vectors than the
// build's baseline (128 bits); a lower limit (128, 256 or 512 bits) keeps
// them narrower, so that tests and benchmarks can compare every path.
void LimitVectorWidth(int bits);

// Copies whole YUY2 rows.
void CopyYuy2(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
              std::ptrdiff_t dstPitch, int width, int height);

// The live path: levels by table fused with the oriented copy. Mirroring
// reverses the pairs and swaps Y0 and Y1 within each; chroma stays with its
// pair.
void AdjustAndOrient(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                     std::ptrdiff_t dstPitch, int width, int height, Orientation orientation,
                     const LevelTables& levels);

// How the first luma bytes of the pairs changed since the previous frame.
struct SampleChange {
    bool same = true;       // every sample is equal
    std::size_t moved = 0;  // samples that differ by more than 16
};

// Compares the first luma byte of every pair with `samples` (one byte per
// pair, packed rows, from the previous frame) and writes this frame's over
// them.
SampleChange ReplaceLumaSamples(const std::uint8_t* frame, std::ptrdiff_t pitch, int width,
                                int height, std::uint8_t* samples);

// The same for an RGB24 frame, with the luma its YUY2 conversion would have.
SampleChange ReplaceBgrLumaSamples(const std::uint8_t* frame, std::ptrdiff_t pitch, int width,
                                   int height, std::uint8_t* samples);

// AdjustAndOrient and, when `samples` is given, ReplaceLumaSamples of the
// source in the same pass over it.
SampleChange AdjustOrientAndSample(const std::uint8_t* src, std::ptrdiff_t srcPitch,
                                   std::uint8_t* dst, std::ptrdiff_t dstPitch, int width,
                                   int height, Orientation orientation, const LevelTables& levels,
                                   std::uint8_t* samples);

// RGB24 to YUY2 fused with levels, the orientation and, when `samples` is
// given, ReplaceBgrLumaSamples: the same bytes as ConvertBgrToYuy2 and then
// AdjustOrientAndSample, without a converted frame in between.
SampleChange ConvertAdjustOrientAndSample(const std::uint8_t* src, std::ptrdiff_t srcPitch,
                                          std::uint8_t* dst, std::ptrdiff_t dstPitch, int width,
                                          int height, Orientation orientation,
                                          const LevelTables& levels, std::uint8_t* samples);

// Whether the first luma byte of every pair is the same in both pictures.
bool SampledLumaEqual(const std::uint8_t* a, std::ptrdiff_t aPitch, const std::uint8_t* b,
                      std::ptrdiff_t bPitch, int width, int height);

// How many first luma bytes of the pairs differ by more than 16.
std::size_t CountMovedSamples(const std::uint8_t* a, std::ptrdiff_t aPitch, const std::uint8_t* b,
                              std::ptrdiff_t bPitch, int width, int height);

// Byte-wise mean of `count` (1..16) buffers of `length` bytes, truncated.
void AverageFrames(const std::uint8_t* const* frames, int count, std::size_t length,
                   std::uint8_t* dst);

// YUY2 to RGB24 (B G R) with the integer BT.601 formulas, levels applied to
// the YUY2 bytes first. Writes exactly `width` pixels per row.
void ConvertYuy2ToBgr(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                      Orientation orientation, const LevelTables& levels, std::uint8_t* dst,
                      std::ptrdiff_t dstPitch);

// Copies RGB24 rows of `width` pixels with the orientation.
void CopyBgrOriented(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                     Orientation orientation, std::uint8_t* dst, std::ptrdiff_t dstPitch);

}  // namespace kolvane::zantho
