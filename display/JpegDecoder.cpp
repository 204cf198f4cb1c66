#include "display/JpegDecoder.h"

#include <array>
#include <memory>

#include <turbojpeg.h>

namespace kolvane {
namespace {

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

constexpr int kMaxDecodeReduction = 8;

// JPEG's full-range values to the studio swing of movie frames: luma to
// 16-235, chroma to 16-240 around 128, rounded.
struct RangeTables {
    std::array<std::uint8_t, 256> luma{};
    std::array<std::uint8_t, 256> chroma{};
    RangeTables() {
        for (int v = 0; v < 256; ++v) {
            luma[v] = static_cast<std::uint8_t>(16 + (v * 219 + 127) / 255);
            chroma[v] =
                static_cast<std::uint8_t>(128 + ((v - 128) * 224 + (v >= 128 ? 127 : -127)) / 255);
        }
    }
};

void Remap(std::uint8_t* plane, int stride, int width, int height,
           const std::array<std::uint8_t, 256>& table) {
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = plane + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x)
            row[x] = table[row[x]];
    }
}

}  // namespace

JpegPicture DecodeJpeg(const QByteArray& data, int minimumWidth) {
    JpegPicture out;
    TjHandle handle(tjInitDecompress());
    if (!handle || data.isEmpty()) return out;
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData()));
    const auto size = static_cast<unsigned long>(data.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourSpace = 0;
    if (tjDecompressHeader3(handle.get(), bytes, size, &width, &height, &subsampling,
                            &colourSpace) != 0 ||
        width <= 0 || height <= 0 || colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK) {
        return out;
    }
    out.fileSize = QSize(width, height);

    int reduction = 1;
    while (minimumWidth > 0 && reduction < kMaxDecodeReduction &&
           width / (2 * reduction) >= minimumWidth) {
        reduction *= 2;
    }
    const tjscalingfactor factor{1, reduction};
    const QSize decoded(TJSCALED(width, factor), TJSCALED(height, factor));
    // The last picture's buffer is kept for the next one decoded on this
    // thread: a full-size frame is megabytes that would otherwise be mapped,
    // faulted in and zeroed for every picture. One still held elsewhere (it
    // became a texture) is left alone.
    thread_local QImage reusable;
    QImage image;
    if (reusable.size() == decoded && reusable.format() == QImage::Format_RGB32 &&
        reusable.isDetached()) {
        image = std::move(reusable);
    } else {
        image = QImage(decoded, QImage::Format_RGB32);
    }
    if (image.isNull()) return out;
    // BGRX in memory is RGB32 on little-endian machines; libjpeg-turbo sets X to 0xFF.
    const int format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
    if (tjDecompress2(handle.get(), bytes, size, image.bits(), decoded.width(),
                      static_cast<int>(image.bytesPerLine()), decoded.height(), format, 0) != 0) {
        // A warning (a picture cut short, say) still leaves a usable picture,
        // as with Qt's reader; an error does not.
        if (tjGetErrorCode(handle.get()) != TJERR_WARNING) return out;
    }
    reusable = image;
    out.image = std::move(image);
    return out;
}

bool DecodeJpegI420(const QByteArray& data, QSize size, const I420Planes& planes) {
    TjHandle handle(tjInitDecompress());
    if (!handle || data.isEmpty() || size.width() % 2 != 0 || size.height() % 2 != 0) return false;
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData()));
    const auto length = static_cast<unsigned long>(data.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourSpace = 0;
    if (tjDecompressHeader3(handle.get(), bytes, length, &width, &height, &subsampling,
                            &colourSpace) != 0 ||
        QSize(width, height) != size || subsampling != TJSAMP_420 || colourSpace != TJCS_YCbCr) {
        return false;
    }
    unsigned char* out[3] = {planes.data[0], planes.data[1], planes.data[2]};
    int strides[3] = {planes.stride[0], planes.stride[1], planes.stride[2]};
    if (tjDecompressToYUVPlanes(handle.get(), bytes, length, out, width, strides, height, 0) != 0)
        return false;
    static const RangeTables tables;
    Remap(planes.data[0], planes.stride[0], width, height, tables.luma);
    Remap(planes.data[1], planes.stride[1], width / 2, height / 2, tables.chroma);
    Remap(planes.data[2], planes.stride[2], width / 2, height / 2, tables.chroma);
    return true;
}

}  // namespace kolvane
