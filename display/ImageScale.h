#pragma once

#include <QImage>
#include <QSize>

namespace kolvane {

// `image` at `size`, filtered: bilinear down to half its size, averaged over
// the area beyond. Pictures of 32-bit pixels are averaged by exact halvings
// on the calling thread with SIMD, then sampled bilinearly: Qt's smooth
// scaling, which the other formats still take, hands large images to its own
// threads, where they compete with whatever runs beside (a grab's encode).
// A null image when memory is short.
QImage ScaleImage(const QImage& image, QSize size);

}  // namespace kolvane
