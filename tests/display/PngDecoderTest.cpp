#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>

#include "display/PngDecoder.h"
#include "tests/display/ImageFixtures.h"

namespace kolvane {
namespace {

using test::PngChunk;
using test::PngHeader;
using test::PngSignature;
using test::StoredZlib;

constexpr qsizetype kNoLimit = 0;

// A picture with noise, so that every filter has work to do; alpha varies
// when asked.
QImage Noisy(int width, int height, bool alpha, quint32 seed) {
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int base = (x * 255 / width + y) & 0xFF;
            const auto n = [&] { return std::clamp(base + random.bounded(-6, 7), 0, 255); };
            line[x] = qRgba(n(), (n() + 80) & 0xFF, 255 - n(), alpha ? random.bounded(256) : 255);
        }
    }
    return image;
}

// The five row filters applied to `raw` (rows of `rowBytes`, `bpp` bytes a
// pixel), row y taking filter y % 5.
QByteArray FilterRows(const QByteArray& raw, int rowBytes, int bpp) {
    QByteArray out;
    const int rows = static_cast<int>(raw.size() / rowBytes);
    const QByteArray zeros(rowBytes, '\0');
    for (int y = 0; y < rows; ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(raw.constData()) + y * rowBytes;
        const auto* prior = reinterpret_cast<const std::uint8_t*>(
            y == 0 ? zeros.constData() : raw.constData() + (y - 1) * rowBytes);
        const int filter = y % 5;
        out.append(static_cast<char>(filter));
        for (int i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0;
            const int b = prior[i];
            const int c = i >= bpp ? prior[i - bpp] : 0;
            int predicted = 0;
            switch (filter) {
                case 1:
                    predicted = a;
                    break;
                case 2:
                    predicted = b;
                    break;
                case 3:
                    predicted = (a + b) / 2;
                    break;
                case 4: {
                    const int p = a + b - c;
                    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    predicted = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
                    break;
                }
                default:
                    break;
            }
            out.append(static_cast<char>((row[i] - predicted) & 0xFF));
        }
    }
    return out;
}

QByteArray RawRows(const QImage& image, bool alpha) {
    QByteArray raw;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            raw.append(static_cast<char>(qRed(line[x])));
            raw.append(static_cast<char>(qGreen(line[x])));
            raw.append(static_cast<char>(qBlue(line[x])));
            if (alpha) raw.append(static_cast<char>(qAlpha(line[x])));
        }
    }
    return raw;
}

// A PNG of `image` with every filter, its image stream split over three
// IDAT chunks, and ancillary chunks around them.
QByteArray HandMadePng(const QImage& image, bool alpha) {
    const int bpp = alpha ? 4 : 3;
    const QByteArray stream =
        StoredZlib(FilterRows(RawRows(image, alpha), image.width() * bpp, bpp));
    QByteArray png = PngSignature();
    PngChunk(png, "IHDR", PngHeader(image.width(), image.height(), 8, alpha ? 6 : 2));
    PngChunk(png, "gAMA", QByteArray("\x00\x00\xb1\x8f", 4));
    const qsizetype third = stream.size() / 3;
    PngChunk(png, "IDAT", stream.left(third));
    PngChunk(png, "IDAT", stream.mid(third, third));
    PngChunk(png, "IDAT", stream.mid(2 * third));
    PngChunk(png, "tEXt", QByteArray("Comment\0kolvane", 15));
    PngChunk(png, "IEND", QByteArray());
    return png;
}

QByteArray QtPng(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

QImage QtRead(const QByteArray& png) {
    QByteArray copy = png;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "png").read();
}

void ExpectSamePixels(const QImage& ours, const QImage& expected) {
    ASSERT_FALSE(ours.isNull());
    ASSERT_EQ(ours.format(), expected.format());
    ASSERT_EQ(ours.size(), expected.size());
    for (int y = 0; y < ours.height(); ++y) {
        ASSERT_EQ(std::memcmp(ours.constScanLine(y), expected.constScanLine(y),
                              static_cast<std::size_t>(ours.width()) * 4),
                  0)
            << "row " << y;
    }
}

