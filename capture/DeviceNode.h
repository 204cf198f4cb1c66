#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

namespace kolvane {

// One input of a capture card (composite, S-Video, tuner, ...).
struct CVideoInputInfo {
    QString name;
    bool tuner = false;
};

// The device node behind a capture source: its inputs, which one is routed,
// and its own picture controls. The capture graph routes inputs and resets
// the controls through it.
class IDeviceNode {
  public:
    virtual ~IDeviceNode() = default;
    virtual std::vector<CVideoInputInfo> Inputs() = 0;
    // 0 when routed; EBUSY when the driver refuses while streaming; another
    // errno value when the input cannot be routed at all.
    virtual int SelectInput(int index) = 0;
    // Puts the device's own brightness, contrast, hue, saturation,
    // sharpness, gamma, colour, white balance, backlight compensation and
    // gain at their defaults (automatic where the device has an automatic
    // mode), so that picture adjustment happens in our own element alone.
    virtual void ResetControls() = 0;
};

// Opens the node of a device path; null when it cannot be opened.
using DeviceNodeOpener = std::function<std::unique_ptr<IDeviceNode>(const QString& path)>;

// The V4L2 node at `path` (VIDIOC_ENUMINPUT, VIDIOC_S_INPUT, the controls).
std::unique_ptr<IDeviceNode> OpenV4l2Node(const QString& path);

}  // namespace kolvane
