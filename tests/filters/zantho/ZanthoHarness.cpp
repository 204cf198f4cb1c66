#include "tests/filters/zantho/ZanthoHarness.h"

#include <gtest/gtest.h>

#include <cstring>

#include "filters/zantho/ZanthoPixels.h"

namespace kolvane::test {

ZanthoHarness::ZanthoHarness() {
    harness_ = gst_harness_new("zantho");
    bus_ = gst_bus_new();
    gst_element_set_bus(harness_->element, bus_);
    gst_video_info_init(&info_);
}

ZanthoHarness::~ZanthoHarness() {
    gst_element_set_bus(harness_->element, nullptr);
    gst_harness_teardown(harness_);
    gst_object_unref(bus_);
}

void ZanthoHarness::SetInput(const char* format, int width, int height) {
    const std::string caps = std::string("video/x-raw,format=") + format +
                             ",width=" + std::to_string(width) +
                             ",height=" + std::to_string(height) + ",framerate=30/1";
    gst_video_info_set_format(&info_, gst_video_format_from_string(format),
                              static_cast<guint>(width), static_cast<guint>(height));
    gst_harness_set_src_caps_str(harness_, caps.c_str());
}

GstFlowReturn ZanthoHarness::Push(const Bytes& frame) {
    // Exactly the frame's bytes, so that reading past them is caught.
    GstBuffer* buffer = gst_buffer_new_memdup(frame.data(), frame.size());
    return gst_harness_push(harness_, buffer);
}

Bytes ZanthoHarness::Pull() {
    GstBuffer* buffer = gst_harness_try_pull(harness_);
    if (buffer == nullptr) return {};
    Bytes bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    gst_buffer_unref(buffer);
    return bytes;
}

std::vector<int> ZanthoHarness::TakeCodes() {
    std::vector<int> codes;
    while (GstMessage* message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ELEMENT)) {
        const GstStructure* structure = gst_message_get_structure(message);
        if (gst_structure_has_name(structure, kZanthoMessageName)) {
            int code = 0;
            EXPECT_TRUE(gst_structure_get_int(structure, "code", &code));
            codes.push_back(code);
        }
        gst_message_unref(message);
    }
    return codes;
}

Bytes Yuy2Frame(int width, int height, std::uint8_t value) {
    return Bytes(
        static_cast<std::size_t>(zantho::Yuy2RowBytes(width)) * static_cast<std::size_t>(height),
        value);
}

}  // namespace kolvane::test
