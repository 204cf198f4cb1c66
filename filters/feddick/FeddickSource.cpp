// The movie source's state and streaming loop: formats, frame pools, the
// two pads' hand-over slots and what each streaming thread pushes. The
// element's GObject side (properties, signals, pads) is GstFeddick.cpp.

#include "filters/feddick/FeddickSource.h"

#include <gst/audio/audio.h>

#include <cstring>
#include <span>

#include "filters/feddick/TestSignal.h"

GST_DEBUG_CATEGORY_EXTERN(gst_feddick_debug);
#define GST_CAT_DEFAULT gst_feddick_debug

namespace kolvane::feddick {
namespace {

constexpr GstClockTime kNanosecondsPerUnit = 100;

constexpr int kDefaultFrameRate = 25;
constexpr FeddickVideoFormat kDefaultVideoFormat{768, 576, kUnitsPerSecond / kDefaultFrameRate,
                                                 false};
constexpr FeddickAudioFormat kDefaultAudioFormat{2, 48000, 16};

constexpr int kMaxFrameSide = 16384;
constexpr int kMaxChannels = 8;
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 192000;

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

std::size_t AudioFrameBytes(const FeddickAudioFormat& format, int frameRate) {
    const int blockAlign = format.channels * format.bitsPerSample / 8;
    const std::size_t bytesPerSecond =
        static_cast<std::size_t>(format.samplesPerSecond) * static_cast<std::size_t>(blockAlign);
    // Whole sample frames only: half a sample frame would swap the channels
    // of every other frame.
    const std::size_t bytes = bytesPerSecond / static_cast<std::size_t>(frameRate);
    return bytes - bytes % static_cast<std::size_t>(blockAlign);
}

void StreamLoop(gpointer data) {
    auto* stream = static_cast<CStream*>(data);
    stream->owner->Loop(*stream);
}

}  // namespace

CFeddick::CFeddick(GstElement* element)
    : element_(element),
      videoFormat_(kDefaultVideoFormat),
      audioFormat_(kDefaultAudioFormat),
      frameRate_(kDefaultFrameRate) {
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

}  // namespace kolvane::feddick
