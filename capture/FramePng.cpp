#include "capture/FramePng.h"

#include <libdeflate.h>
#include <libyuv/convert_argb.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "storage/SafeFile.h"

namespace kolvane {
namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

void PutBigEndian32(QByteArray& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

void PutChunk(QByteArray& out, const char type[4], const char* data, std::size_t size) {
    PutBigEndian32(out, static_cast<std::uint32_t>(size));
    const qsizetype start = out.size();
    out.append(type, 4);
    if (size > 0) out.append(data, static_cast<qsizetype>(size));
    const auto* typed = reinterpret_cast<const unsigned char*>(out.constData() + start);
    PutBigEndian32(out, libdeflate_crc32(0, typed, size + 4));
}

// The last encode's compressor, kept for the next: making one allocates
// and clears its tables each time. An encode running beside it makes its
// own.
std::mutex keptLock;
std::unique_ptr<libdeflate_compressor, CompressorDeleter> keptCompressor;
int keptLevel = 0;

std::unique_ptr<libdeflate_compressor, CompressorDeleter> TakeCompressor(int level) {
    {
        std::lock_guard lock(keptLock);
        if (keptCompressor && keptLevel == level) return std::move(keptCompressor);
    }
    return std::unique_ptr<libdeflate_compressor, CompressorDeleter>(
        libdeflate_alloc_compressor(level));
}

void KeepCompressor(std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor,
                    int level) {
    std::lock_guard lock(keptLock);
    keptCompressor = std::move(compressor);
    keptLevel = level;
}

bool IsWhole(const CGrabbedFrame& frame) {
    return !frame.IsEmpty() && frame.bgr.size() >= static_cast<std::size_t>(frame.width) *
                                                       static_cast<std::size_t>(frame.height) * 3;
}

}  // namespace

QByteArray EncodeFramePng(const CGrabbedFrame& frame, int level) {
    if (!IsWhole(frame)) return {};
    const std::size_t width = static_cast<std::size_t>(frame.width);
    const std::size_t height = static_cast<std::size_t>(frame.height);
    const std::size_t rowBytes = width * 3;

    // Each row: filter byte 1 ("sub"), then R G B differences to the pixel
    // on the left, which also turns the frame's B G R order around.
    FrameBytes filtered(height * (rowBytes + 1));
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* in = frame.bgr.data() + y * rowBytes;
        std::uint8_t* out = filtered.data() + y * (rowBytes + 1);
        *out++ = 1;
        std::uint8_t left[3] = {0, 0, 0};
        for (std::size_t x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = static_cast<std::uint8_t>(in[2] - left[0]);
            out[1] = static_cast<std::uint8_t>(in[1] - left[1]);
            out[2] = static_cast<std::uint8_t>(in[0] - left[2]);
            left[0] = in[2];
            left[1] = in[1];
            left[2] = in[0];
        }
    }

    level = std::clamp(level, 1, 12);
    auto compressor = TakeCompressor(level);
    if (!compressor) return {};
    FrameBytes compressed(libdeflate_zlib_compress_bound(compressor.get(), filtered.size()));
    const std::size_t size = libdeflate_zlib_compress(
        compressor.get(), filtered.data(), filtered.size(), compressed.data(), compressed.size());
    KeepCompressor(std::move(compressor), level);
    if (size == 0) return {};

    QByteArray png;
    png.reserve(static_cast<qsizetype>(size + 64));
    png.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    PutBigEndian32(header, static_cast<std::uint32_t>(width));
    PutBigEndian32(header, static_cast<std::uint32_t>(height));
    header.append("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, adaptive, no interlace
    PutChunk(png, "IHDR", header.constData(), static_cast<std::size_t>(header.size()));
    PutChunk(png, "IDAT", reinterpret_cast<const char*>(compressed.data()), size);
    PutChunk(png, "IEND", nullptr, 0);
    return png;
}

Result WriteFramePng(const CGrabbedFrame& frame, const QString& path) {
    const QByteArray png = EncodeFramePng(frame);
    if (png.isEmpty()) return kFail;
    return WriteFileAtomically(path, png);
}

QImage FrameImage(const CGrabbedFrame& frame) {
    if (!IsWhole(frame)) return {};
    // Not Qt's general conversion from BGR888, which takes several times as
    // long while a grab waits for it.
    QImage image = MakeFrameImage(frame.width, frame.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    // libyuv's "RGB24" is bytes B, G, R; its "ARGB" is B, G, R, A, as a
    // 32-bit pixel of Qt's is on this byte order.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    libyuv::RGB24ToARGB(frame.bgr.data(), frame.width * 3, image.bits(),
                        static_cast<int>(image.bytesPerLine()), frame.width, frame.height);
    return image;
}

}  // namespace kolvane
