#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include "tests/support/TestEnvironment.h"

// Image files for the display tests, written by the tests themselves. Qt
// writes PNG, JPEG, BMP (24-bit only) and TIFF; the formats it cannot write
// (32-bit BMP, TGA, GIF, grey + alpha PNG) are put together byte by byte.
namespace kolvane::test {

// A picture of `size` in `format`: its top-left quarter `corner`, the rest
// `rest` (so that a flipped or mirrored read shows).
QImage CornerImage(QSize size, QColor corner, QColor rest,
                   QImage::Format format = QImage::Format_ARGB32);

// Writes `image` with Qt's writer for the file's suffix (or `format`).
void WriteWithQt(const QString& path, const QImage& image, const char* format = nullptr);

// Uncompressed BMP (BITMAPINFOHEADER, bottom-up) of 24 or 32 bits a pixel.
void WriteBmp(const QString& path, const QImage& image, int bitsPerPixel);

// True-colour TGA (bottom-up) of 24 or 32 bits a pixel, raw or run-length
// coded, with or without the version 2 footer.
void WriteTga(const QString& path, const QImage& image, int bitsPerPixel, bool runLength = false,
              bool footer = false);

// A GIF of `width` × `height` whose pixels take the given palette indexes
// (0..3, row by row) from a four-colour palette.
void WriteGif(const QString& path, int width, int height, const std::vector<QRgb>& palette,
              const std::vector<std::uint8_t>& indexes);

// A PNG of colour type 4 (grey + alpha, 8 bits each).
void WriteGreyAlphaPng(const QString& path, int width, int height, std::uint8_t grey,
                       std::uint8_t alpha);

// PNG building blocks: a chunk with its length and checksum, and a zlib
// stream of stored (uncompressed) deflate blocks.
void PngChunk(QByteArray& out, const char* type, const QByteArray& data);
// The 8 bytes every PNG starts with, and an IHDR chunk's data.
QByteArray PngSignature();
QByteArray PngHeader(int width, int height, int depth, int colourType, int interlace = 0);
QByteArray StoredZlib(const QByteArray& data);

}  // namespace kolvane::test
