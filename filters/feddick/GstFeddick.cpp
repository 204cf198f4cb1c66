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

#include <atomic>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "filters/feddick/FrameSlot.h"
#include "filters/feddick/IFeddick.h"
#include "filters/feddick/TestSignal.h"

GST_DEBUG_CATEGORY_STATIC(gst_feddick_debug);
#define GST_CAT_DEFAULT gst_feddick_debug

namespace {

using kolvane::FeddickAudioFormat;
using kolvane::FeddickVideoFormat;
using kolvane::kFail;
using kolvane::kOk;
using kolvane::Result;
using kolvane::feddick::CFrameSlot;

constexpr std::int64_t kUnitsPerSecond = 10'000'000;  // time per frame is in 100 ns units
constexpr GstClockTime kNanosecondsPerUnit = 100;

constexpr int kDefaultFrameRate = 25;
constexpr FeddickVideoFormat kDefaultVideoFormat{768, 576, kUnitsPerSecond / kDefaultFrameRate,
                                                 false};
constexpr FeddickAudioFormat kDefaultAudioFormat{2, 48000, 16};

constexpr int kMaxFrameSide = 16384;
constexpr int kMaxChannels = 8;
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 192000;

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

GstVideoFormat PixelFormat(const FeddickVideoFormat& format) {
    switch (format.pixels) {
        case kolvane::FeddickPixels::kBgrx32:
            return GST_VIDEO_FORMAT_BGRx;
        case kolvane::FeddickPixels::kI420:
            return GST_VIDEO_FORMAT_I420;
        case kolvane::FeddickPixels::kBgr24:
            break;
    }
    return GST_VIDEO_FORMAT_BGR;
}

// Layout of a frame: GStreamer's for the format (BGR rows padded to 4 bytes,
// as bitmap rows are).
GstVideoInfo VideoInfoOf(const FeddickVideoFormat& format, int frameRate) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, PixelFormat(format), static_cast<guint>(format.width),
                              static_cast<guint>(format.height));
    if (format.pixels == kolvane::FeddickPixels::kI420)
        gst_video_colorimetry_from_string(&info.colorimetry, GST_VIDEO_COLORIMETRY_BT601);
    info.fps_n = frameRate;
    info.fps_d = 1;
    return info;
}

int FrameRateOf(std::int64_t averageTimePerFrame) {
    return static_cast<int>(kUnitsPerSecond / averageTimePerFrame);
}

bool IsValid(const FeddickVideoFormat& format) {
    return format.width > 0 && format.width <= kMaxFrameSide && format.height > 0 &&
           format.height <= kMaxFrameSide && format.averageTimePerFrame > 0 &&
           format.averageTimePerFrame <= kUnitsPerSecond &&
           (format.pixels != kolvane::FeddickPixels::kI420 ||
            (format.width % 2 == 0 && format.height % 2 == 0 && !format.bottomUp));
}

bool IsValid(const FeddickAudioFormat& format) {
    return format.channels >= 1 && format.channels <= kMaxChannels &&
           format.samplesPerSecond >= kMinSampleRate && format.samplesPerSecond <= kMaxSampleRate &&
           (format.bitsPerSample == 8 || format.bitsPerSample == 16);
}

class CFeddick;

enum class StreamKind { kVideo, kAudio };

// One source pad with its hand-over slot. `count` and the header state
// belong to the pad's streaming thread.
struct CStream {
    CFeddick* owner = nullptr;
    StreamKind kind = StreamKind::kVideo;
    GstPad* pad = nullptr;
    CFrameSlot slot;
    std::atomic<bool> active{false};
    std::uint64_t count = 0;
    bool headerSent = false;
    bool discont = true;
    bool downstreamReadsMeta = false;  // video: downstream honours a video meta
    std::vector<std::uint8_t> rowScratch;
};

// The element's state and its IFeddick. Formats, frame sizes and pools are
// guarded by `formatLock_`; the frame rate and the test-signal flag are read
// by the streaming threads without it, as formats change only while the
// pads are not streaming.
class CFeddick final : public kolvane::IFeddick {
  public:
    explicit CFeddick(GstFeddick* element);
    ~CFeddick();
    CFeddick(const CFeddick&) = delete;
    CFeddick& operator=(const CFeddick&) = delete;

