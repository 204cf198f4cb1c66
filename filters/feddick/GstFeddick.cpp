/**
 * SECTION:element-feddick
 *
 * The movie source: a "video" and an "audio" source pad that push the frames
 * and the sound a program puts into the element, one frame at a time, with
 * time stamps from a frame counter. Every put waits only while the previous
 * frame of its pad has not been taken yet, so the program runs at the speed
 * of the encoders.
 *
 * Unconfigured, it plays a test signal: the frame number in large white
 * digits on black (768 x 576 BGR at 25 frames per second) and a frame-long
 * 1 kHz beep once a second (48 kHz 16-bit stereo).
 *
 *   gst-launch-1.0 feddick name=f f.video ! videoconvert ! autovideosink \
 *       f.audio ! audioconvert ! autoaudiosink
 *
 * Other programs set "video-caps" (BGR, BGRx or I420) and "audio-caps" (S16LE or U8) while
 * the element is stopped, then emit "put-video-frame" and "put-audio-frame"
 * with buffers of the frame sizes, and "end-of-stream" at the end. Programs
 * in C++ reach the same through IFeddick (the "ifeddick" property, see
 * IFeddick.h).
 */

#include "filters/feddick/GstFeddick.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include "filters/feddick/FeddickSource.h"
#include "filters/feddick/IFeddick.h"

GST_DEBUG_CATEGORY(gst_feddick_debug);
#define GST_CAT_DEFAULT gst_feddick_debug

namespace {

using kolvane::FeddickAudioFormat;
using kolvane::FeddickVideoFormat;
using kolvane::kOk;
using kolvane::Result;
using kolvane::feddick::CFeddick;
using kolvane::feddick::CStream;
using kolvane::feddick::kUnitsPerSecond;
using kolvane::feddick::StreamKind;

enum {
    PROP_0,
    PROP_VIDEO_CAPS,
    PROP_AUDIO_CAPS,
    PROP_TEST_SIGNAL,
    PROP_IFEDDICK,
};

enum {
    SIGNAL_PUT_VIDEO_FRAME,
    SIGNAL_PUT_AUDIO_FRAME,
    SIGNAL_END_OF_STREAM,
    LAST_SIGNAL,
};

GstStaticPadTemplate video_template =
    GST_STATIC_PAD_TEMPLATE("video", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ BGR, BGRx, I420 }")));

GstStaticPadTemplate audio_template =
    GST_STATIC_PAD_TEMPLATE("audio", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) { S16LE, U8 }, "
                                            "layout = (string) interleaved, "
                                            "rate = (int) [ 1000, 192000 ], "
                                            "channels = (int) [ 1, 8 ]"));

guint feddick_signals[LAST_SIGNAL] = {};

}  // namespace

struct _GstFeddick {
    GstElement parent;
    CFeddick* feddick;
};

