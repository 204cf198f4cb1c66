#pragma once

// The program's handle on the "feddick" movie source element, usable without
// linking the plugin: the element hands out its IFeddick through the
// read-only pointer property "ifeddick". The pointer lives as long as the
// element; hold a reference on the element while using it.
//
// Order of use: SetVideoFormat, then SetAudioFormat (the audio frame size
// depends on the frame rate), both before the pipeline starts; then, with
// the pipeline playing, one PutVideoFrame and one PutAudioFrame per movie
// frame; finally SendEndOfStream. Each put hands its buffer over to the
// pad's streaming thread through a one-slot buffer and waits only while the
// slot still holds the previous frame; once the pipeline stops or fails, a
// put returns kFail at once. Until a format is set the element plays a test
// signal and refuses puts.

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>

#include "platform/ResultCodes.h"

namespace kolvane {

inline constexpr const char kFeddickInterfaceProperty[] = "ifeddick";

enum class FeddickPixels {
    kBgr24,   // blue, green, red; each row padded to 4 bytes
    kBgrx32,  // blue, green, red, unused
    kI420,    // planar 4:2:0, BT.601 limited range, GStreamer's plane layout;
              // even width and height, top row first
};

struct FeddickVideoFormat {
    int width = 0;
    int height = 0;
    // 100-nanosecond units; the frame rate is 10,000,000 / this (integer).
    std::int64_t averageTimePerFrame = 0;
    // Rows are stored bottom row first, as a renderer reads them back (not
    // for I420).
    bool bottomUp = false;
    FeddickPixels pixels = FeddickPixels::kBgr24;
};

// Interleaved PCM, 8-bit unsigned or 16-bit signed little-endian.
struct FeddickAudioFormat {
    int channels = 0;
    int samplesPerSecond = 0;
    int bitsPerSample = 0;
};

class IFeddick {
  public:
    // kFail for a format outside the element's range, or once streaming has
    // started; the stream keeps its format then.
    virtual Result SetVideoFormat(const FeddickVideoFormat& format) = 0;
    virtual Result SetAudioFormat(const FeddickAudioFormat& format) = 0;

    // Bytes of one frame: image size, and one frame's worth of sound (a whole
    // number of sample frames).
    virtual std::size_t VideoFrameSize() = 0;
    virtual std::size_t AudioFrameSize() = 0;
    // An empty frame of that size for the caller to fill; taken from a pool,
    // so that the frames of a movie reuse their memory.
    virtual GstBuffer* NewVideoFrame() = 0;
    virtual GstBuffer* NewAudioFrame() = 0;

    // Takes ownership of `frame`, which holds at least a frame's size.
    virtual Result PutVideoFrame(GstBuffer* frame) = 0;
    virtual Result PutAudioFrame(GstBuffer* frame) = 0;
    // End of stream on both pads, after the frames already put.
    virtual Result SendEndOfStream() = 0;
    // Ends the streams in failure: waiting and later puts return kFail. Safe
    // from any thread, a bus sync handler included.
    virtual void Cancel() = 0;

  protected:
    ~IFeddick() = default;
};

// The element's IFeddick, or nullptr for an element that lacks it.
inline IFeddick* QueryFeddick(GstElement* element) {
    if (element == nullptr) return nullptr;
    GParamSpec* spec =
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), kFeddickInterfaceProperty);
    if (spec == nullptr || spec->value_type != G_TYPE_POINTER ||
        (spec->flags & G_PARAM_READABLE) == 0) {
        return nullptr;
    }
    gpointer pointer = nullptr;
    g_object_get(element, kFeddickInterfaceProperty, &pointer, nullptr);
    return static_cast<IFeddick*>(pointer);
}

}  // namespace kolvane
