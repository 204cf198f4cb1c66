/**
 * SECTION:element-zantho
 *
 * Live video adjustment for the grabber: converts the picture to YUY2,
 * adjusts levels and colour, mirrors or flips it, tells the bus when the
 * picture freezes, comes alive, starts moving or becomes still, and keeps the
 * last frames so that a grab can average them against noise.
 *
 * Frames are dropped while the picture is not live (before it first changes,
 * and after nine identical frames in a row). Bus messages are element
 * messages named "zantho" with an int "code" (0x8001 frozen, 0x8002 live,
 * 0x8003 motion, 0x8004 still) and a string "event".
 *
 *   gst-launch-1.0 videotestsrc pattern=ball ! video/x-raw,format=YUY2,width=640,height=480 !
 *       zantho contrast=1.5 horizontal=-1 ! videoconvert ! autovideosink
 *
 * The averaged frame comes out of the "get-frame" action signal as a
 * GstSample in BGR; programs in C++ reach the same through IZantho (the
 * "izantho" property, see IZantho.h).
 */

#include "filters/zantho/GstZantho.h"

#include <gst/video/video.h>

#include <new>
#include <utility>

#include "filters/zantho/IZantho.h"
#include "filters/zantho/ZanthoEngine.h"

GST_DEBUG_CATEGORY_STATIC(gst_zantho_debug);
#define GST_CAT_DEFAULT gst_zantho_debug

namespace {

using kolvane::kFail;
using kolvane::kOk;
using kolvane::Result;
using kolvane::ZanthoFrameSize;
using kolvane::zantho::CZantho;
using kolvane::zantho::FrameResult;
using kolvane::zantho::InputFormat;

constexpr float kDefaultWhiteness = 0.0f;
constexpr float kDefaultBrightness = 0.0f;
constexpr float kDefaultContrast = 1.0f;
constexpr float kDefaultColor = 1.0f;
constexpr int kDefaultOption = 0;
constexpr int kDefaultDenoise = 1;
constexpr gboolean kDefaultMotionDetect = FALSE;
constexpr float kDefaultHorizontal = 1.0f;
constexpr float kDefaultVertical = 1.0f;

enum {
    PROP_0,
    PROP_WHITENESS,
    PROP_BRIGHTNESS,
    PROP_CONTRAST,
    PROP_COLOR,
    PROP_OPTION,
    PROP_DENOISE,
    PROP_MOTION_DETECT,
    PROP_HORIZONTAL,
    PROP_VERTICAL,
    PROP_LIVE,
    PROP_STILL,
    PROP_IZANTHO,
};

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ YUY2, BGR }")));

GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("YUY2")));

// Holds the element's object lock, the one lock of the adjustment state.
class CObjectLock {
  public:
    explicit CObjectLock(gpointer object) : object_(GST_OBJECT(object)) {
        GST_OBJECT_LOCK(object_);
    }
    ~CObjectLock() { GST_OBJECT_UNLOCK(object_); }
    CObjectLock(const CObjectLock&) = delete;
    CObjectLock& operator=(const CObjectLock&) = delete;

  private:
    GstObject* object_;
};

// The element's IZantho: each call runs the engine under the object lock.
// Settings that decide passthrough are picked up before the next frame.
class CZanthoBinding final : public kolvane::IZantho {
  public:
    explicit CZanthoBinding(GstZantho* owner) : owner_(owner) {}

