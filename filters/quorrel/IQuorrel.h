#pragma once

// The program's handle on the "quorrel" camera live-view element, usable
// without linking the plugin: the element hands out its IQuorrel through the
// read-only pointer property "iquorrel". The pointer lives as long as the
// element; hold a reference on the element while using it. Every method
// takes the camera connection's one lock and may be called from any thread;
// without a camera connection (the element is stopped, or no camera answers)
// each returns kFail and does nothing.

#include <gst/gst.h>

#include <atomic>

#include "platform/ResultCodes.h"

namespace kolvane {

inline constexpr const char kQuorrelInterfaceProperty[] = "iquorrel";

// Values of a picture request's progress integer. The element writes 0..99
// while the files download and 100 once every file of the picture is in
// place under its final name; the caller writes kQuorrelProgressCancel to
// stop. A request that ends without a picture (cancelled, the camera
// refused, unplugged or never delivered, the element stopped) ends with
// kQuorrelProgressEnded and leaves no file behind. After 100 or
// kQuorrelProgressEnded the element never touches the integer again.
inline constexpr int kQuorrelProgressDone = 100;
inline constexpr int kQuorrelProgressCancel = -1;
inline constexpr int kQuorrelProgressEnded = -2;

class IQuorrel {
  public:
    // The camera's model name with " EOS" removed ("Canon 550D"); kFail when
    // it would be empty.
    virtual Result GetCameraName(char* name, int capacity) = 0;
    // Queues a still picture, downloaded to `basePath` plus the camera file's
    // own extension in lower case (".jpg", and ".cr2" beside it for raw +
    // JPEG qualities). The camera thread moves `*progress` up to 100 when the
    // files are complete; the caller stores -1 to cancel. `progress` must
    // stay valid until it reads 100 or kQuorrelProgressEnded. kOk when
    // queued, 1 when a picture is already queued, kFail when there is no
    // camera or its quality cannot be read (nothing is queued then).
    virtual Result TakePicture(const char* basePath, std::atomic<int>* progress) = 0;
    // Writes the settings that are not 0 (the stored codes: white balance,
    // ISO, aperture, image size).
    virtual Result SetCameraSettings(int whiteBalance, int iso, int aperture, int imageSize) = 0;
    virtual Result GetCameraSettings(int* whiteBalance, int* iso, int* aperture,
                                     int* imageQuality) = 0;
    // Remembers white balance, ISO, aperture, shutter speed and image
    // quality; Restore writes the remembered five back.
    virtual Result SaveCameraSettings() = 0;
    virtual Result RestoreCameraSettings() = 0;
    // Presses the shutter button half-way (no autofocus) or releases it; the
    // keep-awake pulse is a press and a release.
    virtual Result HalfPressShutter(bool pressed) = 0;
    // The pixel size of the last still this element downloaded (read from
    // its JPEG); kFail before the first. Bodies outside the grab-size table
    // learn their still size from it. (Not pure, so that stand-ins written
    // before it keep building.)
    virtual Result GetStillSize(int* width, int* height) {
        (void)width;
        (void)height;
        return kFail;
    }

  protected:
    ~IQuorrel() = default;
};

// The element's IQuorrel, or nullptr for an element that lacks it.
inline IQuorrel* QueryQuorrel(GstElement* element) {
    if (element == nullptr) return nullptr;
    GParamSpec* spec =
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), kQuorrelInterfaceProperty);
    if (spec == nullptr || spec->value_type != G_TYPE_POINTER ||
        (spec->flags & G_PARAM_READABLE) == 0) {
        return nullptr;
    }
    gpointer pointer = nullptr;
    g_object_get(element, kQuorrelInterfaceProperty, &pointer, nullptr);
    return static_cast<IQuorrel*>(pointer);
}

}  // namespace kolvane
