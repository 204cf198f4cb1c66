#pragma once

#include <QImage>
#include <QPoint>

namespace kolvane {

// Multiplies `src`, placed with its top-left corner at `at`, into `dst`
// channel by channel (white leaves `dst` as it is, black makes it black), the
// way stacked drawings darken each other on a light box. Both images are
// 32-bit (RGB32 or ARGB32_Premultiplied, alpha ignored and kept opaque); the
// part outside `dst` is cut off.
void MultiplyOpaque(QImage& dst, const QImage& src, QPoint at);

// The straight (not premultiplied) colours of an ARGB32_Premultiplied image
// as an opaque RGB32 image: the picture with its alpha ignored.
QImage StraightColours(const QImage& premultiplied);

}  // namespace kolvane