    Result SetWhiteness(float whiteness) override {
        CObjectLock lock(owner_);
        engine_.SetWhiteness(whiteness);
        return kOk;
    }
    Result SetBrightness(float brightness) override {
        CObjectLock lock(owner_);
        engine_.SetBrightness(brightness);
        return kOk;
    }
    Result SetContrast(float contrast) override {
        CObjectLock lock(owner_);
        engine_.SetContrast(contrast);
        return kOk;
    }
    Result SetColor(float color) override {
        CObjectLock lock(owner_);
        engine_.SetColor(color);
        return kOk;
    }
    Result SetOption(int option) override {
        CObjectLock lock(owner_);
        engine_.SetOption(option);
        return kOk;
    }
    Result GetFrame(std::uint8_t* destination, std::size_t capacity,
                    ZanthoFrameSize* size) override {
        try {
            CObjectLock lock(owner_);
            const ZanthoFrameSize current = engine_.CurrentFrameSize();
            return engine_.GetFrame(destination, static_cast<std::ptrdiff_t>(current.width) * 3,
                                    capacity, size);
        } catch (const std::bad_alloc&) {
            return kolvane::msg::kNotEnoughMemory;
        }
    }
    Result GetFrameSize(ZanthoFrameSize* size) override {
        if (size == nullptr) return kFail;
        CObjectLock lock(owner_);
        *size = engine_.InputSize();
        return kOk;
    }
    int IsStill() override {
        CObjectLock lock(owner_);
        return engine_.IsStill() ? 1 : 0;
    }
    Result ReconnectOutput() override;
    Result SetDenoise(int frames) override {
        CObjectLock lock(owner_);
        return engine_.SetDenoise(frames) ? kOk : kFail;
    }
    Result SetMotionDetect(int on) override {
        CObjectLock lock(owner_);
        engine_.SetMotionDetect(on != 0);
        return kOk;
    }
    Result SetHorizontal(float horizontal) override {
        CObjectLock lock(owner_);
        engine_.SetHorizontal(horizontal);
        return kOk;
    }
    Result SetVertical(float vertical) override {
        CObjectLock lock(owner_);
        engine_.SetVertical(vertical);
        return kOk;
    }

    // Guarded by the owner's object lock.
    CZantho& Engine() { return engine_; }

  private:
    GstZantho* owner_;
    CZantho engine_;
};

const char* EventName(int code) {
    switch (code) {
        case kolvane::kZanthoPictureFroze:
            return "frozen";
        case kolvane::kZanthoPictureLive:
            return "live";
        case kolvane::kZanthoMotionStarted:
            return "motion";
        case kolvane::kZanthoSceneStill:
            return "still";
        default:
            return "unknown";
    }
}

}  // namespace

struct _GstZantho {
    GstVideoFilter parent;
    CZanthoBinding* binding;
};

G_DEFINE_TYPE(GstZantho, gst_zantho, GST_TYPE_VIDEO_FILTER)
GST_ELEMENT_REGISTER_DEFINE(zantho, "zantho", GST_RANK_NONE, GST_TYPE_ZANTHO)

namespace {

Result CZanthoBinding::ReconnectOutput() {
    GstBaseTransform* trans = GST_BASE_TRANSFORM(owner_);
    GstPad* src = GST_BASE_TRANSFORM_SRC_PAD(trans);
    if (!gst_pad_is_linked(src)) return kFail;
    GstCaps* caps = gst_pad_get_current_caps(src);
    if (caps == nullptr) return kFail;
    const bool accepted = gst_pad_peer_query_accept_caps(src, caps);
    gst_caps_unref(caps);
    if (!accepted) return kFail;
    gst_base_transform_reconfigure_src(trans);
    return kOk;
}

void PostEvents(GstZantho* self, const FrameResult& result) {
    for (int i = 0; i < result.eventCount; ++i) {
        const int code = result.events[static_cast<std::size_t>(i)];
        GST_DEBUG_OBJECT(self, "event 0x%04x %s", code, EventName(code));
        GstStructure* structure =
            gst_structure_new(kolvane::kZanthoMessageName, "code", G_TYPE_INT, code, "event",
                              G_TYPE_STRING, EventName(code), nullptr);
        gst_element_post_message(GST_ELEMENT(self),
                                 gst_message_new_element(GST_OBJECT(self), structure));
    }
}

// Maps the input frame once more, which keeps its buffer alive until the
// engine lets it go: for N = 1 the engine refers to it instead of copying.
// Null when the mapping fails; the engine then copies.
kolvane::zantho::FrameHold HoldFrame(GstVideoFrame* in) {
    auto* held = new GstVideoFrame;
    if (!gst_video_frame_map(held, &in->info, in->buffer, GST_MAP_READ)) {
        delete held;
        return nullptr;
    }
    return kolvane::zantho::FrameHold(held, [](const void* frame) {
        auto* mapped = static_cast<GstVideoFrame*>(const_cast<void*>(frame));
        gst_video_frame_unmap(mapped);
        delete mapped;
    });
}

// Watches a frame and writes it to `out` (null in passthrough). The frame is
// held in either case: in passthrough the buffer goes on downstream
// unchanged, and a reference for reading costs less than copying it for the
// history. Events are posted after the lock is released; a picture that is
// not live is dropped.
GstFlowReturn ProcessFrame(GstZantho* self, GstVideoFrame* in, GstVideoFrame* out) {
    FrameResult result;
    try {
        kolvane::zantho::FrameHold hold = HoldFrame(in);
        const GstVideoFrame* source =
            hold != nullptr ? static_cast<const GstVideoFrame*>(hold.get()) : in;
        CObjectLock lock(self);
        result = self->binding->Engine().ProcessFrame(
            static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(source, 0)),
            GST_VIDEO_FRAME_PLANE_STRIDE(source, 0),
            out != nullptr ? static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 0))
                           : nullptr,
            out != nullptr ? GST_VIDEO_FRAME_PLANE_STRIDE(out, 0) : 0, std::move(hold));
    } catch (const std::bad_alloc&) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Not enough memory for the video history."),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    PostEvents(self, result);
    return result.live ? GST_FLOW_OK : GST_BASE_TRANSFORM_FLOW_DROPPED;
}

