#pragma once

#include <cstdint>
#include <future>
#include <optional>
#include <span>

#include <QImage>
#include <QRect>
#include <QRgb>
#include <QString>

#include "display/ImageFiles.h"
#include "display/JpegDecoder.h"
#include "filters/feddick/IFeddick.h"
#include "platform/ResultCodes.h"

typedef struct _GstElement GstElement;

namespace kolvane {

class CNode;

// What the movie writer asks of the display renderer: one off-screen frame
// of the movie's size, drawn like the player view and read back.
class IMovieRenderer {
  public:
    virtual ~IMovieRenderer() = default;
    // False when the frame cannot be made (or one is open already).
    virtual bool BeginOffscreen(const QRect& rect) = 0;
    // Fills `rect` (none: the whole frame) with an RGB colour.
    virtual void Clear(std::optional<QRect> rect, QRgb colour) = 0;
    // Draws the texture of image item `item` into `rect` by `fitMode`; the
    // first picture of a frame replaces, `layered` ones stack.
    virtual void DrawImage(const QRect& rect, const CNode& item, bool layered, int fitMode) = 0;
    virtual void DrawText(const QRect& rect, QRgb colour, const QString& text) = 0;
    // Starts decoding the image file of `item` for the frame, perhaps on
    // another thread; `item` is left as it is.
    virtual std::shared_future<DecodedImage> DecodeImage(const CNode& item) = 0;
    // Starts decoding the image file of `item` straight into the I420
    // `planes` of a frame of the frame's size, perhaps on another thread:
    // true once done, false when the file is not one that can be (a 4:2:0
    // JPEG of the frame's size) or cannot be read. The planes must outlive
    // the result.
    virtual std::shared_future<bool> DecodeI420(const CNode& item, const I420Planes& planes) = 0;
    // The frame, bottom row first, as 24-bit (blue, green, red) or 32-bit
    // pixels (blue, green, red, unused), rows packed.
    virtual Result ReadFrame(std::span<std::uint8_t> buffer, bool bits24) = 0;
    // The frame itself, top row first, when it is 32-bit rows that can be
    // read without a copy (valid until the next drawing); else none.
    virtual const QImage* Frame() const = 0;
    // Grows with every drawing into the frame, by anyone: equal counts mean
    // the frame holds what was drawn last.
    virtual std::uint64_t DrawCount() const = 0;
    virtual void EndOffscreen() = 0;
};

// What the movie writer asks of the sound side: the output format and one
// frame of a sound cell, written into its column's track as playback does
// and read back from there.
class IMovieSound {
  public:
    virtual ~IMovieSound() = default;
    virtual FeddickAudioFormat Format() const = 0;
    // Bytes of sound per scene frame at the current frame rate.
    virtual int BytesPerFrame() const = 0;
    // Writes the frame of `cell` into `column`'s track, then copies it into
    // `samples` (BytesPerFrame / 2 values). A failure when the clip cannot
    // be read; `samples` is then left as it was.
    virtual Result WriteFrame(CNode& column, const CNode& cell,
                              std::span<std::int16_t> samples) = 0;
};

// Lets the user set an encoder's own properties before a movie starts (the
// reduction "FFDShow"). The page is the user interface's; the writer only
// asks for it.
class IEncoderPages {
  public:
    virtual ~IEncoderPages() = default;
    virtual void Show(GstElement* encoder, const QString& caption) = 0;
};

}  // namespace kolvane
