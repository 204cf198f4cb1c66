#include "filters/zantho/ZanthoPixels.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZANTHO_HAVE_AVX2_PATH 1
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kolvane::zantho {

namespace {

std::uint8_t ClampToByte(float value) {
    if (!(value > 0.0f)) return 0;  // also NaN
    if (value >= 255.0f) return 255;
    return static_cast<std::uint8_t>(value);
}

std::uint8_t ClampToByte(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
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

// ---- Fixed-point lines for the level tables ----------------------------------

// Integer bounds that (value * multiplier + offset) must keep for `table`.
std::optional<std::int32_t> FindOffset(const std::array<std::uint8_t, 256>& table,
                                       std::int64_t multiplier, int shift) {
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    const std::int64_t unit = std::int64_t{1} << shift;
    std::int64_t low = -kNone, high = kNone;
    for (std::int64_t value = 0; value < 256; ++value) {
        const std::int64_t out = table[static_cast<std::size_t>(value)];
        const std::int64_t product = value * multiplier;
        if (out > 0) low = std::max(low, out * unit - product);
        if (out < 255) high = std::min(high, (out + 1) * unit - 1 - product);
        if (low > high) return std::nullopt;
    }
    const std::int64_t offset = std::clamp<std::int64_t>(0, low, high);
    // Every intermediate must fit 32 bits.
    constexpr std::int64_t kLimit = std::int64_t{1} << 30;
    if (std::llabs(offset) >= kLimit || std::llabs(offset + 255 * multiplier) >= kLimit) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(offset);
}

std::optional<FixedLine> FindLine(const std::array<std::uint8_t, 256>& table, double slope,
                                  int shift) {
    if (!std::isfinite(slope)) return std::nullopt;
    const double scaled = std::round(slope * static_cast<double>(std::int64_t{1} << shift));
    if (std::fabs(scaled) >= 1 << 22) return std::nullopt;
    const auto centre = static_cast<std::int64_t>(scaled);
    for (std::int64_t step = 0; step <= 256; ++step) {
        for (std::int64_t multiplier : {centre - step, centre + step}) {
            if (auto offset = FindOffset(table, multiplier, shift)) {
                return FixedLine{static_cast<std::int32_t>(multiplier), *offset};
            }
            if (step == 0) break;
        }
    }
    return std::nullopt;
}

// The 16-bit form of a line at `shift`, checked against every value.
std::int32_t ShortLineValue(std::int32_t value, FixedLine line, int shift) {
    const std::int32_t scaled = (value * line.multiplier) >> 8;
    return std::min(std::clamp(scaled + line.offset, 0, 65535) >> shift, 255);
}

std::optional<FixedLine> FindShortLine(const std::array<std::uint8_t, 256>& table, double slope,
                                       int shift) {
    const double centre = std::round(slope * static_cast<double>(1 << (8 + shift)));
    for (std::int32_t step = 0; step <= 64; ++step) {
        for (const double candidate : {centre - step, centre + step}) {
            if (candidate < 0.0 || candidate > 65535.0) continue;
            const auto multiplier = static_cast<std::int32_t>(candidate);
            // The offsets that keep each value's result, as for the 32-bit lines.
            std::int32_t low = -65535, high = 65535;
            for (std::int32_t value = 0; value < 256 && low <= high; ++value) {
                const std::int32_t out = table[static_cast<std::size_t>(value)];
                const std::int32_t scaled = (value * multiplier) >> 8;
                if (out > 0) low = std::max(low, (out << shift) - scaled);
                if (out < 255) high = std::min(high, ((out + 1) << shift) - 1 - scaled);
            }
            if (low > high) {
                if (step == 0) break;
                continue;
            }
            const FixedLine line{multiplier, std::clamp(0, low, high)};
            bool exact = true;
            for (std::int32_t value = 0; value < 256 && exact; ++value) {
                exact =
                    ShortLineValue(value, line, shift) == table[static_cast<std::size_t>(value)];
            }
            if (exact) return line;
            if (step == 0) break;
        }
    }
    return std::nullopt;
}

void FindShortLines(LevelTables* tables, double lumaSlope, double chromaSlope) {
    tables->hasShortLines = false;
    if (!(lumaSlope >= 0.0) || !(chromaSlope >= 0.0)) return;
    const double largest = std::max(lumaSlope, chromaSlope);
    for (int shift = 8; shift >= 1; --shift) {
        // Room for the search around the centre.
        if (largest * static_cast<double>(1 << (8 + shift)) > 65535.0 - 64.0) continue;
        const auto luma = FindShortLine(tables->luma, lumaSlope, shift);
        const auto chroma = luma ? FindShortLine(tables->chroma, chromaSlope, shift) : std::nullopt;
        if (!luma || !chroma) continue;
        tables->shortShift = shift;
        tables->shortLumaLine = *luma;
        tables->shortChromaLine = *chroma;
        tables->hasShortLines = true;
        return;
    }
}

void FindLines(LevelTables* tables, double lumaSlope, double chromaSlope) {
    tables->hasLines = false;
    // The finest shift whose products stay well inside 32 bits.
    const double largest = std::max(std::fabs(lumaSlope), std::fabs(chromaSlope)) + 1.0;
    if (!std::isfinite(largest)) return;
    int shift = 16;
    while (shift > 4 && largest * 512.0 * static_cast<double>(1 << shift) >= 1 << 30)
        --shift;
    const auto luma = FindLine(tables->luma, lumaSlope, shift);
    const auto chroma = FindLine(tables->chroma, chromaSlope, shift);
    if (!luma || !chroma) return;
    tables->shift = shift;
    tables->lumaLine = *luma;
    tables->chromaLine = *chroma;
    tables->hasLines = true;
}

// ---- Live path -----------------------------------------------------------------

void AdjustPairs(const std::uint8_t* in, std::uint8_t* out, int firstPair, int endPair, int pairs,
                 bool mirror, const LevelTables& levels) {
    const std::uint8_t* luma = levels.luma.data();
    const std::uint8_t* chroma = levels.chroma.data();
    if (!mirror) {
        for (int i = firstPair * 4; i < endPair * 4; i += 4) {
            out[i] = luma[in[i]];
            out[i + 1] = chroma[in[i + 1]];
            out[i + 2] = luma[in[i + 2]];
            out[i + 3] = chroma[in[i + 3]];
        }
        return;
    }
    for (int i = firstPair; i < endPair; ++i) {
        const std::uint8_t* p = in + (pairs - 1 - i) * 4;
        std::uint8_t* o = out + i * 4;
        o[0] = luma[p[2]];
        o[1] = chroma[p[1]];
        o[2] = luma[p[0]];
        o[3] = chroma[p[3]];
    }
}

std::atomic<int> vectorWidthLimit{512};

#ifdef ZANTHO_HAVE_AVX2_PATH

bool CpuHasAvx2() {
    return vectorWidthLimit.load(std::memory_order_relaxed) >= 256 &&
           __builtin_cpu_supports("avx2");
}

// GCC 12's AVX-512 intrinsics start from a deliberately undefined value and
// then warn of it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

bool CpuHasAvx512() {
    return vectorWidthLimit.load(std::memory_order_relaxed) >= 512 &&
           __builtin_cpu_supports("avx512bw");
}

bool CpuHasAvx512Vbmi() {
    return CpuHasAvx512() && __builtin_cpu_supports("avx512vbmi");
}

// Sixteen pairs at a time straight through the tables, which fit in eight
// registers: a byte permute looks up 128 entries at once. No lines needed,
// so any settings take it.
__attribute__((target("avx512bw,avx512vbmi"))) void AdjustAndOrientTablesAvx512(
    const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst, std::ptrdiff_t dstPitch,
    int width, int height, Orientation orientation, const LevelTables& levels) {
    const int pairs = (width + 1) / 2;
    const int blocks = pairs / 16;
    const std::uint8_t* l = levels.luma.data();
    const std::uint8_t* c = levels.chroma.data();
    const __m512i luma0 = _mm512_loadu_si512(l), luma1 = _mm512_loadu_si512(l + 64);
    const __m512i luma2 = _mm512_loadu_si512(l + 128), luma3 = _mm512_loadu_si512(l + 192);
    const __m512i chroma0 = _mm512_loadu_si512(c), chroma1 = _mm512_loadu_si512(c + 64);
    const __m512i chroma2 = _mm512_loadu_si512(c + 128), chroma3 = _mm512_loadu_si512(c + 192);
    constexpr __mmask64 kChromaBytes = 0xAAAAAAAAAAAAAAAAull;
    // Mirrored: the pairs reversed, the two lumas of each swapped.
    alignas(64) std::uint8_t mirrored[64];
    for (int i = 0; i < 64; ++i) {
        const int within = i % 4;
        mirrored[i] =
            static_cast<std::uint8_t>((15 - i / 4) * 4 + (within % 2 == 0 ? 2 - within : within));
    }
    const __m512i mirror = _mm512_load_si512(mirrored);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        for (int block = 0; block < blocks; ++block) {
            const std::uint8_t* s =
                orientation.mirror ? in + (pairs - 16 * (block + 1)) * 4 : in + block * 64;
            __m512i bytes = _mm512_loadu_si512(s);
            if (orientation.mirror) bytes = _mm512_permutexvar_epi8(mirror, bytes);
            const __mmask64 upper = _mm512_movepi8_mask(bytes);
            const __m512i luma =
                _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(luma0, bytes, luma1),
                                       _mm512_permutex2var_epi8(luma2, bytes, luma3));
            const __m512i chroma =
                _mm512_mask_blend_epi8(upper, _mm512_permutex2var_epi8(chroma0, bytes, chroma1),
                                       _mm512_permutex2var_epi8(chroma2, bytes, chroma3));
            _mm512_storeu_si512(out + block * 64,
                                _mm512_mask_blend_epi8(kChromaBytes, luma, chroma));
        }
        AdjustPairs(in, out, blocks * 16, pairs, pairs, orientation.mirror, levels);
    }
}

#pragma GCC diagnostic pop

// Sixteen bytes, each in the high half of a 16-bit lane (value x 256),
// through their 16-bit lines.
__attribute__((target("avx2"))) inline __m256i EvaluateShortLines(__m256i high, __m256i multiplier,
                                                                  __m256i up, __m256i down,
                                                                  __m128i shift) {
    const __m256i scaled = _mm256_mulhi_epu16(high, multiplier);
    return _mm256_srl_epi16(_mm256_subs_epu16(_mm256_adds_epu16(scaled, up), down), shift);
}

// Eight pairs at a time through the 16-bit lines; the rest of a row
// by table. The results equal the tables byte for byte.
__attribute__((target("avx2"))) void AdjustAndOrientShortAvx2(
    const std::uint8_t* src, std::ptrdiff_t srcPitch, std::uint8_t* dst, std::ptrdiff_t dstPitch,
    int width, int height, Orientation orientation, const LevelTables& levels) {
    const int pairs = (width + 1) / 2;
    const int blocks = pairs / 8;
    const auto lm =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(levels.shortLumaLine.multiplier));
    const auto cm =
        static_cast<std::int16_t>(static_cast<std::uint16_t>(levels.shortChromaLine.multiplier));
    auto raise = [](std::int32_t offset) { return static_cast<std::int16_t>(std::max(offset, 0)); };
    auto lower = [](std::int32_t offset) {
        return static_cast<std::int16_t>(std::max(-offset, 0));
    };
    const std::int32_t lk = levels.shortLumaLine.offset, ck = levels.shortChromaLine.offset;
    // Lanes alternate luma and chroma as the bytes do.
    const __m256i multiplier =
        _mm256_setr_epi16(lm, cm, lm, cm, lm, cm, lm, cm, lm, cm, lm, cm, lm, cm, lm, cm);
    const __m256i up = _mm256_setr_epi16(
        raise(lk), raise(ck), raise(lk), raise(ck), raise(lk), raise(ck), raise(lk), raise(ck),
        raise(lk), raise(ck), raise(lk), raise(ck), raise(lk), raise(ck), raise(lk), raise(ck));
    const __m256i down = _mm256_setr_epi16(
        lower(lk), lower(ck), lower(lk), lower(ck), lower(lk), lower(ck), lower(lk), lower(ck),
        lower(lk), lower(ck), lower(lk), lower(ck), lower(lk), lower(ck), lower(lk), lower(ck));
    const __m128i shift = _mm_cvtsi32_si128(levels.shortShift);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    const __m256i swapLuma = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                              2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        for (int block = 0; block < blocks; ++block) {
            const std::uint8_t* s =
                orientation.mirror ? in + (pairs - 8 * (block + 1)) * 4 : in + block * 32;
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            __m256i result = _mm256_packus_epi16(
                EvaluateShortLines(_mm256_unpacklo_epi8(zero, bytes), multiplier, up, down, shift),
                EvaluateShortLines(_mm256_unpackhi_epi8(zero, bytes), multiplier, up, down, shift));
            if (orientation.mirror) {
                result =
                    _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(result, reverse), swapLuma);
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + block * 32), result);
        }
        AdjustPairs(in, out, blocks * 8, pairs, pairs, orientation.mirror, levels);
    }
}