GstCaps* TransformCaps(GstBaseTransform* /*trans*/, GstPadDirection direction, GstCaps* caps,
                       GstCaps* filter) {
    GstCaps* result = gst_caps_new_empty();
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        GstStructure* structure = gst_structure_copy(gst_caps_get_structure(caps, i));
        if (direction == GST_PAD_SINK) {
            gst_structure_set(structure, "format", G_TYPE_STRING, "YUY2", nullptr);
        } else {
            GValue formats = G_VALUE_INIT;
            GValue format = G_VALUE_INIT;
            gst_value_list_init(&formats, 2);
            g_value_init(&format, G_TYPE_STRING);
            g_value_set_static_string(&format, "YUY2");
            gst_value_list_append_value(&formats, &format);
            g_value_set_static_string(&format, "BGR");
            gst_value_list_append_value(&formats, &format);
            gst_structure_take_value(structure, "format", &formats);
            g_value_unset(&format);
        }
        // Colorimetry belongs to the format, which may change here.
        gst_structure_remove_fields(structure, "colorimetry", "chroma-site", nullptr);
        GstCapsFeatures* features = gst_caps_get_features(caps, i);
        result = gst_caps_merge_structure_full(
            result, structure, features != nullptr ? gst_caps_features_copy(features) : nullptr);
    }
    if (filter != nullptr) {
        GstCaps* intersection = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(result);
        result = intersection;
    }
    return result;
}

// Settings may have made the frames pass unchanged, or no longer: switch
// before this frame and let the base class renegotiate its buffers.
void BeforeTransform(GstBaseTransform* trans, GstBuffer* /*buffer*/) {
    GstZantho* self = GST_ZANTHO(trans);
    bool wanted = false;
    {
        CObjectLock lock(self);
        wanted = self->binding->Engine().WantsPassthrough();
    }
    if (wanted != static_cast<bool>(gst_base_transform_is_passthrough(trans))) {
        GST_DEBUG_OBJECT(self, "passthrough %d", wanted);
        gst_base_transform_set_passthrough(trans, wanted);
        gst_base_transform_reconfigure_src(trans);
    }
}

// A stream that starts again, even with the same format, starts not live:
// its first changing frame is announced again.
gboolean Stop(GstBaseTransform* trans) {
    GstZantho* self = GST_ZANTHO(trans);
    CObjectLock lock(self);
    self->binding->Engine().SetInputFormat(InputFormat::kNone, 0, 0);
    return TRUE;
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps* /*incaps*/, GstVideoInfo* in_info,
                 GstCaps* /*outcaps*/, GstVideoInfo* out_info) {
    GstZantho* self = GST_ZANTHO(filter);
    InputFormat format = InputFormat::kNone;
    switch (GST_VIDEO_INFO_FORMAT(in_info)) {
        case GST_VIDEO_FORMAT_YUY2:
            format = InputFormat::kYuy2;
            break;
        case GST_VIDEO_FORMAT_BGR:
            format = InputFormat::kBgr;
            break;
        default:
            return FALSE;
    }
    if (GST_VIDEO_INFO_FORMAT(out_info) != GST_VIDEO_FORMAT_YUY2 ||
        GST_VIDEO_INFO_WIDTH(in_info) != GST_VIDEO_INFO_WIDTH(out_info) ||
        GST_VIDEO_INFO_HEIGHT(in_info) != GST_VIDEO_INFO_HEIGHT(out_info)) {
        return FALSE;
    }
    bool passthrough = false;
    try {
        CObjectLock lock(self);
        CZantho& engine = self->binding->Engine();
        engine.SetInputFormat(format, GST_VIDEO_INFO_WIDTH(in_info),
                              GST_VIDEO_INFO_HEIGHT(in_info));
        passthrough = engine.WantsPassthrough();
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(filter), passthrough);
    return TRUE;
}

