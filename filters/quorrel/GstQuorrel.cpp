/**
 * SECTION:element-quorrel
 *
 * The live view of a DSLR (any body libgphoto2 can preview and capture
 * with, or the simulated camera with KOLVANE_CAMERA=simulated) as a live
 * video source, and the camera's stills on request through IQuorrel.
 *
 * The caps are fixed to the size of the first live-view picture (1056 x 704
 * while no camera answers) and come decoded to YUY2 or BGR or as the
 * camera's own JPEG, as downstream prefers. Without a camera the element sends black
 * frames at 25 per second and opens the camera when it returns; a picture
 * of another size after a reconnect renegotiates when downstream accepts
 * the new size and is replaced by black otherwise.
 *
 *   gst-launch-1.0 quorrel ! jpegdec ! autovideosink
 *   gst-launch-1.0 quorrel ! videoconvert ! autovideosink
 *
 * Programs in C++ reach the camera through IQuorrel (the "iquorrel"
 * property, see IQuorrel.h).
 */

#include "filters/quorrel/GstQuorrel.h"

#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "filters/quorrel/CameraConnection.h"
#include "filters/quorrel/IQuorrel.h"
#include "filters/quorrel/JpegCodec.h"

GST_DEBUG_CATEGORY_STATIC(gst_quorrel_debug);
#define GST_CAT_DEFAULT gst_quorrel_debug

namespace {

using kolvane::kFail;
using kolvane::kOk;
using kolvane::Result;
using kolvane::quorrel::CCameraConnection;
using kolvane::quorrel::CJpegCodec;
using kolvane::quorrel::LiveViewStatus;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultWidth = 1056;
constexpr int kDefaultHeight = 704;
// Black frames while no camera answers, and the pace of repeated frames
// when the camera fails to deliver.
constexpr auto kFramePeriod = std::chrono::milliseconds(40);
// The first picture tells the size; a body just opened may need a moment.
constexpr int kFirstFrameAttempts = 2;
constexpr int kBlackJpegQuality = 50;

enum {
    PROP_0,
    PROP_IQUORREL,
    PROP_CAMERA_NAME,
};

GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(QUORREL_CAPS));

GstCaps* CapsOfSize(int width, int height) {
    // YUY2 pairs pixels: an odd width comes as BGR alone.
    GValue formats = G_VALUE_INIT;
    gst_value_list_init(&formats, 2);
    GValue format = G_VALUE_INIT;
    g_value_init(&format, G_TYPE_STRING);
    if (width % 2 == 0) {
        g_value_set_static_string(&format, "YUY2");
        gst_value_list_append_value(&formats, &format);
    }
    g_value_set_static_string(&format, "BGR");
    gst_value_list_append_value(&formats, &format);
    g_value_unset(&format);
    GstStructure* raw = gst_structure_new("video/x-raw", "width", G_TYPE_INT, width, "height",
                                          G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, 0, 1,
                                          "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    gst_structure_take_value(raw, "format", &formats);
    return gst_caps_new_full(
        raw,
        gst_structure_new("image/jpeg", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                          "framerate", GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio",
                          GST_TYPE_FRACTION, 1, 1, nullptr),
        nullptr);
}

class CQuorrelState;

}  // namespace

struct _GstQuorrel {
    GstPushSrc parent;
    CQuorrelState* state;
};

G_DEFINE_TYPE(GstQuorrel, gst_quorrel, GST_TYPE_PUSH_SRC)
GST_ELEMENT_REGISTER_DEFINE(quorrel, "quorrel", GST_RANK_NONE, GST_TYPE_QUORREL)

namespace {

// The element's IQuorrel and its streaming state. The camera connection
// exists from start to stop; IQuorrel calls hold a share of it, so stopping
// never frees it under a call in progress.
class CQuorrelState final : public kolvane::IQuorrel {
  public:
    explicit CQuorrelState(GstQuorrel* owner) : m_owner(owner) { gst_video_info_init(&m_info); }

    std::shared_ptr<CCameraConnection> Connection() {
        std::lock_guard lock(m_connectionLock);
        return m_connection;
    }