// Eight bytes through their fixed-point lines, as 32-bit values.
__attribute__((target("avx2"))) inline __m256i EvaluateLines(const std::uint8_t* bytes,
                                                             __m256i multiplier, __m256i offset,
                                                             __m128i shift) {
    const __m256i values =
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)));
    return _mm256_sra_epi32(_mm256_add_epi32(_mm256_mullo_epi32(values, multiplier), offset),
                            shift);
}

// Eight pairs at a time through the fixed-point lines; the rest of a row by
// table. The results equal the tables byte for byte.
__attribute__((target("avx2"))) void AdjustAndOrientAvx2(const std::uint8_t* src,
                                                         std::ptrdiff_t srcPitch, std::uint8_t* dst,
                                                         std::ptrdiff_t dstPitch, int width,
                                                         int height, Orientation orientation,
                                                         const LevelTables& levels) {
    const int pairs = (width + 1) / 2;
    const int blocks = pairs / 8;
    const std::int32_t lm = levels.lumaLine.multiplier, cm = levels.chromaLine.multiplier;
    const std::int32_t lk = levels.lumaLine.offset, ck = levels.chromaLine.offset;
    const __m256i multiplier = _mm256_setr_epi32(lm, cm, lm, cm, lm, cm, lm, cm);
    const __m256i offset = _mm256_setr_epi32(lk, ck, lk, ck, lk, ck, lk, ck);
    const __m128i shift = _mm_cvtsi32_si128(levels.shift);
    // The packs leave the pairs as 0 2 4 6 1 3 5 7; put them back, or reversed.
    const __m256i order = orientation.mirror ? _mm256_setr_epi32(7, 3, 6, 2, 5, 1, 4, 0)
                                             : _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i swapLuma = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15,
                                              2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        for (int block = 0; block < blocks; ++block) {
            const std::uint8_t* s =
                orientation.mirror ? in + (pairs - 8 * (block + 1)) * 4 : in + block * 32;
            const __m256i low = _mm256_packs_epi32(EvaluateLines(s, multiplier, offset, shift),
                                                   EvaluateLines(s + 8, multiplier, offset, shift));
            const __m256i high =
                _mm256_packs_epi32(EvaluateLines(s + 16, multiplier, offset, shift),
                                   EvaluateLines(s + 24, multiplier, offset, shift));
            __m256i result = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
            if (orientation.mirror) result = _mm256_shuffle_epi8(result, swapLuma);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + block * 32), result);
        }
        AdjustPairs(in, out, blocks * 8, pairs, pairs, orientation.mirror, levels);
    }
}

