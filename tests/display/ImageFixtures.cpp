#include "tests/display/ImageFixtures.h"

#include <array>

#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>

namespace kolvane::test {
namespace {

void Put16(QByteArray& out, unsigned value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(QByteArray& out, unsigned value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put32BigEndian(QByteArray& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

// Pixels bottom row first, B G R (A), as BMP and TGA keep them.
QByteArray BottomUpPixels(const QImage& image, int bitsPerPixel, int rowAlignment) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray pixels;
    for (int y = argb.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        qsizetype rowStart = pixels.size();
        for (int x = 0; x < argb.width(); ++x) {
            pixels.append(static_cast<char>(qBlue(row[x])));
            pixels.append(static_cast<char>(qGreen(row[x])));
            pixels.append(static_cast<char>(qRed(row[x])));
            if (bitsPerPixel == 32) pixels.append(static_cast<char>(qAlpha(row[x])));
        }
        while ((pixels.size() - rowStart) % rowAlignment != 0)
            pixels.append('\0');
    }
    return pixels;
}

std::uint32_t Crc32(const QByteArray& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char ch : bytes)
        crc = table[(crc ^ static_cast<std::uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace

void PngChunk(QByteArray& out, const char* type, const QByteArray& data) {
    Put32BigEndian(out, static_cast<std::uint32_t>(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    out.append(typed);
    Put32BigEndian(out, Crc32(typed));
}

QByteArray StoredZlib(const QByteArray& data) {
    QByteArray out("\x78\x01", 2);
    qsizetype offset = 0;
    do {
        const qsizetype length = std::min<qsizetype>(data.size() - offset, 65535);
        const bool last = offset + length == data.size();
        out.append(static_cast<char>(last ? 1 : 0));
        Put16(out, static_cast<unsigned>(length));
        Put16(out, static_cast<unsigned>(~length & 0xFFFF));
        out.append(data.mid(offset, length));
        offset += length;
    } while (offset < data.size());
    std::uint32_t a = 1, b = 0;
    for (char ch : data) {
        a = (a + static_cast<std::uint8_t>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    Put32BigEndian(out, (b << 16) | a);
    return out;
}

QImage CornerImage(QSize size, QColor corner, QColor rest, QImage::Format format) {
    QImage image(size, format);
    image.fill(rest);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height() / 2), corner);
    return image;
}

void WriteWithQt(const QString& path, const QImage& image, const char* format) {
    QImageWriter writer(path, format != nullptr ? QByteArray(format) : QByteArray());
    if (!writer.write(image)) qFatal("cannot write test image %s", qPrintable(path));
}

void WriteBmp(const QString& path, const QImage& image, int bitsPerPixel) {
    const QByteArray pixels = BottomUpPixels(image, bitsPerPixel, 4);
    QByteArray out("BM");
    Put32(out, static_cast<unsigned>(54 + pixels.size()));
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<unsigned>(image.width()));
    Put32(out, static_cast<unsigned>(image.height()));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bitsPerPixel));  // offset 28
    Put32(out, 0);                                    // BI_RGB
    Put32(out, static_cast<unsigned>(pixels.size()));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    WriteBytes(path, out + pixels);
}

// Run-length packets: a run packet for each stretch of equal pixels, raw
// packets for the pixels between.
QByteArray RunLengthCoded(const QByteArray& pixels, int pixelBytes) {
    QByteArray out;
    const qsizetype count = pixels.size() / pixelBytes;
    auto pixel = [&](qsizetype i) { return pixels.mid(i * pixelBytes, pixelBytes); };
    qsizetype i = 0;
    while (i < count) {
        qsizetype run = 1;
        while (i + run < count && run < 128 && pixel(i + run) == pixel(i))
            ++run;
        if (run > 1) {
            out.append(static_cast<char>(0x80 | (run - 1)));
            out.append(pixel(i));
            i += run;
            continue;
        }
        qsizetype raw = 1;
        while (i + raw < count && raw < 128 &&
               (i + raw + 1 >= count || pixel(i + raw) != pixel(i + raw + 1))) {
            ++raw;
        }
        out.append(static_cast<char>(raw - 1));
        out.append(pixels.mid(i * pixelBytes, raw * pixelBytes));
        i += raw;
    }
    return out;
}

void WriteTga(const QString& path, const QImage& image, int bitsPerPixel, bool runLength,
              bool footer) {
    QByteArray out;
    out.append('\0');                         // no image id
    out.append('\0');                         // no colour map
    out.append(runLength ? '\x0a' : '\x02');  // true colour
    out.append(QByteArray(5, '\0'));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(image.width()));
    Put16(out, static_cast<unsigned>(image.height()));
    out.append(static_cast<char>(bitsPerPixel));                // offset 16
    out.append(static_cast<char>(bitsPerPixel == 32 ? 8 : 0));  // alpha bits, bottom-up
    const QByteArray pixels = BottomUpPixels(image, bitsPerPixel, 1);
    out.append(runLength ? RunLengthCoded(pixels, bitsPerPixel / 8) : pixels);
    if (footer) {
        out.append(QByteArray(8, '\0'));  // no extension area, no developer area
        out.append("TRUEVISION-XFILE.");
        out.append('\0');
    }
    WriteBytes(path, out);
}

void WriteGif(const QString& path, int width, int height, const std::vector<QRgb>& palette,
              const std::vector<std::uint8_t>& indexes) {
    QByteArray out("GIF89a");
    Put16(out, static_cast<unsigned>(width));
    Put16(out, static_cast<unsigned>(height));
    out.append(static_cast<char>(0x81));  // global table of 4 colours
    out.append('\0');
    out.append('\0');
    for (int i = 0; i < 4; ++i) {
        const QRgb c =
            i < static_cast<int>(palette.size()) ? palette[static_cast<std::size_t>(i)] : 0;
        out.append(static_cast<char>(qRed(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qBlue(c)));
    }
    out.append(',');
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(width));
    Put16(out, static_cast<unsigned>(height));
    out.append('\0');
    // LZW with 3-bit codes kept from growing: a clear code before every pair
    // of pixels means the decoder never adds more than one table entry.
    constexpr unsigned kClear = 4, kEnd = 5;
    std::vector<unsigned> codes;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i % 2 == 0) codes.push_back(kClear);
        codes.push_back(indexes[i]);
    }
    codes.push_back(kEnd);
    QByteArray data;
    unsigned bits = 0, count = 0;
    for (unsigned code : codes) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            data.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) data.append(static_cast<char>(bits & 0xFF));
    out.append('\2');  // minimum code size
    for (qsizetype offset = 0; offset < data.size(); offset += 255) {
        const QByteArray block = data.mid(offset, 255);
        out.append(static_cast<char>(block.size()));
        out.append(block);
    }
    out.append('\0');
    out.append(';');
    WriteBytes(path, out);
}

QByteArray PngSignature() {
    return QByteArray("\x89PNG\r\n\x1a\n", 8);
}

QByteArray PngHeader(int width, int height, int depth, int colourType, int interlace) {
    QByteArray header;
    Put32BigEndian(header, static_cast<std::uint32_t>(width));
    Put32BigEndian(header, static_cast<std::uint32_t>(height));
    header.append(static_cast<char>(depth));
    header.append(static_cast<char>(colourType));  // offset 25 of the file
    header.append('\0');                           // compression
    header.append('\0');                           // filter method
    header.append(static_cast<char>(interlace));
    return header;
}

void WriteGreyAlphaPng(const QString& path, int width, int height, std::uint8_t grey,
                       std::uint8_t alpha) {
    QByteArray out = PngSignature();
    PngChunk(out, "IHDR", PngHeader(width, height, 8, 4));  // grey + alpha
    QByteArray raw;
    for (int y = 0; y < height; ++y) {
        raw.append('\0');  // no filter
        for (int x = 0; x < width; ++x) {
            raw.append(static_cast<char>(grey));
            raw.append(static_cast<char>(alpha));
        }
    }
    PngChunk(out, "IDAT", StoredZlib(raw));
    PngChunk(out, "IEND", QByteArray());
    WriteBytes(path, out);
}

}  // namespace kolvane::test