    Result GetCameraName(char* name, int capacity) override {
        if (name == nullptr || capacity <= 0) return kFail;
        name[0] = '\0';
        const auto connection = Connection();
        if (!connection) return kFail;
        const std::string product = connection->ProductName();
        if (product.empty()) return kFail;
        g_strlcpy(name, product.c_str(), static_cast<gsize>(capacity));
        return kOk;
    }
    Result TakePicture(const char* basePath, std::atomic<int>* progress) override {
        const auto connection = Connection();
        if (!connection || basePath == nullptr) return kFail;
        return connection->QueuePicture(basePath, progress);
    }
    Result SetCameraSettings(int whiteBalance, int iso, int aperture, int imageSize) override {
        const auto connection = Connection();
        return connection ? connection->SetSettings(whiteBalance, iso, aperture, imageSize) : kFail;
    }
    Result GetCameraSettings(int* whiteBalance, int* iso, int* aperture,
                             int* imageQuality) override {
        const auto connection = Connection();
        return connection ? connection->GetSettings(whiteBalance, iso, aperture, imageQuality)
                          : kFail;
    }
    Result SaveCameraSettings() override {
        const auto connection = Connection();
        return connection ? connection->SaveSettings() : kFail;
    }
    Result RestoreCameraSettings() override {
        const auto connection = Connection();
        return connection ? connection->RestoreSettings() : kFail;
    }
    Result HalfPressShutter(bool pressed) override {
        const auto connection = Connection();
        return connection ? connection->HalfPress(pressed) : kFail;
    }
    Result GetStillSize(int* width, int* height) override {
        if (width == nullptr || height == nullptr) return kFail;
        const auto connection = Connection();
        return connection && connection->LastStillSize(width, height) ? kOk : kFail;
    }

    bool Start();
    void Stop();
    GstCaps* Caps();
    bool SetCaps(GstCaps* caps);
    GstFlowReturn Create(GstBuffer** out);
    void Unlock();
    void UnlockStop();

  private:
    GstBuffer* FrameBuffer(const std::vector<std::uint8_t>& jpeg);
    GstBuffer* BlackBuffer();
    // Renegotiates to a new picture size; false when downstream refuses it.
    bool Resize(int width, int height);
    void ClearPool() {
        if (m_pool == nullptr) return;
        gst_buffer_pool_set_active(m_pool, FALSE);
        gst_object_unref(m_pool);
        m_pool = nullptr;
    }
    // Waits for the next frame time; false when woken to flush.
    bool WaitFramePeriod();

    GstQuorrel* m_owner;
    std::mutex m_connectionLock;
    std::shared_ptr<CCameraConnection> m_connection;

    // Under the object lock: the size of the caps (learned once), the
    // negotiated layout.
    bool m_sizeKnown = false;
    int m_width = kDefaultWidth;
    int m_height = kDefaultHeight;
    bool m_jpegOut = false;
    GstVideoInfo m_info;

    // Streaming thread only.
    CJpegCodec m_codec;
    std::vector<std::uint8_t> m_jpeg;
    bool m_firstFramePending = false;
    std::vector<std::uint8_t> m_lastGoodJpeg;
    GstBuffer* m_black = nullptr;
    GstBufferPool* m_pool = nullptr;  // decoded frames, reused rather than allocated per frame
    Clock::time_point m_lastPaced;
    bool m_warnedSize = false;

