// Feeds arbitrary bytes to the PNG decoder. Whatever it accepts must be a
// picture Qt's reader reads the same way. Chunk checksums are put right
// first, or hardly any mutation would get past them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <libdeflate.h>

#include "display/PngDecoder.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void FixChecksums(QByteArray& png) {
    qsizetype at = 8;
    while (png.size() - at >= 12) {
        const auto* p = reinterpret_cast<const unsigned char*>(png.constData()) + at;
        const std::uint32_t length = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                     (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
        if (length > static_cast<std::uint32_t>(png.size() - at - 12)) return;
        const std::uint32_t crc = libdeflate_crc32(0, p + 4, length + 4);
        const qsizetype end = at + 8 + static_cast<qsizetype>(length);
        for (int i = 0; i < 4; ++i)
            png[end + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
        at = end + 4;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    FixChecksums(bytes);
    const QImage ours = kolvane::DecodePng(bytes, 64 * 1024 * 1024);
    if (ours.isNull()) return 0;
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const QImage qt = QImageReader(&buffer, "png").read();
    Check(!qt.isNull() && qt.format() == ours.format() && qt.size() == ours.size());
    for (int y = 0; y < ours.height(); ++y) {
        Check(std::memcmp(ours.constScanLine(y), qt.constScanLine(y),
                          static_cast<std::size_t>(ours.width()) * 4) == 0);
    }
    return 0;
}
