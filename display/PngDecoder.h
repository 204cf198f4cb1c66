#pragma once

#include <QByteArray>
#include <QImage>

namespace kolvane {

// Decodes the PNG files grabbed pictures are made of (8-bit RGB or RGBA, not
// interlaced, no transparent colour) with libdeflate, which inflates about
// twice as fast as zlib. Pixels are exactly those Qt's reader gives: RGB32
// for RGB, ARGB32 for RGBA.
//
// Any other PNG, and any data that is not a whole, intact PNG (a bad chunk
// checksum, a short or damaged image stream), gives a null image, so that
// the caller falls back to Qt's reader and reports what it reports.
// `maxBytes` bounds the decoded picture as Qt's allocation limit does.
QImage DecodePng(const QByteArray& data, qsizetype maxBytes);

}  // namespace kolvane
