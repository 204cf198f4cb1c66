#include "display/ImageScale.h"

#include <libyuv/scale_argb.h>

#include <QPainter>

#include "display/FrameBytes.h"

namespace kolvane {
namespace {

// Beyond this reduction bilinear sampling skips pixels; area averaging is used.
constexpr int kBilinearMaxReduction = 2;

bool Within(QSize from, QSize to, int reduction) {
    return from.width() <= to.width() * reduction && from.height() <= to.height() * reduction;
}

// Averaging premultiplied or opaque pixels channel by channel is exact;
// straight alpha would need premultiplying first.
bool IsArgb(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

// Each pixel the rounded mean of the 2 x 2 below it. libyuv's bilinear
// steps between other sizes lose a level or two on every channel, so only
// its halving is used.
QImage Halved(const QImage& image) {
    const QSize half(image.width() / 2, image.height() / 2);
    QImage halved = MakeFrameImage(half.width(), half.height(), image.format());
    if (halved.isNull()) return halved;
    const int failed = libyuv::ARGBScale(image.constBits(), static_cast<int>(image.bytesPerLine()),
                                         half.width() * 2, half.height() * 2, halved.bits(),
                                         static_cast<int>(halved.bytesPerLine()), half.width(),
                                         half.height(), libyuv::kFilterBox);
    return failed == 0 ? halved : QImage();
}

QImage Bilinear(const QImage& image, QSize size) {
    // In frame memory: a grab readies the pages of its texture meanwhile.
    QImage scaled = IsArgb(image.format())
                        ? MakeFrameImage(size.width(), size.height(), image.format())
                        : QImage(size, image.format());
    if (scaled.isNull()) return scaled;
    QPainter painter(&scaled);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(scaled.rect(), image);
    return scaled;
}

}  // namespace

QImage ScaleImage(const QImage& image, QSize size) {
    if (image.isNull() || size.isEmpty()) return {};
    if (size == image.size()) return image;
    if (Within(image.size(), size, kBilinearMaxReduction)) return Bilinear(image, size);
    if (!IsArgb(image.format()))
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Halved until within reach of bilinear sampling (an odd last row or
    // column is left out, less than a pixel of the result).
    QImage scaled = image;
    while (!scaled.isNull() && !Within(scaled.size(), size, kBilinearMaxReduction) &&
           scaled.width() >= 2 * size.width() && scaled.height() >= 2 * size.height()) {
        scaled = Halved(scaled);
    }
    if (scaled.isNull() || scaled.size() == size) return scaled;
    return Bilinear(scaled, size);
}

}  // namespace kolvane