TEST(PngDecoder, GivesThePixelsAndFormatOfQtsReader) {
    struct Case {
        int width;
        int height;
        bool alpha;
        int quality;  // Qt's writer: 0 is the most compression, 100 none
    };
    const Case cases[] = {
        {64, 48, false, 50}, {64, 48, true, 50},  {1, 1, false, 0},
        {3, 7, true, 100},   {333, 21, false, 0}, {333, 21, true, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " alpha " << c.alpha
                                        << " quality " << c.quality);
        const QImage picture = Noisy(c.width, c.height, c.alpha, 7u + c.width);
        const QByteArray png = QtPng(picture, c.quality);
        ExpectSamePixels(DecodePng(png, kNoLimit), QtRead(png));
    }
}

TEST(PngDecoder, UndoesEveryRowFilterOverSplitImageData) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "RGBA" : "RGB");
        const QImage picture = Noisy(37, 25, alpha, 3);
        const QByteArray png = HandMadePng(picture, alpha);
        const QImage ours = DecodePng(png, kNoLimit);
        ExpectSamePixels(ours, QtRead(png));
        ExpectSamePixels(ours, picture);
    }
}

// Whatever this decoder does not take, or that is not an intact PNG, gives
// a null image: Qt's reader then reads it, or says why it cannot.
TEST(PngDecoder, LeavesEverythingElseToQtsReader) {
    const QImage picture = Noisy(16, 8, false, 5);
    const QByteArray good = HandMadePng(picture, false);
    ASSERT_FALSE(DecodePng(good, kNoLimit).isNull());

    const QByteArray stream = StoredZlib(FilterRows(RawRows(picture, false), 16 * 3, 3));
    const auto made = [&](const QByteArray& header, const QByteArray& before,
                          const QByteArray& data) {
        QByteArray png = PngSignature();
        PngChunk(png, "IHDR", header);
        png.append(before);
        PngChunk(png, "IDAT", data);
        PngChunk(png, "IEND", QByteArray());
        return png;
    };
    QByteArray transparentColour;
    PngChunk(transparentColour, "tRNS", QByteArray(6, '\0'));
    QByteArray unknownCritical;
    PngChunk(unknownCritical, "ZZZZ", QByteArray("x"));
    QByteArray notAName;
    PngChunk(notAName, "z\xffz\x01", QByteArray());
    QByteArray badFilter = FilterRows(RawRows(picture, false), 16 * 3, 3);
    badFilter[0] = 5;
    QByteArray badChecksum = good;
    badChecksum[badChecksum.size() - 20] ^= 1;  // inside the last IDAT
    QByteArray badAdler = stream;
    badAdler[badAdler.size() - 1] ^= 1;

    const struct {
        const char* what;
        QByteArray png;
        qsizetype limit = kNoLimit;
    } cases[] = {
        {"not a PNG", QByteArray("GIF89a")},
        {"16-bit", made(PngHeader(16, 8, 16, 2), {}, stream)},
        {"palette", made(PngHeader(16, 8, 8, 3), {}, stream)},
        {"grey", made(PngHeader(16, 8, 8, 0), {}, stream)},
        {"interlaced", made(PngHeader(16, 8, 8, 2, 1), {}, stream)},
        {"zero width", made(PngHeader(0, 8, 8, 2), {}, stream)},
        {"transparent colour", made(PngHeader(16, 8, 8, 2), transparentColour, stream)},
        {"unknown critical chunk", made(PngHeader(16, 8, 8, 2), unknownCritical, stream)},
        {"chunk name not of letters", made(PngHeader(16, 8, 8, 2), notAName, stream)},
        {"filter type 5", made(PngHeader(16, 8, 8, 2), {}, StoredZlib(badFilter))},
        {"short image data", made(PngHeader(16, 9, 8, 2), {}, stream)},
        {"too much image data", made(PngHeader(16, 7, 8, 2), {}, stream)},
        {"damaged stream", made(PngHeader(16, 8, 8, 2), {}, badAdler)},
        {"chunk checksum", badChecksum},
        {"cut short", good.left(good.size() - 12)},
        {"cut inside a chunk", good.left(60)},
        {"larger than the limit", good, 16 * 8 * 4 - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(DecodePng(c.png, c.limit).isNull());
    }
}

}  // namespace
}  // namespace kolvane