G_DEFINE_TYPE(GstFeddick, gst_feddick, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(feddick, "feddick", GST_RANK_NONE, GST_TYPE_FEDDICK)

namespace {

CStream& StreamOf(GstPad* pad) {
    return *static_cast<CStream*>(gst_pad_get_element_private(pad));
}

gboolean ActivateMode(GstPad* pad, GstObject* /*parent*/, GstPadMode mode, gboolean active) {
    if (mode != GST_PAD_MODE_PUSH) return FALSE;
    CStream& stream = StreamOf(pad);
    return stream.owner->Activate(stream, active != FALSE);
}

gboolean SourceQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
    CStream& stream = StreamOf(pad);
    switch (GST_QUERY_TYPE(query)) {
        case GST_QUERY_CAPS: {
            GstCaps* filter = nullptr;
            gst_query_parse_caps(query, &filter);
            GstCaps* caps = stream.owner->CurrentCaps(stream.kind);
            if (filter != nullptr) {
                GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
                gst_caps_unref(caps);
                caps = both;
            }
            gst_query_set_caps_result(query, caps);
            gst_caps_unref(caps);
            return TRUE;
        }
        case GST_QUERY_ACCEPT_CAPS: {
            GstCaps* offered = nullptr;
            gst_query_parse_accept_caps(query, &offered);
            GstCaps* caps = stream.owner->CurrentCaps(stream.kind);
            gst_query_set_accept_caps_result(query, gst_caps_is_subset(offered, caps));
            gst_caps_unref(caps);
            return TRUE;
        }
        case GST_QUERY_LATENCY:
            gst_query_set_latency(query, FALSE, 0, GST_CLOCK_TIME_NONE);
            return TRUE;
        default:
            return gst_pad_query_default(pad, parent, query);
    }
}

GstPad* MakeSourcePad(GstFeddick* self, GstStaticPadTemplate* pad_template, CStream& stream) {
    GstPad* pad = gst_pad_new_from_static_template(pad_template, pad_template->name_template);
    gst_pad_set_element_private(pad, &stream);
    gst_pad_set_activatemode_function(pad, ActivateMode);
    gst_pad_set_query_function(pad, SourceQuery);
    gst_pad_use_fixed_caps(pad);
    stream.pad = pad;
    gst_element_add_pad(GST_ELEMENT(self), pad);
    return pad;
}

GstFlowReturn FlowOf(Result result) {
    return result == kOk ? GST_FLOW_OK : GST_FLOW_ERROR;
}

// Action signals: the buffer stays the caller's.
GstFlowReturn PutVideoFrameAction(GstFeddick* self, GstBuffer* frame) {
    if (frame == nullptr) return GST_FLOW_ERROR;
    return FlowOf(self->feddick->PutVideoFrame(gst_buffer_ref(frame)));
}

GstFlowReturn PutAudioFrameAction(GstFeddick* self, GstBuffer* frame) {
    if (frame == nullptr) return GST_FLOW_ERROR;
    return FlowOf(self->feddick->PutAudioFrame(gst_buffer_ref(frame)));
}

GstFlowReturn EndOfStreamAction(GstFeddick* self) {
    return FlowOf(self->feddick->SendEndOfStream());
}

void SetVideoCaps(GstFeddick* self, const GstCaps* caps) {
    GstVideoInfo info;
    if (caps == nullptr || !gst_video_info_from_caps(&info, caps) ||
        (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR &&
         GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx &&
         GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420) ||
        GST_VIDEO_INFO_FPS_N(&info) <= 0) {
        GST_WARNING_OBJECT(self, "video-caps must be fixed BGR, BGRx or I420 with a frame rate");
        return;
    }
    FeddickVideoFormat format;
    format.width = GST_VIDEO_INFO_WIDTH(&info);
    format.height = GST_VIDEO_INFO_HEIGHT(&info);
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
        case GST_VIDEO_FORMAT_BGRx:
            format.pixels = kolvane::FeddickPixels::kBgrx32;
            break;
        case GST_VIDEO_FORMAT_I420:
            format.pixels = kolvane::FeddickPixels::kI420;
            break;
        default:
            format.pixels = kolvane::FeddickPixels::kBgr24;
            break;
    }
    format.averageTimePerFrame = static_cast<std::int64_t>(gst_util_uint64_scale_int(
        kUnitsPerSecond, GST_VIDEO_INFO_FPS_D(&info), GST_VIDEO_INFO_FPS_N(&info)));
    if (self->feddick->SetVideoFormat(format) != kOk)
        GST_WARNING_OBJECT(self, "video-caps refused (out of range, or streaming)");
}

void SetAudioCaps(GstFeddick* self, const GstCaps* caps) {
    GstAudioInfo info;
    if (caps == nullptr || !gst_audio_info_from_caps(&info, caps) ||
        (GST_AUDIO_INFO_FORMAT(&info) != GST_AUDIO_FORMAT_S16LE &&
         GST_AUDIO_INFO_FORMAT(&info) != GST_AUDIO_FORMAT_U8)) {
        GST_WARNING_OBJECT(self, "audio-caps must be fixed S16LE or U8");
        return;
    }
    FeddickAudioFormat format;
    format.channels = GST_AUDIO_INFO_CHANNELS(&info);
    format.samplesPerSecond = GST_AUDIO_INFO_RATE(&info);
    format.bitsPerSample = GST_AUDIO_INFO_WIDTH(&info);
    if (self->feddick->SetAudioFormat(format) != kOk)
        GST_WARNING_OBJECT(self, "audio-caps refused (out of range, or streaming)");
}

}  // namespace

static void gst_feddick_set_property(GObject* object, guint prop_id, const GValue* value,
                                     GParamSpec* pspec) {
    GstFeddick* self = GST_FEDDICK(object);
    switch (prop_id) {
        case PROP_VIDEO_CAPS:
            SetVideoCaps(self, gst_value_get_caps(value));
            break;
        case PROP_AUDIO_CAPS:
            SetAudioCaps(self, gst_value_get_caps(value));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
            break;
    }
}

