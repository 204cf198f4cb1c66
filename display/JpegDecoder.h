#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace kolvane {

// A JPEG picture decoded by libjpeg-turbo straight into an RGB32 image (a
// third less work than Qt's reader, which goes through the same library).
struct JpegPicture {
    QImage image;    // null when the data cannot be decoded this way
    QSize fileSize;  // the picture's size in the file
};

// Decodes `data`, scaled by 1/2, 1/4 or 1/8 while decoding when the picture
// stays at least `minimumWidth` wide (0: always full size). CMYK pictures and
// data libjpeg-turbo refuses give a null image: Qt's reader may still read
// them.
JpegPicture DecodeJpeg(const QByteArray& data, int minimumWidth);

}  // namespace kolvane
