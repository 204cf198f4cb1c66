#include "capture/DeviceNode.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFile>

namespace kolvane {
namespace {

int RetryIoctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

class CV4l2Node final : public IDeviceNode {
  public:
    explicit CV4l2Node(int fd) : fd_(fd) {}
    ~CV4l2Node() override { close(fd_); }
    CV4l2Node(const CV4l2Node&) = delete;
    CV4l2Node& operator=(const CV4l2Node&) = delete;

    std::vector<CVideoInputInfo> Inputs() override {
        std::vector<CVideoInputInfo> inputs;
        for (__u32 index = 0; index < 64; ++index) {
            v4l2_input input{};
            input.index = index;
            if (RetryIoctl(fd_, VIDIOC_ENUMINPUT, &input) != 0) break;
            CVideoInputInfo info;
            info.name = QString::fromUtf8(
                reinterpret_cast<const char*>(input.name),
                static_cast<int>(
                    strnlen(reinterpret_cast<const char*>(input.name), sizeof(input.name))));
            info.tuner = input.type == V4L2_INPUT_TYPE_TUNER;
            inputs.push_back(info);
        }
        return inputs;
    }

    int SelectInput(int index) override {
        int value = index;
        if (RetryIoctl(fd_, VIDIOC_S_INPUT, &value) == 0) return 0;
        return errno != 0 ? errno : EIO;
    }

    void ResetControls() override {
        // Automatic modes first, so that the manual value they govern is
        // not refused as inactive.
        static constexpr __u32 kControls[] = {
            V4L2_CID_AUTO_WHITE_BALANCE,
            V4L2_CID_AUTOGAIN,
            V4L2_CID_BRIGHTNESS,
            V4L2_CID_CONTRAST,
            V4L2_CID_HUE,
            V4L2_CID_SATURATION,
            V4L2_CID_SHARPNESS,
            V4L2_CID_GAMMA,
            V4L2_CID_COLOR_KILLER,
            V4L2_CID_WHITE_BALANCE_TEMPERATURE,
            V4L2_CID_BACKLIGHT_COMPENSATION,
            V4L2_CID_GAIN,
        };
        for (__u32 id : kControls) {
            v4l2_queryctrl query{};
            query.id = id;
            if (RetryIoctl(fd_, VIDIOC_QUERYCTRL, &query) != 0) continue;
            if ((query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY |
                                V4L2_CTRL_FLAG_INACTIVE)) != 0) {
                continue;
            }
            v4l2_control control{};
            control.id = id;
            control.value = query.default_value;
            RetryIoctl(fd_, VIDIOC_S_CTRL, &control);
        }
    }

  private:
    int fd_;
};

}  // namespace

std::unique_ptr<IDeviceNode> OpenV4l2Node(const QString& path) {
    if (path.isEmpty()) return nullptr;
    const int fd = open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    v4l2_capability capability{};
    if (RetryIoctl(fd, VIDIOC_QUERYCAP, &capability) != 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<CV4l2Node>(fd);
}

}  // namespace kolvane