#endif

// ---- Frame to RGB --------------------------------------------------------------

struct Chroma {
    int blue, green, red;
};

Chroma ChromaTerms(int u, int v) {
    const int d = u - 128, e = v - 128;
    return {516 * d + 128, -100 * d - 208 * e + 128, 409 * e + 128};
}

inline void WriteBgrPixel(int y, Chroma chroma, std::uint8_t* out) {
    const int c = 298 * (y - 16);
    out[0] = ClampToByte((c + chroma.blue) >> 8);
    out[1] = ClampToByte((c + chroma.green) >> 8);
    out[2] = ClampToByte((c + chroma.red) >> 8);
}

#ifdef ZANTHO_HAVE_AVX2_PATH

// WriteBgrPixel for eight pairs at a time, with the same integer formulas in
// 32-bit lanes; levels already applied. Returns how many pairs it did.
__attribute__((target("avx2"))) int ConvertYuy2RowToBgrAvx2(const std::uint8_t* in, int pairs,
                                                            std::uint8_t* out) {
    constexpr char z = -1;  // a zero byte
    // Per 128-bit lane of four pairs: each pixel's luma, and the U and V of
    // its pair, as 16-bit values.
    const __m256i lumaPick = _mm256_setr_epi8(0, z, 2, z, 4, z, 6, z, 8, z, 10, z, 12, z, 14, z, 0,
                                              z, 2, z, 4, z, 6, z, 8, z, 10, z, 12, z, 14, z);
    const __m256i uPick = _mm256_setr_epi8(1, z, 1, z, 5, z, 5, z, 9, z, 9, z, 13, z, 13, z, 1, z,
                                           1, z, 5, z, 5, z, 9, z, 9, z, 13, z, 13, z);
    const __m256i vPick = _mm256_setr_epi8(3, z, 3, z, 7, z, 7, z, 11, z, 11, z, 15, z, 15, z, 3, z,
                                           3, z, 7, z, 7, z, 11, z, 11, z, 15, z, 15, z);
    const __m256i sixteen = _mm256_set1_epi16(16);
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i round = _mm256_set1_epi32(128);
    // Coefficient pairs for (luma, chroma) and (V, 1) in each 32-bit lane.
    auto pairOf = [](int low, int high) {
        return static_cast<int>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                                static_cast<std::uint32_t>(high) << 16);
    };
    const __m256i blue = _mm256_set1_epi32(pairOf(298, 516));
    const __m256i red = _mm256_set1_epi32(pairOf(298, 409));
    const __m256i greenU = _mm256_set1_epi32(pairOf(298, -100));
    const __m256i greenV = _mm256_set1_epi32(pairOf(-208, 128));
    // B0..B7 G0..G7 and R0..R7 of a lane into 24 bytes of B G R.
    const __m256i bgFirst = _mm256_setr_epi8(0, 8, z, 1, 9, z, 2, 10, z, 3, 11, z, 4, 12, z, 5, 0,
                                             8, z, 1, 9, z, 2, 10, z, 3, 11, z, 4, 12, z, 5);
    const __m256i rFirst = _mm256_setr_epi8(z, z, 0, z, z, 1, z, z, 2, z, z, 3, z, z, 4, z, z, z, 0,
                                            z, z, 1, z, z, 2, z, z, 3, z, z, 4, z);
    const __m256i bgSecond = _mm256_setr_epi8(13, z, 6, 14, z, 7, 15, z, z, z, z, z, z, z, z, z, 13,
                                              z, 6, 14, z, 7, 15, z, z, z, z, z, z, z, z, z);
    const __m256i rSecond = _mm256_setr_epi8(z, 5, z, z, 6, z, z, 7, z, z, z, z, z, z, z, z, z, 5,
                                             z, z, 6, z, z, 7, z, z, z, z, z, z, z, z);
    int pair = 0;
    for (; pair + 8 <= pairs; pair += 8) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + pair * 4));
        const __m256i y = _mm256_sub_epi16(_mm256_shuffle_epi8(bytes, lumaPick), sixteen);
        const __m256i d = _mm256_sub_epi16(_mm256_shuffle_epi8(bytes, uPick), half);
        const __m256i e = _mm256_sub_epi16(_mm256_shuffle_epi8(bytes, vPick), half);
        const __m256i yd[2] = {_mm256_unpacklo_epi16(y, d), _mm256_unpackhi_epi16(y, d)};
        const __m256i ye[2] = {_mm256_unpacklo_epi16(y, e), _mm256_unpackhi_epi16(y, e)};
        const __m256i e1[2] = {_mm256_unpacklo_epi16(e, one), _mm256_unpackhi_epi16(e, one)};
        __m256i b[2], g[2], r[2];
        for (int k = 0; k < 2; ++k) {
            b[k] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(yd[k], blue), round), 8);
            r[k] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(ye[k], red), round), 8);
            g[k] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(yd[k], greenU),
                                                      _mm256_madd_epi16(e1[k], greenV)),
                                     8);
        }
        const __m256i bg =
            _mm256_packus_epi16(_mm256_packs_epi32(b[0], b[1]), _mm256_packs_epi32(g[0], g[1]));
        const __m256i rr =
            _mm256_packus_epi16(_mm256_packs_epi32(r[0], r[1]), _mm256_setzero_si256());
        const __m256i first =
            _mm256_or_si256(_mm256_shuffle_epi8(bg, bgFirst), _mm256_shuffle_epi8(rr, rFirst));
        const __m256i second =
            _mm256_or_si256(_mm256_shuffle_epi8(bg, bgSecond), _mm256_shuffle_epi8(rr, rSecond));
        std::uint8_t* o = out + pair * 6;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(first));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_castsi256_si128(second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 24), _mm256_extracti128_si256(first, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 40), _mm256_extracti128_si256(second, 1));
    }
    return pair;
}