    Result SetVideoFormat(const FeddickVideoFormat& format) override;
    Result SetAudioFormat(const FeddickAudioFormat& format) override;
    std::size_t VideoFrameSize() override;
    std::size_t AudioFrameSize() override;
    GstBuffer* NewVideoFrame() override { return NewFrame(video_); }
    GstBuffer* NewAudioFrame() override { return NewFrame(audio_); }
    Result PutVideoFrame(GstBuffer* frame) override { return Put(video_, frame); }
    Result PutAudioFrame(GstBuffer* frame) override { return Put(audio_, frame); }
    Result SendEndOfStream() override;
    void Cancel() override;

    CStream& Video() { return video_; }
    CStream& Audio() { return audio_; }
    bool TestSignal() const { return testSignal_.load(); }
    GstCaps* CurrentCaps(StreamKind kind);
    // A new run of the pads: a new stream group, nothing cancelled.
    void NewGroup() {
        groupId_ = gst_util_group_id_next();
        cancelled_ = false;
    }

    bool Activate(CStream& stream, bool active);
    void Loop(CStream& stream);

  private:
    std::size_t FrameSize(StreamKind kind) const;
    GstBuffer* NewFrame(CStream& stream);
    void DropPool(StreamKind kind);
    Result Put(CStream& stream, GstBuffer* frame);
    bool Streaming() const { return video_.active.load() || audio_.active.load(); }

    void SendHeader(CStream& stream);
    void FindOutMeta(CStream& stream, GstCaps* caps);
    GstBuffer* MakeTestFrame(CStream& stream);
    void Stamp(CStream& stream, GstBuffer*& frame);
    void TurnUpright(CStream& stream, GstBuffer*& frame);
    void EndStream(CStream& stream);
    void Fail(CStream& stream, GstFlowReturn flow);

    GstFeddick* element_;
    std::mutex formatLock_;
    FeddickVideoFormat videoFormat_ = kDefaultVideoFormat;
    // The layout of videoFormat_ at frameRate_, made when the format is set.
    GstVideoInfo videoInfo_;
    FeddickAudioFormat audioFormat_ = kDefaultAudioFormat;
    std::size_t audioFrameSize_ = 0;
    GstBufferPool* videoPool_ = nullptr;
    GstBufferPool* audioPool_ = nullptr;
    std::atomic<int> frameRate_{kDefaultFrameRate};
    std::atomic<bool> testSignal_{true};
    std::atomic<bool> cancelled_{false};
    guint groupId_ = 0;
    CStream video_;
    CStream audio_;
};

}  // namespace

struct _GstFeddick {
    GstElement parent;
    CFeddick* feddick;
};

