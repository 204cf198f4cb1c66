#pragma once

#include <gst/gst.h>

#include <functional>
#include <mutex>
#include <vector>

#include <QString>

#include "platform/GstPtr.h"

namespace kolvane {

using GstDevicePtr = GstObjectPtr<GstDevice>;

// Which video sources the program searches. `KOLVANE_VIDEO_DEVICES` forces
// one: "system" (the system's devices only), "test" (the built-in test
// pattern only) or "none"; unset, the system's devices, or the test pattern
// when the system has none, so that a machine without a camera still shows
// the program working.
enum class VideoDeviceMode { Automatic, System, TestPattern, None };
VideoDeviceMode VideoDeviceModeFromEnvironment();

// The display name of the built-in source.
inline constexpr const char kTestPatternName[] = "test pattern";

// The video sources in their search order: the devices of every provider of
// class "Video/Source" (V4L2 cameras and cards, DeckLink cards, the camera
// element's provider, ...), a DV camcorder on FireWire where dv1394src and a
// FireWire node exist, and the test pattern as the mode says. The list
// follows plugging and unplugging once it has been read.
class CVideoDeviceList {
  public:
    // Called on a GStreamer thread when a device comes or goes.
    using ChangeHandler = std::function<void(GstDevice* device, bool added)>;

    explicit CVideoDeviceList(VideoDeviceMode mode);
    ~CVideoDeviceList();
    CVideoDeviceList(const CVideoDeviceList&) = delete;
    CVideoDeviceList& operator=(const CVideoDeviceList&) = delete;

    VideoDeviceMode Mode() const { return mode_; }
    void SetChangeHandler(ChangeHandler handler);
    std::vector<GstDevicePtr> Devices();

  private:
    static GstBusSyncReply OnMonitorMessage(GstBus* bus, GstMessage* message, gpointer self);
    void StartMonitor();

    VideoDeviceMode mode_;
    GstObjectPtr<GstDeviceMonitor> monitor_;
    bool monitorStarted_ = false;
    GstDevicePtr testPattern_;
    GstDevicePtr firewireCamera_;
    std::mutex handlerLock_;
    ChangeHandler handler_;
};

// Facts of a device for choosing and listing.
QString DevicePath(GstDevice* device);  // "device.path" (a V4L2 node), or empty
bool IsDeckLinkDevice(GstDevice* device);

}  // namespace kolvane