    std::mutex m_waitLock;
    std::condition_variable m_wake;
    bool m_flushing = false;
};

void ClearBuffer(GstBuffer** buffer) {
    if (*buffer != nullptr) gst_buffer_unref(*buffer);
    *buffer = nullptr;
}

bool CQuorrelState::Start() {
    auto connection = std::make_shared<CCameraConnection>(kolvane::quorrel::MakeCameraBackend());
    m_firstFramePending = false;
    if (connection->HasCamera()) {
        for (int attempt = 0; attempt < kFirstFrameAttempts; ++attempt) {
            if (connection->GetLiveViewFrame(&m_jpeg) != LiveViewStatus::kFrame) continue;
            int width = 0;
            int height = 0;
            if (!m_codec.ReadSize(m_jpeg.data(), m_jpeg.size(), &width, &height)) continue;
            GST_OBJECT_LOCK(m_owner);
            // The size is learned once; a later camera of another size
            // renegotiates when its first picture arrives.
            if (!m_sizeKnown) {
                m_width = width;
                m_height = height;
                m_sizeKnown = true;
            }
            GST_OBJECT_UNLOCK(m_owner);
            m_firstFramePending = true;
            break;
        }
    }
    GST_OBJECT_LOCK(m_owner);
    m_sizeKnown = true;
    GST_OBJECT_UNLOCK(m_owner);
    GST_INFO_OBJECT(m_owner, "camera \"%s\", live view %dx%d", connection->ProductName().c_str(),
                    m_width, m_height);
    m_lastPaced = Clock::now();
    m_warnedSize = false;
    std::lock_guard lock(m_connectionLock);
    m_connection = std::move(connection);
    return true;
}

void CQuorrelState::Stop() {
    std::shared_ptr<CCameraConnection> connection;
    {
        std::lock_guard lock(m_connectionLock);
        connection.swap(m_connection);
    }
    if (connection) connection->AbandonPicture();
    connection.reset();
    ClearBuffer(&m_black);
    ClearPool();
    m_jpeg.clear();
    m_lastGoodJpeg.clear();
    m_firstFramePending = false;
}

GstCaps* CQuorrelState::Caps() {
    GST_OBJECT_LOCK(m_owner);
    const bool known = m_sizeKnown;
    const int width = m_width;
    const int height = m_height;
    GST_OBJECT_UNLOCK(m_owner);
    return known ? CapsOfSize(width, height) : gst_static_pad_template_get_caps(&src_template);
}

bool CQuorrelState::SetCaps(GstCaps* caps) {
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    if (!gst_structure_get_int(structure, "width", &width) ||
        !gst_structure_get_int(structure, "height", &height)) {
        return false;
    }
    const bool jpeg = gst_structure_has_name(structure, "image/jpeg");
    GstVideoInfo info;
    gst_video_info_init(&info);
    if (!jpeg && !gst_video_info_from_caps(&info, caps)) return false;
    GST_OBJECT_LOCK(m_owner);
    m_width = width;
    m_height = height;
    m_jpegOut = jpeg;
    m_info = info;
    GST_OBJECT_UNLOCK(m_owner);
    ClearBuffer(&m_black);
    ClearPool();
    if (!jpeg) {
        m_pool = gst_video_buffer_pool_new();
        GstStructure* config = gst_buffer_pool_get_config(m_pool);
        gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(info.size), 2, 0);
        if (!gst_buffer_pool_set_config(m_pool, config) ||
            !gst_buffer_pool_set_active(m_pool, TRUE)) {
            ClearPool();
        }
    }
    return true;
}

void CQuorrelState::Unlock() {
    // A shot waiting for its files must not hold the pipeline's stop.
    if (const auto connection = Connection()) connection->SetInterrupted(true);
    std::lock_guard lock(m_waitLock);
    m_flushing = true;
    m_wake.notify_all();
}

void CQuorrelState::UnlockStop() {
    if (const auto connection = Connection()) connection->SetInterrupted(false);
    std::lock_guard lock(m_waitLock);
    m_flushing = false;
}

bool CQuorrelState::WaitFramePeriod() {
    // Never closer than a period to the frame before, even after a delay.
    const Clock::time_point due = std::max(m_lastPaced + kFramePeriod, Clock::now());
    m_lastPaced = due;
    std::unique_lock lock(m_waitLock);
    m_wake.wait_until(lock, due, [this] { return m_flushing; });
    return !m_flushing;
}

bool CQuorrelState::Resize(int width, int height) {
    GstBaseSrc* base = GST_BASE_SRC(m_owner);
    bool accepted = false;
    if (GstCaps* current = gst_pad_get_current_caps(GST_BASE_SRC_PAD(base))) {
        // The same layout at the new size; set_caps takes the size over.
        GstCaps* caps = gst_caps_make_writable(current);
        gst_caps_set_simple(caps, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                            nullptr);
        const gchar* format = gst_structure_get_string(gst_caps_get_structure(caps, 0), "format");
        const bool pairsPixels = g_strcmp0(format, "YUY2") == 0;
        accepted = (!pairsPixels || width % 2 == 0) &&
                   gst_pad_peer_query_accept_caps(GST_BASE_SRC_PAD(base), caps) &&
                   gst_base_src_set_caps(base, caps);
        gst_caps_unref(caps);
    }
    if (!accepted && !m_warnedSize) {
        m_warnedSize = true;
        GST_ELEMENT_WARNING(m_owner, STREAM, FORMAT, ("The camera's picture changed size."),
                            ("%dx%d refused downstream; sending black instead", width, height));
    }
    return accepted;
}