static void gst_feddick_get_property(GObject* object, guint prop_id, GValue* value,
                                     GParamSpec* pspec) {
    GstFeddick* self = GST_FEDDICK(object);
    switch (prop_id) {
        case PROP_VIDEO_CAPS:
            g_value_take_boxed(value, self->feddick->CurrentCaps(StreamKind::kVideo));
            break;
        case PROP_AUDIO_CAPS:
            g_value_take_boxed(value, self->feddick->CurrentCaps(StreamKind::kAudio));
            break;
        case PROP_TEST_SIGNAL:
            g_value_set_boolean(value, self->feddick->TestSignal());
            break;
        case PROP_IFEDDICK:
            g_value_set_pointer(value, static_cast<kolvane::IFeddick*>(self->feddick));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop_id, pspec);
            break;
    }
}

static GstStateChangeReturn gst_feddick_change_state(GstElement* element,
                                                     GstStateChange transition) {
    // Both pads start their streams in one group.
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) GST_FEDDICK(element)->feddick->NewGroup();
    return GST_ELEMENT_CLASS(gst_feddick_parent_class)->change_state(element, transition);
}

static void gst_feddick_finalize(GObject* object) {
    GstFeddick* self = GST_FEDDICK(object);
    delete self->feddick;
    self->feddick = nullptr;
    G_OBJECT_CLASS(gst_feddick_parent_class)->finalize(object);
}

static void gst_feddick_class_init(GstFeddickClass* klass) {
    GObjectClass* gobject_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);

    gobject_class->set_property = gst_feddick_set_property;
    gobject_class->get_property = gst_feddick_get_property;
    gobject_class->finalize = gst_feddick_finalize;

    const auto readWrite = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                    GST_PARAM_MUTABLE_READY);
    const auto readOnly = static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        gobject_class, PROP_VIDEO_CAPS,
        g_param_spec_boxed(
            "video-caps", "Video caps",
            "Format of the video frames (fixed BGR, BGRx or I420 with a frame rate); "
            "set while stopped",
            GST_TYPE_CAPS, readWrite));
    g_object_class_install_property(
        gobject_class, PROP_AUDIO_CAPS,
        g_param_spec_boxed("audio-caps", "Audio caps",
                           "Format of the sound (fixed S16LE or U8); set while stopped, after "
                           "video-caps",
                           GST_TYPE_CAPS, readWrite));
    g_object_class_install_property(
        gobject_class, PROP_TEST_SIGNAL,
        g_param_spec_boolean("test-signal", "Test signal",
                             "Plays the test signal: no format was set yet", TRUE, readOnly));
    g_object_class_install_property(
        gobject_class, PROP_IFEDDICK,
        g_param_spec_pointer("ifeddick", "IFeddick",
                             "The element's C++ interface (kolvane::IFeddick*)", readOnly));

    const auto action = static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION);
    feddick_signals[SIGNAL_PUT_VIDEO_FRAME] = g_signal_new_class_handler(
        "put-video-frame", G_TYPE_FROM_CLASS(klass), action, G_CALLBACK(PutVideoFrameAction),
        nullptr, nullptr, nullptr, GST_TYPE_FLOW_RETURN, 1, GST_TYPE_BUFFER);
    feddick_signals[SIGNAL_PUT_AUDIO_FRAME] = g_signal_new_class_handler(
        "put-audio-frame", G_TYPE_FROM_CLASS(klass), action, G_CALLBACK(PutAudioFrameAction),
        nullptr, nullptr, nullptr, GST_TYPE_FLOW_RETURN, 1, GST_TYPE_BUFFER);
    feddick_signals[SIGNAL_END_OF_STREAM] = g_signal_new_class_handler(
        "end-of-stream", G_TYPE_FROM_CLASS(klass), action, G_CALLBACK(EndOfStreamAction), nullptr,
        nullptr, nullptr, GST_TYPE_FLOW_RETURN, 0, G_TYPE_NONE);

    element_class->change_state = gst_feddick_change_state;
    gst_element_class_add_static_pad_template(element_class, &video_template);
    gst_element_class_add_static_pad_template(element_class, &audio_template);
    gst_element_class_set_static_metadata(
        element_class, "Brevanta Feddick", "Source/Video/Audio",
        "Pushes the movie frames and sound that a program puts into it", "Brevanta");

    GST_DEBUG_CATEGORY_INIT(gst_feddick_debug, "feddick", 0, "Kolvane movie source");
}

static void gst_feddick_init(GstFeddick* self) {
    self->feddick = new CFeddick(GST_ELEMENT(self));
    MakeSourcePad(self, &video_template, self->feddick->Video());
    MakeSourcePad(self, &audio_template, self->feddick->Audio());
    GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_SOURCE);
}
