#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace kolvane {

// Reads a TGA picture: true-colour, grey and colour-mapped, raw or
// run-length coded, 8 to 32 bits, with or without the version 2 footer (the
// common files that Qt's own reader, which wants the footer and no run-length
// coding, refuses). 32-bit pictures with alpha bits give ARGB32, the others
// RGB32. A null image when the data is not a TGA picture or is cut short.
QImage ReadTga(const QByteArray& data);

// The size of the picture ReadTga would read, from the file's first bytes
// (at least its 18-byte header) and its length: invalid when the header is
// not one ReadTga takes, or the file is too short for its pixels.
QSize ReadTgaSize(const QByteArray& header, qint64 fileSize);

}  // namespace kolvane