#endif

inline std::uint8_t BgrLuma(const std::uint8_t* p) {
    return static_cast<std::uint8_t>(((66 * p[2] + 129 * p[1] + 25 * p[0] + 128) >> 8) + 16);
}

void WriteYuy2Pair(const std::uint8_t* p0, const std::uint8_t* p1, std::uint8_t* out) {
    const int b0 = p0[0], g0 = p0[1], r0 = p0[2];
    out[0] = BgrLuma(p0);
    out[1] = static_cast<std::uint8_t>(((112 * b0 - 74 * g0 - 38 * r0 + 128) >> 8) + 128);
    out[2] = BgrLuma(p1);
    out[3] = static_cast<std::uint8_t>(((112 * r0 - 94 * g0 - 18 * b0 + 128) >> 8) + 128);
}

// ---- Luma samples ----------------------------------------------------------------

// Compares a row's new samples with the kept ones and keeps the new. `Take`
// gives sample i of the row.
template <typename Take>
void ReplaceSampleRow(Take take, int from, int count, std::uint8_t* kept, SampleChange* change) {
    bool same = true;
    std::size_t moved = 0;
    for (int i = from; i < count; ++i) {
        const std::uint8_t fresh = take(i);
        const int difference = fresh - kept[i];
        same = same && difference == 0;
        moved += (difference > 16) | (difference < -16);
        kept[i] = fresh;
    }
    change->same = change->same && same;
    change->moved += moved;
}

