#include "display/JpegDecoder.h"

#include <memory>

#include <turbojpeg.h>

namespace kolvane {
namespace {

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

constexpr int kMaxDecodeReduction = 8;

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

}  // namespace kolvane
