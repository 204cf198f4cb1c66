#pragma once

// The program's handle on the "zantho" live video adjustment element, usable
// without linking the plugin: the element hands out its IZantho through the
// read-only pointer property "izantho". The pointer lives as long as the
// element; hold a reference on the element while using it. Every method runs
// under the element's one lock, so it may be called from any thread while
// frames stream.
//
// The element reports on its bus with element messages whose structure is
// named "zantho", carrying an int field "code" (kZanthoPictureFroze ...
// kZanthoSceneStill) and a string field "event" ("frozen", "live", "motion",
// "still"), posted from the streaming thread.

#include <gst/gst.h>

#include <cstddef>
#include <cstdint>

#include "platform/ResultCodes.h"

namespace kolvane {

inline constexpr const char kZanthoMessageName[] = "zantho";
inline constexpr const char kZanthoInterfaceProperty[] = "izantho";

// Event codes of the element messages.
inline constexpr int kZanthoPictureFroze = 0x8001;   // no change for nine frames in a row
inline constexpr int kZanthoPictureLive = 0x8002;    // the picture changes again
inline constexpr int kZanthoMotionStarted = 0x8003;  // motion detection: moving
inline constexpr int kZanthoSceneStill = 0x8004;     // motion detection: still

struct ZanthoFrameSize {
    int width = 0;
    int height = 0;
    bool IsEmpty() const { return width <= 0 || height <= 0; }
};

class IZantho {
  public:
    // Picture settings: whiteness 0..127, brightness -100..100, contrast 0..2,
    // colour saturation 0..2. A whiteness outside 0..127 is clamped.
    virtual Result SetWhiteness(float whiteness) = 0;
    virtual Result SetBrightness(float brightness) = 0;
    virtual Result SetContrast(float contrast) = 0;
    virtual Result SetColor(float color) = 0;
    // Kept but without effect.
    virtual Result SetOption(int option) = 0;

    // Writes the current frame as packed RGB24 rows of width x 3 bytes (blue,
    // green, red), top row first, with the current orientation, averaged over
    // the denoise frames. Size and pixels are taken in one locked step: when
    // the frame needs more than `capacity` bytes, or no frame has arrived yet,
    // nothing is written and kFail is returned. `size` (may be null) receives
    // the frame's size in every case.
    virtual Result GetFrame(std::uint8_t* destination, std::size_t capacity,
                            ZanthoFrameSize* size) = 0;
    // The size of the input format; empty before caps are set.
    virtual Result GetFrameSize(ZanthoFrameSize* size) = 0;
    // 1 when motion detection last found the scene still, else 0.
    virtual int IsStill() = 0;
    // Asks downstream to take the current output format again and renegotiates
    // it; kFail when the output is not linked or downstream refuses.
    virtual Result ReconnectOutput() = 0;
    // Number of frames averaged for GetFrame, 1..16 (others are refused with
    // kFail); the history is rebuilt from the next frame.
    virtual Result SetDenoise(int frames) = 0;
    // Non-zero turns motion detection on.
    virtual Result SetMotionDetect(int on) = 0;
    // Any value other than 1.0 mirrors left-right.
    virtual Result SetHorizontal(float horizontal) = 0;
    // Exactly -1.0 flips top-bottom.
    virtual Result SetVertical(float vertical) = 0;

  protected:
    ~IZantho() = default;
};

// The element's IZantho, or nullptr for an element that lacks it.
inline IZantho* QueryZantho(GstElement* element) {
    if (element == nullptr) return nullptr;
    GParamSpec* spec =
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), kZanthoInterfaceProperty);
    if (spec == nullptr || spec->value_type != G_TYPE_POINTER ||
        (spec->flags & G_PARAM_READABLE) == 0) {
        return nullptr;
    }
    gpointer pointer = nullptr;
    g_object_get(element, kZanthoInterfaceProperty, &pointer, nullptr);
    return static_cast<IZantho*>(pointer);
}

}  // namespace kolvane