#ifdef ZANTHO_HAVE_AVX2_PATH

// As ReplaceYuy2SampleBlocks, thirty-two pairs at a time.
__attribute__((target("avx2"))) int ReplaceYuy2SampleBlocksAvx2(const std::uint8_t* in, int pairs,
                                                                std::uint8_t* kept,
                                                                SampleChange* change) {
    const __m256i lowByte = _mm256_set1_epi32(0xFF);
    const __m256i limit = _mm256_set1_epi8(16);
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i zero = _mm256_setzero_si256();
    // The packs leave the samples as 0 2 4 6 1 3 5 7 in groups of four.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    __m256i differ = zero, total = zero;
    int i = 0;
    while (i + 32 <= pairs) {
        __m256i counts = zero;
        for (int blocks = 0; blocks < 255 && i + 32 <= pairs; ++blocks, i += 32) {
            const auto* p = reinterpret_cast<const __m256i*>(in + i * 4);
            const __m256i a = _mm256_and_si256(_mm256_loadu_si256(p), lowByte);
            const __m256i b = _mm256_and_si256(_mm256_loadu_si256(p + 1), lowByte);
            const __m256i c = _mm256_and_si256(_mm256_loadu_si256(p + 2), lowByte);
            const __m256i d = _mm256_and_si256(_mm256_loadu_si256(p + 3), lowByte);
            const __m256i now = _mm256_permutevar8x32_epi32(
                _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d)), order);
            auto* k = reinterpret_cast<__m256i*>(kept + i);
            const __m256i before = _mm256_loadu_si256(k);
            const __m256i distance =
                _mm256_or_si256(_mm256_subs_epu8(now, before), _mm256_subs_epu8(before, now));
            differ = _mm256_or_si256(differ, distance);
            counts =
                _mm256_add_epi8(counts, _mm256_min_epu8(_mm256_subs_epu8(distance, limit), one));
            _mm256_storeu_si256(k, now);
        }
        total = _mm256_add_epi64(total, _mm256_sad_epu8(counts, zero));
    }
    change->same = change->same && _mm256_movemask_epi8(_mm256_cmpeq_epi8(differ, zero)) == -1;
    alignas(32) std::uint64_t sums[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums), total);
    change->moved += static_cast<std::size_t>(sums[0] + sums[1] + sums[2] + sums[3]);
    return i;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// As ReplaceYuy2SampleBlocks, sixty-four pairs at a time: two byte permutes
