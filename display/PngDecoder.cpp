#include "display/PngDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <libdeflate.h>
#include <libyuv/convert_argb.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kolvane {
namespace {

constexpr unsigned char kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint32_t kMaxChunkLength = 0x7fffffff;
constexpr int kColourRgb = 2;
constexpr int kColourRgba = 6;
// Bytes past the end of the rows, so that a pixel of three bytes can be
// loaded as four.
constexpr std::size_t kLoadSlack = 1;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

std::uint32_t BigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

bool IsType(const unsigned char* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

// Chunk names are four ASCII letters; libpng refuses anything else.
bool IsChunkName(const unsigned char* type) {
    for (int i = 0; i < 4; ++i) {
        const unsigned char letter = type[i] & ~0x20u;
        if (letter < 'A' || letter > 'Z') return false;
    }
    return true;
}

// Critical chunks have an upper-case first letter; one we do not know means
// the picture is beyond this decoder.
bool IsCritical(const unsigned char* type) {
    return (type[0] & 0x20) == 0;
}

#if defined(__SSE2__)
// Average and Paeth depend on the pixel just unfiltered, so they go a pixel
// at a time; SSE2 takes the pixel's bytes together, as 16-bit lanes.
// Loads four bytes whatever Bpp is (the buffers have a byte to spare): a
// load of three through the stack would stall every pixel.
template <int Bpp>
__m128i LoadPixel(const unsigned char* p) {
    int value = 0;
    std::memcpy(&value, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(value), _mm_setzero_si128());
}

template <int Bpp>
void StorePixel(unsigned char* p, __m128i pixel) {
    const int value = _mm_cvtsi128_si32(_mm_packus_epi16(pixel, pixel));
    std::memcpy(p, &value, Bpp);
}

__m128i Abs16(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

__m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int Bpp>
void UnfilterAverage(unsigned char* row, const unsigned char* prior, std::size_t length) {
    const __m128i byteMask = _mm_set1_epi16(0xff);
    __m128i a = _mm_setzero_si128();
    for (std::size_t i = 0; i < length; i += Bpp) {
        const __m128i b = LoadPixel<Bpp>(prior + i);
        const __m128i x = LoadPixel<Bpp>(row + i);
        a = _mm_and_si128(_mm_add_epi16(x, _mm_srli_epi16(_mm_add_epi16(a, b), 1)), byteMask);
        StorePixel<Bpp>(row + i, a);
    }
}

template <int Bpp>
void UnfilterPaeth(unsigned char* row, const unsigned char* prior, std::size_t length) {
    const __m128i byteMask = _mm_set1_epi16(0xff);
    __m128i a = _mm_setzero_si128();
    __m128i c = _mm_setzero_si128();
    for (std::size_t i = 0; i < length; i += Bpp) {
        const __m128i b = LoadPixel<Bpp>(prior + i);
        const __m128i x = LoadPixel<Bpp>(row + i);
        const __m128i pa = Abs16(_mm_sub_epi16(b, c));
        const __m128i pb = Abs16(_mm_sub_epi16(a, c));
        const __m128i pc = Abs16(_mm_add_epi16(_mm_sub_epi16(b, c), _mm_sub_epi16(a, c)));
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        // Ties go to a, then b, then c.
        const __m128i nearest =
            Select(_mm_cmpeq_epi16(smallest, pa), a, Select(_mm_cmpeq_epi16(smallest, pb), b, c));
        a = _mm_and_si128(_mm_add_epi16(x, nearest), byteMask);
        c = b;
        StorePixel<Bpp>(row + i, a);
    }
}
#else
unsigned char Paeth(unsigned char a, unsigned char b, unsigned char c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

template <int Bpp>
void UnfilterAverage(unsigned char* row, const unsigned char* prior, std::size_t length) {
    for (std::size_t i = 0; i < Bpp; ++i)
        row[i] = static_cast<unsigned char>(row[i] + (prior[i] >> 1));
    for (std::size_t i = Bpp; i < length; ++i)
        row[i] = static_cast<unsigned char>(row[i] + ((row[i - Bpp] + prior[i]) >> 1));
}

template <int Bpp>
void UnfilterPaeth(unsigned char* row, const unsigned char* prior, std::size_t length) {
    for (std::size_t i = 0; i < Bpp; ++i)
        row[i] = static_cast<unsigned char>(row[i] + prior[i]);
    for (std::size_t i = Bpp; i < length; ++i)
        row[i] = static_cast<unsigned char>(row[i] + Paeth(row[i - Bpp], prior[i], prior[i - Bpp]));
}
#endif

// Undoes one row's filter in place; `prior` is the row above, unfiltered
// (zeros for the first row).
template <int Bpp>
bool Unfilter(unsigned char filter, unsigned char* row, const unsigned char* prior,
              std::size_t length) {
    switch (filter) {
        case 0:
            return true;
        case 1:
            for (std::size_t i = Bpp; i < length; ++i)
                row[i] = static_cast<unsigned char>(row[i] + row[i - Bpp]);
            return true;
        case 2:
            for (std::size_t i = 0; i < length; ++i)
                row[i] = static_cast<unsigned char>(row[i] + prior[i]);
            return true;
        case 3:
            UnfilterAverage<Bpp>(row, prior, length);
            return true;
        case 4:
            UnfilterPaeth<Bpp>(row, prior, length);
            return true;
        default:
            return false;
    }
}

template <int Bpp>
bool UnfilterInto(unsigned char* filtered, std::size_t rowBytes, QImage& image) {
    const std::vector<unsigned char> zeros(rowBytes + kLoadSlack, 0);
    const unsigned char* prior = zeros.data();
    for (int y = 0; y < image.height(); ++y) {
        unsigned char* line = filtered + static_cast<std::size_t>(y) * (rowBytes + 1);
        unsigned char* row = line + 1;
        if (!Unfilter<Bpp>(line[0], row, prior, rowBytes)) return false;
        // R G B (A) in the file; B G R A in memory for RGB32 and ARGB32.
        if constexpr (Bpp == 4) {
            libyuv::ABGRToARGB(row, 0, image.scanLine(y), 0, image.width(), 1);
        } else {
            libyuv::RAWToARGB(row, 0, image.scanLine(y), 0, image.width(), 1);
        }
        prior = row;
    }
    return true;
}

}  // namespace

QImage DecodePng(const QByteArray& data, qsizetype maxBytes) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const auto size = static_cast<std::size_t>(data.size());
    if (size < sizeof kSignature || std::memcmp(bytes, kSignature, sizeof kSignature) != 0)
        return {};

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colourType = -1;
    std::vector<unsigned char> stream;
    bool seenHeader = false;
    bool seenData = false;
    bool dataEnded = false;
    bool seenEnd = false;
    for (std::size_t at = sizeof kSignature; !seenEnd;) {
        if (size - at < 12) return {};
        const std::uint32_t length = BigEndian32(bytes + at);
        if (length > kMaxChunkLength || size - at - 12 < length) return {};
        const unsigned char* type = bytes + at + 4;
        const unsigned char* body = type + 4;
        if (!IsChunkName(type)) return {};
        if (libdeflate_crc32(0, type, length + 4) != BigEndian32(body + length)) return {};
        at += 12 + std::size_t{length};

        if (!seenHeader) {
            if (!IsType(type, "IHDR") || length != 13) return {};
            width = BigEndian32(body);
            height = BigEndian32(body + 4);
            colourType = body[9];
            const bool plain = body[8] == 8 &&
                               (colourType == kColourRgb || colourType == kColourRgba) &&
                               body[10] == 0 && body[11] == 0 && body[12] == 0;
            if (!plain || width == 0 || height == 0 || width > kMaxChunkLength ||
                height > kMaxChunkLength) {
                return {};
            }
            seenHeader = true;
        } else if (IsType(type, "IDAT")) {
            if (dataEnded) return {};
            seenData = true;
            stream.insert(stream.end(), body, body + length);
        } else {
            if (seenData) dataEnded = true;
            if (IsType(type, "IEND")) {
                seenEnd = true;
            } else if (IsType(type, "tRNS") || (IsCritical(type) && !IsType(type, "PLTE"))) {
                // A transparent colour, or a chunk this decoder does not know.
                return {};
            }
        }
    }
    if (!seenData) return {};

    const int bpp = colourType == kColourRgba ? 4 : 3;
    const std::uint64_t rowBytes = std::uint64_t{width} * static_cast<std::uint64_t>(bpp);
    const std::uint64_t filteredBytes = (rowBytes + 1) * height;
    const std::uint64_t pictureBytes = std::uint64_t{width} * height * 4;
    if (maxBytes > 0 && pictureBytes > static_cast<std::uint64_t>(maxBytes)) return {};

    QImage image(static_cast<int>(width), static_cast<int>(height),
                 colourType == kColourRgba ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) return {};
    std::vector<unsigned char> filtered;
    try {
        filtered.resize(static_cast<std::size_t>(filteredBytes) + kLoadSlack);
    } catch (const std::bad_alloc&) {
        return {};
    }

    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (decompressor == nullptr) return {};
    std::size_t inflated = 0;
    if (libdeflate_zlib_decompress(decompressor.get(), stream.data(), stream.size(),
                                   filtered.data(), static_cast<std::size_t>(filteredBytes),
                                   &inflated) != LIBDEFLATE_SUCCESS ||
        inflated != filteredBytes) {
        return {};
    }

    const bool unfiltered = bpp == 4 ? UnfilterInto<4>(filtered.data(), rowBytes, image)
                                     : UnfilterInto<3>(filtered.data(), rowBytes, image);
    return unfiltered ? image : QImage();
}

}  // namespace kolvane
