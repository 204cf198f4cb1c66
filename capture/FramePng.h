#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "capture/GrabSource.h"
#include "platform/ResultCodes.h"

namespace kolvane {

// ISA-L's deflate level of grabbed PNGs (0..3): at 1 the rows of a 1080p
// frame compress in about a millisecond, and the whole encode takes a third
// of GStreamer's pngenc at zlib's fastest level, for files about half as
// large again as zlib's usual 6 (bench/grab prints these).
inline constexpr int kGrabPngLevel = 1;

// The frame as a 24-bit RGB PNG file: rows filtered with "sub", compressed
// with ISA-L at `level` (0..3). Empty for an empty frame.
QByteArray EncodeFramePng(const CGrabbedFrame& frame, int level = kGrabPngLevel);

// Writes the frame as a PNG at `path`, through a temporary file that is
// synced and renamed, so that the name shows the whole picture or nothing.
// 0, kFail for an empty frame, or the errno of the write (ENOSPC on a full
// disk).
Result WriteFramePng(const CGrabbedFrame& frame, const QString& path);

// The frame as an image: a copy in RGB32, the pixels a PNG file written
// from the frame decodes to.
QImage FrameImage(const CGrabbedFrame& frame);

}  // namespace kolvane