// gather the samples of four vectors.
__attribute__((target("avx512bw,avx512vbmi"))) int ReplaceYuy2SampleBlocksAvx512(
    const std::uint8_t* in, int pairs, std::uint8_t* kept, SampleChange* change) {
    const __m512i limit = _mm512_set1_epi8(16);
    const __m512i one = _mm512_set1_epi8(1);
    const __m512i zero = _mm512_setzero_si512();
    alignas(64) std::uint8_t firsts[64];
    for (int i = 0; i < 64; ++i)
        firsts[i] = static_cast<std::uint8_t>(4 * (i % 32));
    const __m512i gather = _mm512_load_si512(firsts);
    constexpr __mmask64 kSecondHalf = 0xFFFFFFFF00000000ull;
    __m512i differ = zero, total = zero;
    int i = 0;
    while (i + 64 <= pairs) {
        __m512i counts = zero;
        for (int blocks = 0; blocks < 255 && i + 64 <= pairs; ++blocks, i += 64) {
            const std::uint8_t* p = in + i * 4;
            const __m512i now = _mm512_mask_blend_epi8(
                kSecondHalf,
                _mm512_permutex2var_epi8(_mm512_loadu_si512(p), gather, _mm512_loadu_si512(p + 64)),
                _mm512_permutex2var_epi8(_mm512_loadu_si512(p + 128), gather,
                                         _mm512_loadu_si512(p + 192)));
            const __m512i before = _mm512_loadu_si512(kept + i);
            const __m512i distance =
                _mm512_or_si512(_mm512_subs_epu8(now, before), _mm512_subs_epu8(before, now));
            differ = _mm512_or_si512(differ, distance);
            counts =
                _mm512_add_epi8(counts, _mm512_min_epu8(_mm512_subs_epu8(distance, limit), one));
            _mm512_storeu_si512(kept + i, now);
        }
        total = _mm512_add_epi64(total, _mm512_sad_epu8(counts, zero));
    }
    change->same = change->same && _mm512_test_epi8_mask(differ, differ) == 0;
    alignas(64) std::uint64_t sums[8];
    _mm512_store_si512(sums, total);
    for (const std::uint64_t sum : sums)
        change->moved += static_cast<std::size_t>(sum);
    return i;
}

#pragma GCC diagnostic pop

#endif

// The vector part of a YUY2 row: sixteen pairs at a time. Returns how many
// samples it did.
int ReplaceYuy2SampleBlocks(const std::uint8_t* in, int pairs, std::uint8_t* kept,
                            SampleChange* change) {
    int i = 0;
#ifdef __SSE2__
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    const __m128i limit = _mm_set1_epi8(16);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
    __m128i differ = zero, total = zero;
    while (i + 16 <= pairs) {
        // Byte counters of moved samples, emptied before they can overflow.
        __m128i counts = zero;
        for (int blocks = 0; blocks < 255 && i + 16 <= pairs; ++blocks, i += 16) {
            const auto* p = reinterpret_cast<const __m128i*>(in + i * 4);
            const __m128i a = _mm_and_si128(_mm_loadu_si128(p), lowByte);
            const __m128i b = _mm_and_si128(_mm_loadu_si128(p + 1), lowByte);
            const __m128i c = _mm_and_si128(_mm_loadu_si128(p + 2), lowByte);
            const __m128i d = _mm_and_si128(_mm_loadu_si128(p + 3), lowByte);
            const __m128i now = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kept + i));
            const __m128i distance =
                _mm_or_si128(_mm_subs_epu8(now, before), _mm_subs_epu8(before, now));
            differ = _mm_or_si128(differ, distance);
            counts = _mm_add_epi8(counts, _mm_min_epu8(_mm_subs_epu8(distance, limit), one));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(kept + i), now);
        }
        total = _mm_add_epi64(total, _mm_sad_epu8(counts, zero));
    }
    change->same = change->same && _mm_movemask_epi8(_mm_cmpeq_epi8(differ, zero)) == 0xFFFF;
    change->moved += static_cast<std::size_t>(_mm_cvtsi128_si64(total)) +
                     static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
#else
    (void)in;
    (void)pairs;
    (void)kept;
    (void)change;
#endif
    return i;
}

// ---- Averaging -------------------------------------------------------------------

// sum / count (2..16) as the high half of sum x ceil(65536 / count): the
// error stays below 4080 / 65536, less than the 1/16 a wrong result needs.
std::uint32_t MeanReciprocal(int count) {
    return (65536u + static_cast<std::uint32_t>(count) - 1) / static_cast<std::uint32_t>(count);
}

}  // namespace

void LimitVectorWidth(int bits) {
    vectorWidthLimit.store(bits, std::memory_order_relaxed);
}