GstBuffer* CQuorrelState::FrameBuffer(const std::vector<std::uint8_t>& jpeg) {
    int width = 0;
    int height = 0;
    if (!m_codec.ReadSize(jpeg.data(), jpeg.size(), &width, &height)) return nullptr;
    GST_OBJECT_LOCK(m_owner);
    const bool sameSize = width == m_width && height == m_height;
    GST_OBJECT_UNLOCK(m_owner);
    if (!sameSize && !Resize(width, height)) return BlackBuffer();

    GST_OBJECT_LOCK(m_owner);
    const bool jpegOut = m_jpegOut;
    const GstVideoInfo info = m_info;
    GST_OBJECT_UNLOCK(m_owner);
    if (jpegOut) return gst_buffer_new_memdup(jpeg.data(), jpeg.size());

    GstBuffer* buffer = nullptr;
    if (m_pool == nullptr ||
        gst_buffer_pool_acquire_buffer(m_pool, &buffer, nullptr) != GST_FLOW_OK) {
        buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    }
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        if (buffer != nullptr) gst_buffer_unref(buffer);
        return nullptr;
    }
    // The decoders refuse a picture of any size but the negotiated one.
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    width = GST_VIDEO_INFO_WIDTH(&info);
    height = GST_VIDEO_INFO_HEIGHT(&info);
    const bool decoded =
        GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_YUY2
            ? m_codec.DecodeYuy2(jpeg.data(), jpeg.size(), map.data, width, height, stride)
            : m_codec.DecodeBgr(jpeg.data(), jpeg.size(), map.data, width, height, stride);
    gst_buffer_unmap(buffer, &map);
    if (!decoded) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    return buffer;
}

GstBuffer* CQuorrelState::BlackBuffer() {
    if (m_black == nullptr) {
        GST_OBJECT_LOCK(m_owner);
        const bool jpegOut = m_jpegOut;
        const GstVideoInfo info = m_info;
        const int width = m_width;
        const int height = m_height;
        GST_OBJECT_UNLOCK(m_owner);
        if (jpegOut) {
            const int stride = width * 3;
            const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(stride) * height, 0);
            const std::vector<std::uint8_t> jpeg =
                m_codec.EncodeBgr(zeros.data(), width, height, stride, kBlackJpegQuality);
            if (jpeg.empty()) return nullptr;
            m_black = gst_buffer_new_memdup(jpeg.data(), jpeg.size());
        } else {
            m_black = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
            if (m_black == nullptr) return nullptr;
            GstMapInfo map;
            if (!gst_buffer_map(m_black, &map, GST_MAP_WRITE)) {
                ClearBuffer(&m_black);
                return nullptr;
            }
            if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_YUY2) {
                // Black is luma 16 with neutral chroma.
                for (gsize i = 0; i + 1 < map.size; i += 2) {
                    map.data[i] = 16;
                    map.data[i + 1] = 128;
                }
            } else {
                std::memset(map.data, 0, map.size);
            }
            gst_buffer_unmap(m_black, &map);
        }
    }
    // A copy shares the memory but takes its own time stamps.
    return gst_buffer_copy(m_black);
}

