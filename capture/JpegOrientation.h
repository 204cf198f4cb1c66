#pragma once

#include <QByteArray>
#include <QString>

#include "platform/ResultCodes.h"

namespace kolvane {

// The camera's still does not pass through the adjustment element, so the
// grabber turns the JPEG itself, without decoding it: the DCT blocks are
// rearranged (libturbojpeg's tjTransform). `orientation` is the setting's
// value: 1 mirrored (horizontal flip), 2 flipped (vertical flip), 3 turned
// (rotated 180 degrees); 0 and others leave the data alone.
//
// Partial blocks at the right and bottom edges cannot be moved losslessly;
// a picture that has them loses those few rows and columns.
// kOk with `out` set, or kFail for data that is no JPEG.
Result TransformJpeg(const QByteArray& jpeg, int orientation, QByteArray& out);

// Turns the JPEG file at `path` in place: the turned file is written beside
// it, synced and renamed over it, so that a crash leaves the old or the new
// file, never a half one. 0, kFail for a file that is no JPEG (it is left
// as it is), or an errno.
Result OrientJpegFile(const QString& path, int orientation);

}  // namespace kolvane
