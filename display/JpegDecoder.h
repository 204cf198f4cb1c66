#pragma once

#include <cstdint>

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

// Planes of a 4:2:0 picture: Y, then U and V at half the width and height.
struct I420Planes {
    std::uint8_t* data[3] = {};
    int stride[3] = {};
};

// Decodes a 4:2:0 JPEG of exactly `size` into `planes` without going through
// RGB, as limited-range (BT.601 studio swing) values like an RGB frame
// converted to I420. False, with the planes undefined, for any other data
// (another size or subsampling, CMYK, an error).
bool DecodeJpegI420(const QByteArray& data, QSize size, const I420Planes& planes);

}  // namespace kolvane