GstFlowReturn CQuorrelState::Create(GstBuffer** out) {
    const auto connection = Connection();
    if (!connection) return GST_FLOW_FLUSHING;
    connection->TakeQueuedPicture();

    LiveViewStatus status = LiveViewStatus::kFrame;
    if (m_firstFramePending) {
        m_firstFramePending = false;
    } else {
        status = connection->GetLiveViewFrame(&m_jpeg);
    }
    {
        std::lock_guard lock(m_waitLock);
        if (m_flushing) return GST_FLOW_FLUSHING;
    }

    GstBuffer* buffer = nullptr;
    if (status == LiveViewStatus::kFrame) buffer = FrameBuffer(m_jpeg);
    if (buffer != nullptr) {
        m_lastPaced = Clock::now();
        // The picture is kept as JPEG: a pushed buffer must stay the
        // stream's alone, so that it returns to the pool.
        std::swap(m_jpeg, m_lastGoodJpeg);
    } else {
        // Nothing came: keep the stream at a frame pace, never a spin. A
        // camera that failed once shows its last picture again.
        if (!WaitFramePeriod()) return GST_FLOW_FLUSHING;
        if (status == LiveViewStatus::kNoCamera) m_lastGoodJpeg.clear();
        if (!m_lastGoodJpeg.empty()) buffer = FrameBuffer(m_lastGoodJpeg);
        if (buffer == nullptr) buffer = BlackBuffer();
    }
    if (buffer == nullptr) {
        GST_ELEMENT_ERROR(m_owner, RESOURCE, NO_SPACE_LEFT, ("Not enough memory for a frame."),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    *out = buffer;
    return GST_FLOW_OK;
}

CQuorrelState* StateOf(gpointer object) {
    return GST_QUORREL(object)->state;
}

gboolean QuorrelStart(GstBaseSrc* src) {
    return StateOf(src)->Start() ? TRUE : FALSE;
}

gboolean QuorrelStop(GstBaseSrc* src) {
    StateOf(src)->Stop();
    return TRUE;
}

GstCaps* QuorrelGetCaps(GstBaseSrc* src, GstCaps* filter) {
    GstCaps* caps = StateOf(src)->Caps();
    if (filter != nullptr) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

gboolean QuorrelSetCaps(GstBaseSrc* src, GstCaps* caps) {
    return StateOf(src)->SetCaps(caps) ? TRUE : FALSE;
}

gboolean QuorrelUnlock(GstBaseSrc* src) {
    StateOf(src)->Unlock();
    return TRUE;
}

gboolean QuorrelUnlockStop(GstBaseSrc* src) {
    StateOf(src)->UnlockStop();
    return TRUE;
}

GstFlowReturn QuorrelCreate(GstPushSrc* src, GstBuffer** buffer) {
    return StateOf(src)->Create(buffer);
}

void QuorrelGetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    CQuorrelState* state = StateOf(object);
    switch (id) {
        case PROP_IQUORREL:
            g_value_set_pointer(value, static_cast<kolvane::IQuorrel*>(state));
            break;
        case PROP_CAMERA_NAME: {
            const auto connection = state->Connection();
            g_value_set_string(value, connection ? connection->ProductName().c_str() : "");
            break;
        }
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
            break;
    }
}

void QuorrelFinalize(GObject* object) {
    GstQuorrel* self = GST_QUORREL(object);
    delete self->state;
    self->state = nullptr;
    G_OBJECT_CLASS(gst_quorrel_parent_class)->finalize(object);
}

}  // namespace

static void gst_quorrel_class_init(GstQuorrelClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base_class = GST_BASE_SRC_CLASS(klass);
    GstPushSrcClass* push_class = GST_PUSH_SRC_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(gst_quorrel_debug, "quorrel", 0, "DSLR live view");

    object_class->get_property = QuorrelGetProperty;
    object_class->finalize = QuorrelFinalize;

    g_object_class_install_property(
        object_class, PROP_IQUORREL,
        g_param_spec_pointer(kolvane::kQuorrelInterfaceProperty, "IQuorrel",
                             "The camera interface (kolvane::IQuorrel*), valid while the "
                             "element lives",
                             static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        object_class, PROP_CAMERA_NAME,
        g_param_spec_string("camera-name", "Camera name",
                            "The connected camera's model without \" EOS\"; empty without one", "",
                            static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));

    gst_element_class_set_static_metadata(element_class, "DSLR live view", "Source/Video",
                                          "Live view and stills of a DSLR on USB",
                                          "Brevanta <support@brevanta.example>");
    gst_element_class_add_static_pad_template(element_class, &src_template);

    base_class->start = QuorrelStart;
    base_class->stop = QuorrelStop;
    base_class->get_caps = QuorrelGetCaps;
    base_class->set_caps = QuorrelSetCaps;
    base_class->unlock = QuorrelUnlock;
    base_class->unlock_stop = QuorrelUnlockStop;
    push_class->create = QuorrelCreate;
}

static void gst_quorrel_init(GstQuorrel* self) {
    self->state = new CQuorrelState(self);
    GstBaseSrc* base = GST_BASE_SRC(self);
    gst_base_src_set_live(base, TRUE);
    gst_base_src_set_format(base, GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(base, TRUE);
}