G_DEFINE_TYPE(GstFeddick, gst_feddick, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(feddick, "feddick", GST_RANK_NONE, GST_TYPE_FEDDICK)

namespace {

std::size_t AudioFrameBytes(const FeddickAudioFormat& format, int frameRate) {
    const int blockAlign = format.channels * format.bitsPerSample / 8;
    const std::size_t bytesPerSecond =
        static_cast<std::size_t>(format.samplesPerSecond) * static_cast<std::size_t>(blockAlign);
    // Whole sample frames only: half a sample frame would swap the channels
    // of every other frame.
    const std::size_t bytes = bytesPerSecond / static_cast<std::size_t>(frameRate);
    return bytes - bytes % static_cast<std::size_t>(blockAlign);
}

CFeddick::CFeddick(GstFeddick* element) : element_(element) {
    videoInfo_ = VideoInfoOf(videoFormat_, kDefaultFrameRate);
    audioFrameSize_ = AudioFrameBytes(audioFormat_, kDefaultFrameRate);
    video_.owner = this;
    video_.kind = StreamKind::kVideo;
    audio_.owner = this;
    audio_.kind = StreamKind::kAudio;
}

CFeddick::~CFeddick() {
    DropPool(StreamKind::kVideo);
    DropPool(StreamKind::kAudio);
}

Result CFeddick::SetVideoFormat(const FeddickVideoFormat& format) {
    if (!IsValid(format)) return kFail;
    std::lock_guard<std::mutex> lock(formatLock_);
    if (Streaming()) return kFail;
    testSignal_ = false;
    videoFormat_ = format;
    frameRate_ = FrameRateOf(format.averageTimePerFrame);
    videoInfo_ = VideoInfoOf(format, frameRate_);
    DropPool(StreamKind::kVideo);
    GST_DEBUG_OBJECT(element_, "video %dx%d at %d frames per second%s", format.width, format.height,
                     frameRate_.load(), format.bottomUp ? ", bottom up" : "");
    return kOk;
}

Result CFeddick::SetAudioFormat(const FeddickAudioFormat& format) {
    if (!IsValid(format)) return kFail;
    std::lock_guard<std::mutex> lock(formatLock_);
    if (Streaming()) return kFail;
    testSignal_ = false;
    audioFormat_ = format;
    // The frame rate as it is now: set the video format first.
    audioFrameSize_ = AudioFrameBytes(format, frameRate_);
    DropPool(StreamKind::kAudio);
    GST_DEBUG_OBJECT(element_, "audio %d channels at %d Hz, %d bits, %zu bytes a frame",
                     format.channels, format.samplesPerSecond, format.bitsPerSample,
                     audioFrameSize_);
    return kOk;
}

std::size_t CFeddick::VideoFrameSize() {
    std::lock_guard<std::mutex> lock(formatLock_);
    return FrameSize(StreamKind::kVideo);
}

std::size_t CFeddick::AudioFrameSize() {
    std::lock_guard<std::mutex> lock(formatLock_);
    return FrameSize(StreamKind::kAudio);
}

std::size_t CFeddick::FrameSize(StreamKind kind) const {
    if (kind == StreamKind::kAudio) return audioFrameSize_;
    return GST_VIDEO_INFO_SIZE(&videoInfo_);
}

void CFeddick::DropPool(StreamKind kind) {
    GstBufferPool*& pool = kind == StreamKind::kVideo ? videoPool_ : audioPool_;
    if (pool == nullptr) return;
    gst_buffer_pool_set_active(pool, FALSE);
    gst_object_unref(pool);
    pool = nullptr;
}

GstBuffer* CFeddick::NewFrame(CStream& stream) {
    std::lock_guard<std::mutex> lock(formatLock_);
    GstBufferPool*& pool = stream.kind == StreamKind::kVideo ? videoPool_ : audioPool_;
    const std::size_t size = FrameSize(stream.kind);
    if (pool == nullptr) {
        pool = gst_buffer_pool_new();
        GstStructure* config = gst_buffer_pool_get_config(pool);
        gst_buffer_pool_config_set_params(config, nullptr, static_cast<guint>(size), 0, 0);
        if (!gst_buffer_pool_set_config(pool, config) || !gst_buffer_pool_set_active(pool, TRUE)) {
            gst_object_unref(pool);
            pool = nullptr;
            return gst_buffer_new_allocate(nullptr, size, nullptr);
        }
    }
    GstBuffer* frame = nullptr;
    if (gst_buffer_pool_acquire_buffer(pool, &frame, nullptr) != GST_FLOW_OK) {
        return gst_buffer_new_allocate(nullptr, size, nullptr);
    }
    return frame;
}

Result CFeddick::Put(CStream& stream, GstBuffer* frame) {
    if (frame == nullptr) return kFail;
    std::size_t size = 0;
    {
        std::lock_guard<std::mutex> lock(formatLock_);
        size = FrameSize(stream.kind);
        if (testSignal_ || cancelled_) size = 0;
    }
    if (size == 0 || gst_buffer_get_size(frame) < size) {
        GST_WARNING_OBJECT(element_, "refused a frame of %zu bytes", gst_buffer_get_size(frame));
        gst_buffer_unref(frame);
        return kFail;
    }
    if (gst_buffer_get_size(frame) > size) {
        frame = gst_buffer_make_writable(frame);
        gst_buffer_set_size(frame, static_cast<gssize>(size));
    }
    return stream.slot.Put(frame) ? kOk : kFail;
}

Result CFeddick::SendEndOfStream() {
    const bool video = video_.slot.EndOfStream();
    const bool audio = audio_.slot.EndOfStream();
    return video && audio ? kOk : kFail;
}

void CFeddick::Cancel() {
    // First the flag: a put woken by the first slot closing must not find
    // the other slot open.
    cancelled_ = true;
    video_.slot.Close();
    audio_.slot.Close();
}

GstCaps* CFeddick::CurrentCaps(StreamKind kind) {
    std::lock_guard<std::mutex> lock(formatLock_);
    if (kind == StreamKind::kVideo) {
        GstVideoInfo info = videoInfo_;
        return gst_video_info_to_caps(&info);
    }
    GstAudioInfo info;
    gst_audio_info_set_format(
        &info, audioFormat_.bitsPerSample == 8 ? GST_AUDIO_FORMAT_U8 : GST_AUDIO_FORMAT_S16LE,
        audioFormat_.samplesPerSecond, audioFormat_.channels, nullptr);
    return gst_audio_info_to_caps(&info);
}

void StreamLoop(gpointer data) {
    auto* stream = static_cast<CStream*>(data);
    stream->owner->Loop(*stream);
}

bool CFeddick::Activate(CStream& stream, bool active) {
    if (active) {
        stream.count = 0;
        stream.headerSent = false;
        stream.discont = true;
        stream.slot.Open();
        stream.active = true;
        return gst_pad_start_task(stream.pad, StreamLoop, &stream, nullptr);
    }
    // Closing first wakes the streaming thread and any waiting put.
    stream.slot.Close();
    stream.active = false;
    return gst_pad_stop_task(stream.pad);
}

void CFeddick::SendHeader(CStream& stream) {
    const bool video = stream.kind == StreamKind::kVideo;
    gchar* id =
        gst_pad_create_stream_id(stream.pad, GST_ELEMENT(element_), video ? "video" : "audio");
    GstEvent* start = gst_event_new_stream_start(id);
    g_free(id);
    gst_event_set_group_id(start, groupId_);
    gst_pad_push_event(stream.pad, start);

    GstCaps* caps = CurrentCaps(stream.kind);
    gst_pad_push_event(stream.pad, gst_event_new_caps(caps));

    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_push_event(stream.pad, gst_event_new_segment(&segment));

    if (video) {
        gst_pad_check_reconfigure(stream.pad);  // the query below answers it
        FindOutMeta(stream, caps);
    }
    gst_caps_unref(caps);
    stream.headerSent = true;
}

void CFeddick::FindOutMeta(CStream& stream, GstCaps* caps) {
    // A bottom-up frame goes out as is when downstream reads its layout from
    // a video meta; otherwise its rows are turned over in place.
    GstQuery* query = gst_query_new_allocation(caps, FALSE);
    stream.downstreamReadsMeta =
        gst_pad_peer_query(stream.pad, query) &&
        gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
    gst_query_unref(query);
    GST_DEBUG_OBJECT(stream.pad, "downstream %s video meta",
                     stream.downstreamReadsMeta ? "reads" : "ignores");
}

GstBuffer* CFeddick::MakeTestFrame(CStream& stream) {
    GstBuffer* frame = NewFrame(stream);
    GstMapInfo map;
    if (!gst_buffer_map(frame, &map, GST_MAP_WRITE)) return frame;
    if (stream.kind == StreamKind::kVideo) {
        // The test signal keeps the initial 24-bit format.
        kolvane::feddick::FillTestPicture(map.data, videoFormat_.width, videoFormat_.height,
                                          GST_VIDEO_INFO_PLANE_STRIDE(&videoInfo_, 0),
                                          stream.count);
    } else {
        kolvane::feddick::FillTestSound(std::span<std::uint8_t>(map.data, map.size), stream.count,
                                        frameRate_);
    }
    gst_buffer_unmap(frame, &map);
    return frame;
}

void CFeddick::Stamp(CStream& stream, GstBuffer*& frame) {
    frame = gst_buffer_make_writable(frame);
    const std::int64_t units = kUnitsPerSecond / frameRate_;
    const GstClockTime duration = static_cast<GstClockTime>(units) * kNanosecondsPerUnit;
    // Muxers interleave by decoding time: raw frames decode when they show.
    GST_BUFFER_PTS(frame) = stream.count * duration;
    GST_BUFFER_DTS(frame) = GST_BUFFER_PTS(frame);
    GST_BUFFER_DURATION(frame) = duration;
    GST_BUFFER_OFFSET(frame) = stream.count;
    GST_BUFFER_OFFSET_END(frame) = stream.count + 1;
    GST_BUFFER_FLAG_UNSET(frame, GST_BUFFER_FLAG_DELTA_UNIT);
    if (stream.discont) {
        GST_BUFFER_FLAG_SET(frame, GST_BUFFER_FLAG_DISCONT);
        stream.discont = false;
    }
    ++stream.count;
}

void CFeddick::TurnUpright(CStream& stream, GstBuffer*& frame) {
    const int height = videoFormat_.height;
    const auto stride = static_cast<std::size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&videoInfo_, 0));
    if (gst_pad_check_reconfigure(stream.pad)) {
        GstCaps* caps = CurrentCaps(StreamKind::kVideo);
        FindOutMeta(stream, caps);
        gst_caps_unref(caps);
    }
    if (stream.downstreamReadsMeta) {
        gsize offset[GST_VIDEO_MAX_PLANES] = {stride * static_cast<gsize>(height - 1)};
        gint strides[GST_VIDEO_MAX_PLANES] = {-static_cast<gint>(stride)};
        gst_buffer_add_video_meta_full(frame, GST_VIDEO_FRAME_FLAG_NONE, PixelFormat(videoFormat_),
                                       static_cast<guint>(videoFormat_.width),
                                       static_cast<guint>(height), 1, offset, strides);
        return;
    }
    GstMapInfo map;
    if (!gst_buffer_map(frame, &map, GST_MAP_READWRITE)) return;
    stream.rowScratch.resize(stride);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* a = map.data + stride * static_cast<std::size_t>(top);
        std::uint8_t* b = map.data + stride * static_cast<std::size_t>(bottom);
        std::memcpy(stream.rowScratch.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, stream.rowScratch.data(), stride);
    }
    gst_buffer_unmap(frame, &map);
}

