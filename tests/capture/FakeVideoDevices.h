#pragma once

#include <gst/gst.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/DeviceNode.h"
#include "filters/quorrel/IQuorrel.h"

namespace kolvane::test {

// One device the fake provider presents. Its element is a live
// videotestsrc (named "pattern") behind the given launch line; a picture
// "freezes" when that source is switched to a still pattern.
struct FakeDeviceSpec {
    std::string name;
    std::string caps;
    std::string launch = "videotestsrc name=pattern is-live=true pattern=ball";
    std::string deviceClass = "Video/Source";
    std::string path;       // device.path of a V4L2 node, or none
    bool decklink = false;  // presented as a DeckLink card (with its number)
    bool camera = false;    // the element answers IQuorrel (see FakeCamera)
};

// The camera the fake camera element answers for; records what it is told.
class CFakeCamera final : public IQuorrel {
  public:
    Result GetCameraName(char* name, int capacity) override;
    Result TakePicture(const char* basePath, std::atomic<int>* progress) override;
    Result SetCameraSettings(int whiteBalance, int iso, int aperture, int imageSize) override;
    Result GetCameraSettings(int* whiteBalance, int* iso, int* aperture, int* quality) override;
    Result SaveCameraSettings() override;
    Result RestoreCameraSettings() override;
    Result HalfPressShutter(bool pressed) override;

    std::string model = "Canon 550D";
    std::atomic<int> settingsWritten{0};
    int lastSettings[4] = {};
    std::atomic<int> saves{0};
    std::atomic<int> restores{0};
    std::atomic<int> halfPresses{0};  // presses and releases alike
    std::atomic<int> offUiThread{0};  // calls made off the thread that built it
    std::string lastPicturePath;
    std::thread::id uiThread = std::this_thread::get_id();
};
CFakeCamera& FakeCamera();

// A GstDeviceProvider of class "Video/Source" registered from the test, so
// that the capture graph finds these devices through GstDeviceMonitor like
// any other; every other video provider is ranked out of the monitor's view.
class CFakeVideoProvider {
  public:
    // Registers the provider (once) and presents `devices`, in this order.
    static void Present(const std::vector<FakeDeviceSpec>& devices);
    static void Unplug(const std::string& name);
    static void Plug(const FakeDeviceSpec& device);
    // How many elements were made for the device.
    static int OpenCount(const std::string& name);
    // Stills or moves the picture of the device's newest element.
    static void Freeze(const std::string& name, bool frozen);
};

// The V4L2 node a fake device path stands for: its inputs, which are routed,
// and which of them show no picture (routing one freezes the device).
struct FakeNodeState {
    std::string device;  // the fake device behind the node
    std::vector<CVideoInputInfo> inputs;
    std::vector<bool> dead;
    std::vector<int> selected;
    int resets = 0;
};
std::shared_ptr<FakeNodeState> AddFakeNode(const std::string& path, const std::string& device,
                                           std::vector<CVideoInputInfo> inputs);
DeviceNodeOpener FakeNodeOpener();

// The devices of the issue: a webcam, an analog card with three inputs (one
// a tuner), a DV camcorder and an HD card.
FakeDeviceSpec FakeWebcam();
FakeDeviceSpec FakeAnalogCard();
FakeDeviceSpec FakeDvCamera();
FakeDeviceSpec FakeHdCard();
FakeDeviceSpec FakeCameraDevice();

}  // namespace kolvane::test