LevelTables MakeLevelTables(float whiteness, float brightness, float contrast, float color) {
    const float w = whiteness > 0.0f ? std::min(whiteness, 127.0f) : 0.0f;
    LevelTables tables;
    tables.neutral = w == 0.0f && brightness == 0.0f && contrast == 1.0f && color == 1.0f;
    for (int value = 0; value < 256; ++value) {
        const float luma = (static_cast<float>(value - 16) * contrast + brightness + 16.0f) *
                               255.0f / (255.0f - 2.0f * w) -
                           w;
        const float chroma = static_cast<float>(value - 128) * contrast * color + 128.0f;
        tables.luma[static_cast<std::size_t>(value)] = ClampToByte(luma);
        tables.chroma[static_cast<std::size_t>(value)] = ClampToByte(chroma);
    }
    const double lumaSlope = static_cast<double>(contrast) * 255.0 / (255.0 - 2.0 * w);
    const double chromaSlope = static_cast<double>(contrast) * static_cast<double>(color);
    FindLines(&tables, lumaSlope, chromaSlope);
    FindShortLines(&tables, lumaSlope, chromaSlope);
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
    if (levels.neutral && !orientation.mirror) {
        if (!orientation.flip) {
            CopyYuy2(src, srcPitch, dst, dstPitch, width, height);
            return;
        }
        for (int row = 0; row < height; ++row) {
            std::memcpy(Row(dst, dstPitch, row), Row(src, srcPitch, height - 1 - row),
                        static_cast<std::size_t>(pairs) * 4);
        }
        return;
    }
#ifdef ZANTHO_HAVE_AVX2_PATH
    if (CpuHasAvx512Vbmi()) {
        AdjustAndOrientTablesAvx512(src, srcPitch, dst, dstPitch, width, height, orientation,
                                    levels);
        return;
    }
    if (levels.hasShortLines && CpuHasAvx2()) {
        AdjustAndOrientShortAvx2(src, srcPitch, dst, dstPitch, width, height, orientation, levels);
        return;
    }
    if (levels.hasLines && CpuHasAvx2()) {
        AdjustAndOrientAvx2(src, srcPitch, dst, dstPitch, width, height, orientation, levels);
        return;
    }
#endif
    for (int row = 0; row < height; ++row) {
        AdjustPairs(Row(src, srcPitch, SourceRow(row, height, orientation)),
                    Row(dst, dstPitch, row), 0, pairs, pairs, orientation.mirror, levels);
    }
}

namespace {

void ReplaceYuy2SampleRow(const std::uint8_t* in, int pairs, std::uint8_t* kept,
                          SampleChange* change) {
    int done = 0;
#ifdef ZANTHO_HAVE_AVX2_PATH
    if (CpuHasAvx512Vbmi()) done = ReplaceYuy2SampleBlocksAvx512(in, pairs, kept, change);
    if (CpuHasAvx2()) {
        done += ReplaceYuy2SampleBlocksAvx2(in + done * 4, pairs - done, kept + done, change);
    }
#endif
    done += ReplaceYuy2SampleBlocks(in + done * 4, pairs - done, kept + done, change);
    ReplaceSampleRow([in](int i) { return in[i * 4]; }, done, pairs, kept, change);
}

}  // namespace

SampleChange AdjustOrientAndSample(const std::uint8_t* src, std::ptrdiff_t srcPitch,
                                   std::uint8_t* dst, std::ptrdiff_t dstPitch, int width,
                                   int height, Orientation orientation, const LevelTables& levels,
                                   std::uint8_t* samples) {
    const int pairs = (width + 1) / 2;
    const Orientation inRow{orientation.mirror, false};
    SampleChange change;
    // Row by row, so that the samples are read while the row is in the cache.
    for (int row = 0; row < height; ++row) {
        const int sourceRow = SourceRow(row, height, orientation);
        const std::uint8_t* in = Row(src, srcPitch, sourceRow);
        AdjustAndOrient(in, 0, Row(dst, dstPitch, row), 0, width, 1, inRow, levels);
        if (samples != nullptr) {
            ReplaceYuy2SampleRow(in, pairs,
                                 samples + static_cast<std::ptrdiff_t>(pairs) * sourceRow, &change);
        }
    }
    return change;
}

SampleChange ConvertAdjustOrientAndSample(const std::uint8_t* src, std::ptrdiff_t srcPitch,
                                          std::uint8_t* dst, std::ptrdiff_t dstPitch, int width,
                                          int height, Orientation orientation,
                                          const LevelTables& levels, std::uint8_t* samples) {
    const int pairs = (width + 1) / 2;
    // One converted row at a time stays in the first-level cache.
    std::vector<std::uint8_t> converted(static_cast<std::size_t>(Yuy2RowBytes(width)));
    const Orientation inRow{orientation.mirror, false};
    SampleChange change;
    for (int row = 0; row < height; ++row) {
        const int sourceRow = SourceRow(row, height, orientation);
        ConvertBgrToYuy2(Row(src, srcPitch, sourceRow), 0, width, 1, converted.data(), 0);
        AdjustAndOrient(converted.data(), 0, Row(dst, dstPitch, row), 0, width, 1, inRow, levels);
        if (samples != nullptr) {
            ReplaceYuy2SampleRow(converted.data(), pairs,
                                 samples + static_cast<std::ptrdiff_t>(pairs) * sourceRow, &change);
        }
    }
    return change;
}

SampleChange ReplaceLumaSamples(const std::uint8_t* frame, std::ptrdiff_t pitch, int width,
                                int height, std::uint8_t* samples) {
    const int pairs = (width + 1) / 2;
    SampleChange change;
    for (int row = 0; row < height; ++row) {
        ReplaceYuy2SampleRow(Row(frame, pitch, row), pairs,
                             samples + static_cast<std::ptrdiff_t>(pairs) * row, &change);
    }
    return change;
}

