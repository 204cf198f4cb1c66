#pragma once

#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filters/zantho/IZantho.h"

namespace kolvane::test {

using Bytes = std::vector<std::uint8_t>;

// A zantho element in a GstHarness with its own bus, so that its element
// messages can be read back.
class ZanthoHarness {
  public:
    ZanthoHarness();
    ~ZanthoHarness();
    ZanthoHarness(const ZanthoHarness&) = delete;
    ZanthoHarness& operator=(const ZanthoHarness&) = delete;

    GstElement* Element() const { return harness_->element; }
    IZantho* Zantho() const { return QueryZantho(Element()); }

    // Sets the input caps: "YUY2" or "BGR" at width x height.
    void SetInput(const char* format, int width, int height);
    // Frame size of the current input caps (GStreamer's default strides).
    std::size_t FrameSize() const { return GST_VIDEO_INFO_SIZE(&info_); }
    int Stride() const { return GST_VIDEO_INFO_PLANE_STRIDE(&info_, 0); }

    GstFlowReturn Push(const Bytes& frame);
    // The next output frame, or an empty vector when none came out.
    Bytes Pull();
    guint Received() const { return gst_harness_buffers_received(harness_); }

    // The "code" fields of the element messages posted since the last call.
    std::vector<int> TakeCodes();

  private:
    GstHarness* harness_ = nullptr;
    GstBus* bus_ = nullptr;
    GstVideoInfo info_;
};

// A YUY2 frame of GStreamer's layout in which every byte is `value`.
Bytes Yuy2Frame(int width, int height, std::uint8_t value);

}  // namespace kolvane::test
