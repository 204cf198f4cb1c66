#include "capture/FramePng.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "storage/SafeFile.h"

namespace kolvane {
namespace {

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

// A compressor's state and level buffer are some hundred kilobytes: the last
// encode's are kept for the next, whose pages are then already there. An
// encode running beside it makes its own.
struct Compressor {
    isal_zstream stream;
    std::vector<std::uint8_t> levelBuffer;
};

std::mutex keptLock;
std::unique_ptr<Compressor> keptCompressor;

std::size_t LevelBufferSize(int level) {
    switch (level) {
        case 1:
            return ISAL_DEF_LVL1_DEFAULT;
        case 2:
            return ISAL_DEF_LVL2_DEFAULT;
        case 3:
            return ISAL_DEF_LVL3_DEFAULT;
        default:
            return 0;
    }
}

std::unique_ptr<Compressor> TakeCompressor() {
    {
        std::lock_guard lock(keptLock);
        if (keptCompressor) return std::move(keptCompressor);
    }
    return std::make_unique<Compressor>();
}

void KeepCompressor(std::unique_ptr<Compressor> compressor) {
    std::lock_guard lock(keptLock);
    keptCompressor = std::move(compressor);
}

// The zlib stream of `data`, or 0 when `out` is too small for it.
std::size_t Compress(Compressor& compressor, int level, const std::uint8_t* data, std::size_t size,
                     std::uint8_t* out, std::size_t capacity) {
    isal_zstream& stream = compressor.stream;
    compressor.levelBuffer.resize(LevelBufferSize(level));
    isal_deflate_init(&stream);
    stream.level = static_cast<std::uint32_t>(level);
    stream.level_buf = compressor.levelBuffer.empty() ? nullptr : compressor.levelBuffer.data();
    stream.level_buf_size = static_cast<std::uint32_t>(compressor.levelBuffer.size());
    stream.gzip_flag = IGZIP_ZLIB;
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    stream.next_in = const_cast<std::uint8_t*>(data);
    stream.avail_in = static_cast<std::uint32_t>(size);
    stream.next_out = out;
    stream.avail_out = static_cast<std::uint32_t>(capacity);
    if (isal_deflate(&stream) != COMP_OK || stream.avail_in != 0 ||
        stream.internal_state.state != ZSTATE_END) {
        return 0;
    }
    return stream.total_out;
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
    // The compressor counts in 32 bits, and the roomier try takes twice the
    // rows.
    if (height * (rowBytes + 1) > 0x7fff0000u / 2) return {};

    // Each row: filter byte 1 ("sub"), then R G B differences to the pixel
    // on the left. The frame's B G R order is turned around first, a row at
    // a time, so that both passes run in vector registers.
    FrameBytes filtered(height * (rowBytes + 1));
    std::vector<std::uint8_t> rgb(rowBytes);
    for (std::size_t y = 0; y < height; ++y) {
        libyuv::RAWToRGB24(frame.bgr.data() + y * rowBytes, static_cast<int>(rowBytes), rgb.data(),
                           static_cast<int>(rowBytes), frame.width, 1);
        std::uint8_t* out = filtered.data() + y * (rowBytes + 1);
        out[0] = 1;
        out[1] = rgb[0];
        out[2] = rgb[1];
        out[3] = rgb[2];
        for (std::size_t i = 3; i < rowBytes; ++i)
            out[i + 1] = static_cast<std::uint8_t>(rgb[i] - rgb[i - 3]);
    }

    level = std::clamp(level, 0, 3);
    auto compressor = TakeCompressor();
    // Compressed data hardly outgrows its input; noise that does gets a
    // second, roomier try.
    std::size_t size = 0;
    FrameBytes compressed(0);
    for (const std::size_t capacity :
         {filtered.size() + filtered.size() / 16 + 4096, 2 * filtered.size() + 65536}) {
        compressed = FrameBytes(capacity);
        size = Compress(*compressor, level, filtered.data(), filtered.size(), compressed.data(),
                        compressed.size());
        if (size > 0) break;
    }
    KeepCompressor(std::move(compressor));
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
