#pragma once

#include <gst/gst.h>

#include <memory>

namespace kolvane {

// Owning handles for GStreamer and GLib objects: released once, never copied.
struct GstObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr) gst_object_unref(object);
    }
};
struct GstCapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps != nullptr) gst_caps_unref(caps);
    }
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const {
        if (message != nullptr) gst_message_unref(message);
    }
};
struct GstBufferUnref {
    void operator()(GstBuffer* buffer) const {
        if (buffer != nullptr) gst_buffer_unref(buffer);
    }
};
struct GstSampleUnref {
    void operator()(GstSample* sample) const {
        if (sample != nullptr) gst_sample_unref(sample);
    }
};
struct GErrorFree {
    void operator()(GError* error) const {
        if (error != nullptr) g_error_free(error);
    }
};

template <typename T>
using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;
using GstElementPtr = GstObjectPtr<GstElement>;
using GstBusPtr = GstObjectPtr<GstBus>;
using GstPadPtr = GstObjectPtr<GstPad>;
using GstCapsPtr = std::unique_ptr<GstCaps, GstCapsUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;
using GstBufferPtr = std::unique_ptr<GstBuffer, GstBufferUnref>;
using GstSamplePtr = std::unique_ptr<GstSample, GstSampleUnref>;
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

}  // namespace kolvane
