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

std::atomic<bool> wideVectorsAllowed{true};

#ifdef ZANTHO_HAVE_AVX2_PATH

bool CpuHasAvx2() {
    return wideVectorsAllowed.load(std::memory_order_relaxed) && __builtin_cpu_supports("avx2");
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

void AllowWideVectors(bool allowed) {
    wideVectorsAllowed.store(allowed, std::memory_order_relaxed);
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
    FindLines(&tables, static_cast<double>(contrast) * 255.0 / (255.0 - 2.0 * w),
              static_cast<double>(contrast) * static_cast<double>(color));
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
    if (CpuHasAvx2()) done = ReplaceYuy2SampleBlocksAvx2(in, pairs, kept, change);
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