GstFlowReturn TransformFrame(GstVideoFilter* filter, GstVideoFrame* in, GstVideoFrame* out) {
    return ProcessFrame(GST_ZANTHO(filter), in, out);
}

// Called only in passthrough: the frame is watched but left as it is.
GstFlowReturn TransformFrameInPlace(GstVideoFilter* filter, GstVideoFrame* frame) {
    return ProcessFrame(GST_ZANTHO(filter), frame, nullptr);
}

// The "get-frame" action: the current frame as a BGR sample, or null.
GstSample* GetFrameSample(GstZantho* self) {
    GstBuffer* buffer = nullptr;
    GstVideoInfo info;
    {
        CObjectLock lock(self);
        CZantho& engine = self->binding->Engine();
        const ZanthoFrameSize size = engine.CurrentFrameSize();
        if (size.IsEmpty()) return nullptr;
        gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGR, static_cast<guint>(size.width),
                                  static_cast<guint>(size.height));
        buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        if (buffer == nullptr) return nullptr;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
            gst_buffer_unref(buffer);
            return nullptr;
        }
        Result result = kFail;
        try {
            result =
                engine.GetFrame(map.data, GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), map.size, nullptr);
        } catch (const std::bad_alloc&) {
            result = kFail;
        }
        gst_buffer_unmap(buffer, &map);
        if (result != kOk) {
            gst_buffer_unref(buffer);
            return nullptr;
        }
    }
    GstCaps* caps = gst_video_info_to_caps(&info);
    GstSample* sample = gst_sample_new(buffer, caps, nullptr, nullptr);
    gst_caps_unref(caps);
    gst_buffer_unref(buffer);
    return sample;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    CZanthoBinding* binding = GST_ZANTHO(object)->binding;
    switch (id) {
        case PROP_WHITENESS:
            binding->SetWhiteness(g_value_get_float(value));
            break;
        case PROP_BRIGHTNESS:
            binding->SetBrightness(g_value_get_float(value));
            break;
        case PROP_CONTRAST:
            binding->SetContrast(g_value_get_float(value));
            break;
        case PROP_COLOR:
            binding->SetColor(g_value_get_float(value));
            break;
        case PROP_OPTION:
            binding->SetOption(g_value_get_int(value));
            break;
        case PROP_DENOISE:
            binding->SetDenoise(g_value_get_int(value));
            break;
        case PROP_MOTION_DETECT:
            binding->SetMotionDetect(g_value_get_boolean(value));
            break;
        case PROP_HORIZONTAL:
            binding->SetHorizontal(g_value_get_float(value));
            break;
        case PROP_VERTICAL:
            binding->SetVertical(g_value_get_float(value));
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstZantho* self = GST_ZANTHO(object);
    if (id == PROP_IZANTHO) {
        g_value_set_pointer(value, static_cast<kolvane::IZantho*>(self->binding));
        return;
    }
    CObjectLock lock(self);
    const CZantho& engine = self->binding->Engine();
    switch (id) {
        case PROP_WHITENESS:
            g_value_set_float(value, engine.Whiteness());
            break;
        case PROP_BRIGHTNESS:
            g_value_set_float(value, engine.Brightness());
            break;
        case PROP_CONTRAST:
            g_value_set_float(value, engine.Contrast());
            break;
        case PROP_COLOR:
            g_value_set_float(value, engine.Color());
            break;
        case PROP_OPTION:
            g_value_set_int(value, engine.Option());
            break;
        case PROP_DENOISE:
            g_value_set_int(value, engine.Denoise());
            break;
        case PROP_MOTION_DETECT:
            g_value_set_boolean(value, engine.MotionDetect());
            break;
        case PROP_HORIZONTAL:
            g_value_set_float(value, engine.Horizontal());
            break;
        case PROP_VERTICAL:
            g_value_set_float(value, engine.Vertical());
            break;
        case PROP_LIVE:
            g_value_set_boolean(value, engine.IsLive());
            break;
        case PROP_STILL:
            g_value_set_boolean(value, engine.IsStill());
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
            break;
    }
}

