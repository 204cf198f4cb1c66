#include "filters/zantho/ZanthoPixels.h"

#include <algorithm>
#include <cstring>

namespace kolvane::zantho {

namespace {

std::uint8_t ClampToByte(float value) {
    if (!(value > 0.0f)) return 0;  // also NaN
    if (value >= 255.0f) return 255;
    return static_cast<std::uint8_t>(value);
}

int ClampToByte(int value) {
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

const std::uint8_t* Row(const std::uint8_t* first, std::ptrdiff_t pitch, int row) {
    return first + pitch * row;
}

std::uint8_t* Row(std::uint8_t* first, std::ptrdiff_t pitch, int row) {
    return first + pitch * row;
}

int SourceRow(int row, int height, Orientation orientation) {
    return orientation.flip ? height - 1 - row : row;
}

void WriteYuy2Pair(const std::uint8_t* p0, const std::uint8_t* p1, std::uint8_t* out) {
    const int b0 = p0[0], g0 = p0[1], r0 = p0[2];
    const int b1 = p1[0], g1 = p1[1], r1 = p1[2];
    out[0] = static_cast<std::uint8_t>(((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16);
    out[1] = static_cast<std::uint8_t>(((112 * b0 - 74 * g0 - 38 * r0 + 128) >> 8) + 128);
    out[2] = static_cast<std::uint8_t>(((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16);
    out[3] = static_cast<std::uint8_t>(((112 * r0 - 94 * g0 - 18 * b0 + 128) >> 8) + 128);
}

void WriteBgrPixel(int y, int u, int v, std::uint8_t* out) {
    const int c = y - 16, d = u - 128, e = v - 128;
    out[0] = static_cast<std::uint8_t>(ClampToByte((298 * c + 516 * d + 128) >> 8));
    out[1] = static_cast<std::uint8_t>(ClampToByte((298 * c - 100 * d - 208 * e + 128) >> 8));
    out[2] = static_cast<std::uint8_t>(ClampToByte((298 * c + 409 * e + 128) >> 8));
}

}  // namespace

LevelTables MakeLevelTables(float whiteness, float brightness, float contrast, float color) {
    const float w = whiteness > 0.0f ? std::min(whiteness, 127.0f) : 0.0f;
    LevelTables tables;
    tables.neutral = w == 0.0f && brightness == 0.0f && contrast == 1.0f && color == 1.0f;
    for (int value = 0; value < 256; ++value) {
        const float luma = (static_cast<float>(value - 16) * contrast + brightness + 16.0f) *
                               255.0f / (255.0f - 2.0f * w) -
                           w;
        const float chroma = static_cast<float>(value - 128) * contrast * color + 128.0f;
        tables.luma[value] = ClampToByte(luma);
        tables.chroma[value] = ClampToByte(chroma);
    }
    return tables;
}

void ConvertBgrToYuy2(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                      std::uint8_t* dst, std::ptrdiff_t dstPitch) {
    const int fullPairs = width / 2;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, row);
        std::uint8_t* out = Row(dst, dstPitch, row);
        for (int pair = 0; pair < fullPairs; ++pair) {
            WriteYuy2Pair(in + pair * 6, in + pair * 6 + 3, out + pair * 4);
        }
        if (width % 2 != 0) {
            const std::uint8_t* last = in + fullPairs * 6;
            WriteYuy2Pair(last, last, out + fullPairs * 4);
        }
    }
}

void CopyYuy2(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
              std::ptrdiff_t dstPitch, int width, int height) {
    const std::size_t rowBytes = static_cast<std::size_t>(Yuy2RowBytes(width));
    if (srcPitch == dstPitch && static_cast<std::ptrdiff_t>(rowBytes) == srcPitch) {
        std::memcpy(dst, src, rowBytes * static_cast<std::size_t>(height));
        return;
    }
    for (int row = 0; row < height; ++row) {
        std::memcpy(Row(dst, dstPitch, row), Row(src, srcPitch, row), rowBytes);
    }
}

void AdjustAndOrient(const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst,
                     std::ptrdiff_t dstPitch, int width, int height, Orientation orientation,
                     const LevelTables& levels) {
    const int pairs = (width + 1) / 2;
    if (levels.neutral && !orientation.mirror && !orientation.flip) {
        CopyYuy2(src, srcPitch, dst, dstPitch, width, height);
        return;
    }
    const std::uint8_t* luma = levels.luma.data();
    const std::uint8_t* chroma = levels.chroma.data();
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        if (!orientation.mirror) {
            if (levels.neutral) {
                std::memcpy(out, in, static_cast<std::size_t>(pairs) * 4);
                continue;
            }
            for (int i = 0; i < pairs * 4; i += 4) {
                out[i] = luma[in[i]];
                out[i + 1] = chroma[in[i + 1]];
                out[i + 2] = luma[in[i + 2]];
                out[i + 3] = chroma[in[i + 3]];
            }
        } else if (levels.neutral) {
            for (int i = 0; i < pairs; ++i) {
                const std::uint8_t* p = in + (pairs - 1 - i) * 4;
                std::uint8_t* o = out + i * 4;
                o[0] = p[2];
                o[1] = p[1];
                o[2] = p[0];
                o[3] = p[3];
            }
        } else {
            for (int i = 0; i < pairs; ++i) {
                const std::uint8_t* p = in + (pairs - 1 - i) * 4;
                std::uint8_t* o = out + i * 4;
                o[0] = luma[p[2]];
                o[1] = chroma[p[1]];
                o[2] = luma[p[0]];
                o[3] = chroma[p[3]];
            }
        }
    }
}

bool SampledLumaEqual(const std::uint8_t* a, std::ptrdiff_t aPitch, const std::uint8_t* b,
                      std::ptrdiff_t bPitch, int width, int height) {
    const int pairs = (width + 1) / 2;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* pa = Row(a, aPitch, row);
        const std::uint8_t* pb = Row(b, bPitch, row);
        unsigned differ = 0;
        for (int i = 0; i < pairs; ++i)
            differ |= pa[i * 4] ^ pb[i * 4];
        if (differ != 0) return false;
    }
    return true;
}

std::size_t CountMovedSamples(const std::uint8_t* a, std::ptrdiff_t aPitch, const std::uint8_t* b,
                              std::ptrdiff_t bPitch, int width, int height) {
    const int pairs = (width + 1) / 2;
    std::size_t moved = 0;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* pa = Row(a, aPitch, row);
        const std::uint8_t* pb = Row(b, bPitch, row);
        unsigned rowMoved = 0;
        for (int i = 0; i < pairs; ++i) {
            const int difference = pa[i * 4] - pb[i * 4];
            rowMoved += (difference > 16) | (difference < -16);
        }
        moved += rowMoved;
    }
    return moved;
}

void AverageFrames(const std::uint8_t* const* frames, int count, std::size_t length,
                   std::uint8_t* dst) {
    if (count <= 1) {
        if (count == 1) std::memcpy(dst, frames[0], length);
        return;
    }
    // sum / count as a multiply and shift: exact for sums up to 16 x 255.
    const std::uint32_t reciprocal =
        ((1u << 20) + static_cast<std::uint32_t>(count) - 1) / static_cast<std::uint32_t>(count);
    constexpr std::size_t kBlock = 4096;
    std::uint16_t sum[kBlock];
    for (std::size_t start = 0; start < length; start += kBlock) {
        const std::size_t n = std::min(kBlock, length - start);
        const std::uint8_t* first = frames[0] + start;
        for (std::size_t i = 0; i < n; ++i)
            sum[i] = first[i];
        for (int f = 1; f < count; ++f) {
            const std::uint8_t* frame = frames[f] + start;
            for (std::size_t i = 0; i < n; ++i)
                sum[i] = static_cast<std::uint16_t>(sum[i] + frame[i]);
        }
        std::uint8_t* out = dst + start;
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<std::uint8_t>((sum[i] * reciprocal) >> 20);
        }
    }
}

void ConvertYuy2ToBgr(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                      Orientation orientation, const LevelTables& levels, std::uint8_t* dst,
                      std::ptrdiff_t dstPitch) {
    const std::uint8_t* luma = levels.luma.data();
    const std::uint8_t* chroma = levels.chroma.data();
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        for (int x = 0; x < width; ++x) {
            const int pixel = orientation.mirror ? width - 1 - x : x;
            const std::uint8_t* pair = in + (pixel / 2) * 4;
            WriteBgrPixel(luma[pair[(pixel % 2) * 2]], chroma[pair[1]], chroma[pair[3]],
                          out + x * 3);
        }
    }
}

void CopyBgrOriented(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                     Orientation orientation, std::uint8_t* dst, std::ptrdiff_t dstPitch) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        if (!orientation.mirror) {
            std::memcpy(out, in, rowBytes);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            std::memcpy(out + x * 3, in + (width - 1 - x) * 3, 3);
        }
    }
}

}  // namespace kolvane::zantho