void CFeddick::EndStream(CStream& stream) {
    GST_DEBUG_OBJECT(stream.pad, "end of stream after %" G_GUINT64_FORMAT " frames", stream.count);
    stream.slot.Close();
    gst_pad_push_event(stream.pad, gst_event_new_eos());
    gst_pad_pause_task(stream.pad);
}

void CFeddick::Fail(CStream& stream, GstFlowReturn flow) {
    GST_DEBUG_OBJECT(stream.pad, "stopped: %s", gst_flow_get_name(flow));
    gst_pad_pause_task(stream.pad);
    if (flow == GST_FLOW_FLUSHING) {
        stream.slot.Close();
        return;
    }
    if (flow == GST_FLOW_EOS) {
        EndStream(stream);
        return;
    }
    // The movie cannot be completed: neither pad waits for more frames.
    Cancel();
    GST_ELEMENT_FLOW_ERROR(element_, flow);
    gst_pad_push_event(stream.pad, gst_event_new_eos());
}

void CFeddick::Loop(CStream& stream) {
    if (!stream.headerSent) SendHeader(stream);
    GstBuffer* frame = nullptr;
    const CFrameSlot::Take take = testSignal_ ? stream.slot.Poll() : stream.slot.Wait(&frame);
    switch (take) {
        case CFrameSlot::Take::kClosed:
            gst_pad_pause_task(stream.pad);
            return;
        case CFrameSlot::Take::kEndOfStream:
            EndStream(stream);
            return;
        case CFrameSlot::Take::kEmpty:
            frame = MakeTestFrame(stream);
            break;
        case CFrameSlot::Take::kFrame:
            break;
    }
    Stamp(stream, frame);
    if (stream.kind == StreamKind::kVideo && videoFormat_.bottomUp) TurnUpright(stream, frame);
    const GstFlowReturn flow = gst_pad_push(stream.pad, frame);
    if (flow != GST_FLOW_OK) Fail(stream, flow);
}

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
    self->feddick = new CFeddick(self);
    MakeSourcePad(self, &video_template, self->feddick->Video());
    MakeSourcePad(self, &audio_template, self->feddick->Audio());
    GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_SOURCE);
}