void Finalize(GObject* object) {
    GstZantho* self = GST_ZANTHO(object);
    delete self->binding;
    self->binding = nullptr;
    G_OBJECT_CLASS(gst_zantho_parent_class)->finalize(object);
}

constexpr GParamFlags kMutable = static_cast<GParamFlags>(
    G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);
constexpr GParamFlags kReadOnly =
    static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);

void InstallProperties(GObjectClass* gobject_class) {
    g_object_class_install_property(
        gobject_class, PROP_WHITENESS,
        g_param_spec_float("whiteness", "Whiteness",
                           "Levels stretched so that the top 2 x whiteness saturate to white", 0.0f,
                           127.0f, kDefaultWhiteness, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_BRIGHTNESS,
        g_param_spec_float("brightness", "Brightness", "Added to the luma", -100.0f, 100.0f,
                           kDefaultBrightness, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_CONTRAST,
        g_param_spec_float("contrast", "Contrast", "Scales luma and chroma", 0.0f, 2.0f,
                           kDefaultContrast, kMutable));
    g_object_class_install_property(gobject_class, PROP_COLOR,
                                    g_param_spec_float("color", "Colour", "Colour saturation", 0.0f,
                                                       2.0f, kDefaultColor, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_OPTION,
        g_param_spec_int("option", "Option", "Kept for callers; no effect", G_MININT, G_MAXINT,
                         kDefaultOption, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_DENOISE,
        g_param_spec_int("denoise", "Denoise",
                         "Number of last frames averaged by get-frame (1, 2, 4, 8 or 16)", 1,
                         CZantho::kMaxDenoise, kDefaultDenoise, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_MOTION_DETECT,
        g_param_spec_boolean("motion-detect", "Motion detect",
                             "Report when the scene starts moving and when it becomes still",
                             kDefaultMotionDetect, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_HORIZONTAL,
        g_param_spec_float("horizontal", "Horizontal", "Any value other than 1 mirrors left-right",
                           -1.0f, 1.0f, kDefaultHorizontal, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_VERTICAL,
        g_param_spec_float("vertical", "Vertical", "Exactly -1 flips top-bottom", -1.0f, 1.0f,
                           kDefaultVertical, kMutable));
    g_object_class_install_property(
        gobject_class, PROP_LIVE,
        g_param_spec_boolean("live", "Live", "The picture changes (frames are shown)", FALSE,
                             kReadOnly));
    g_object_class_install_property(
        gobject_class, PROP_STILL,
        g_param_spec_boolean("still", "Still", "Motion detection last found the scene still", FALSE,
                             kReadOnly));
    g_object_class_install_property(
        gobject_class, PROP_IZANTHO,
        g_param_spec_pointer("izantho", "IZantho",
                             "The element's kolvane::IZantho, valid while the element lives",
                             kReadOnly));
}

}  // namespace

static void gst_zantho_class_init(GstZanthoClass* klass) {
    GObjectClass* gobject_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* trans_class = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* filter_class = GST_VIDEO_FILTER_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(gst_zantho_debug, "zantho", 0, "Live video adjustment");

    gobject_class->set_property = SetProperty;
    gobject_class->get_property = GetProperty;
    gobject_class->finalize = Finalize;
    InstallProperties(gobject_class);

    g_signal_new_class_handler("get-frame", G_TYPE_FROM_CLASS(klass),
                               static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
                               G_CALLBACK(GetFrameSample), nullptr, nullptr, nullptr,
                               GST_TYPE_SAMPLE, 0);

    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(
        element_class, "Brevanta Zantho", "Filter/Effect/Video",
        "Adjusts live video levels, mirrors and flips it, and reports frozen, live, moving and "
        "still pictures",
        "Brevanta");

    trans_class->transform_caps = TransformCaps;
    trans_class->before_transform = BeforeTransform;
    trans_class->stop = Stop;
    filter_class->set_info = SetInfo;
    filter_class->transform_frame = TransformFrame;
    filter_class->transform_frame_ip = TransformFrameInPlace;
}

static void gst_zantho_init(GstZantho* self) {
    self->binding = new CZanthoBinding(self);
    // Every frame must be watched, so none is skipped for lateness.
    gst_base_transform_set_qos_enabled(GST_BASE_TRANSFORM(self), FALSE);
}