SampleChange ReplaceBgrLumaSamples(const std::uint8_t* frame, std::ptrdiff_t pitch, int width,
                                   int height, std::uint8_t* samples) {
    const int pairs = (width + 1) / 2;
    SampleChange change;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(frame, pitch, row);
        ReplaceSampleRow([in](int i) { return BgrLuma(in + i * 6); }, 0, pairs,
                         samples + static_cast<std::ptrdiff_t>(pairs) * row, &change);
    }
    return change;
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
    const std::uint32_t reciprocal = MeanReciprocal(count);
    std::size_t i = 0;
#ifdef __SSE2__
    // Sixteen columns at a time, summed over all frames in registers.
    const __m128i zero = _mm_setzero_si128();
    const __m128i factor = _mm_set1_epi16(static_cast<short>(reciprocal));
    for (; i + 16 <= length; i += 16) {
        __m128i low = zero, high = zero;
        for (int f = 0; f < count; ++f) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames[f] + i));
            low = _mm_add_epi16(low, _mm_unpacklo_epi8(bytes, zero));
            high = _mm_add_epi16(high, _mm_unpackhi_epi8(bytes, zero));
        }
        const __m128i mean =
            _mm_packus_epi16(_mm_mulhi_epu16(low, factor), _mm_mulhi_epu16(high, factor));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), mean);
    }
#endif
    for (; i < length; ++i) {
        std::uint32_t sum = 0;
        for (int f = 0; f < count; ++f)
            sum += frames[f][i];
        dst[i] = static_cast<std::uint8_t>((sum * reciprocal) >> 16);
    }
}

void ConvertYuy2ToBgr(const std::uint8_t* src, std::ptrdiff_t srcPitch, int width, int height,
                      Orientation orientation, const LevelTables& levels, std::uint8_t* dst,
                      std::ptrdiff_t dstPitch) {
    const std::uint8_t* luma = levels.luma.data();
    const std::uint8_t* chroma = levels.chroma.data();
    const int fullPairs = width / 2;
#ifdef ZANTHO_HAVE_AVX2_PATH
    // An odd width mirrors pixel by pixel below; anything else is levelled
    // and oriented a row at a time by the live path and then converted.
    if (CpuHasAvx2() && (width % 2 == 0 || !orientation.mirror)) {
        const bool adjust = !levels.neutral || orientation.mirror;
        std::vector<std::uint8_t> adjusted(adjust ? static_cast<std::size_t>(Yuy2RowBytes(width))
                                                  : 0);
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
            std::uint8_t* out = Row(dst, dstPitch, row);
            if (adjust) {
                AdjustAndOrient(in, 0, adjusted.data(), 0, width, 1,
                                Orientation{orientation.mirror, false}, levels);
                in = adjusted.data();
            }
            int pair = ConvertYuy2RowToBgrAvx2(in, fullPairs, out);
            for (; pair < fullPairs; ++pair) {
                const std::uint8_t* p = in + pair * 4;
                const Chroma terms = ChromaTerms(p[1], p[3]);
                WriteBgrPixel(p[0], terms, out + pair * 6);
                WriteBgrPixel(p[2], terms, out + pair * 6 + 3);
            }
            if (width % 2 != 0) {
                const std::uint8_t* p = in + fullPairs * 4;
                WriteBgrPixel(p[0], ChromaTerms(p[1], p[3]), out + fullPairs * 6);
            }
        }
        return;
    }
#endif
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = Row(src, srcPitch, SourceRow(row, height, orientation));
        std::uint8_t* out = Row(dst, dstPitch, row);
        if (!orientation.mirror) {
            for (int pair = 0; pair < fullPairs; ++pair) {
                const std::uint8_t* p = in + pair * 4;
                const Chroma terms = ChromaTerms(chroma[p[1]], chroma[p[3]]);
                WriteBgrPixel(luma[p[0]], terms, out + pair * 6);
                WriteBgrPixel(luma[p[2]], terms, out + pair * 6 + 3);
            }
            if (width % 2 != 0) {
                const std::uint8_t* p = in + fullPairs * 4;
                WriteBgrPixel(luma[p[0]], ChromaTerms(chroma[p[1]], chroma[p[3]]),
                              out + fullPairs * 6);
            }
        } else if (width % 2 == 0) {
            for (int pair = 0; pair < fullPairs; ++pair) {
                const std::uint8_t* p = in + (fullPairs - 1 - pair) * 4;
                const Chroma terms = ChromaTerms(chroma[p[1]], chroma[p[3]]);
                WriteBgrPixel(luma[p[2]], terms, out + pair * 6);
                WriteBgrPixel(luma[p[0]], terms, out + pair * 6 + 3);
            }
        } else {
            // An odd width mirrors pixel by pixel: its padding pixel stays out.
            for (int x = 0; x < width; ++x) {
                const int pixel = width - 1 - x;
                const std::uint8_t* p = in + (pixel / 2) * 4;
                WriteBgrPixel(luma[p[(pixel % 2) * 2]], ChromaTerms(chroma[p[1]], chroma[p[3]]),
                              out + x * 3);
            }
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
