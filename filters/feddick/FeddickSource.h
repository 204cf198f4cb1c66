#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "filters/feddick/FrameSlot.h"
#include "filters/feddick/IFeddick.h"

namespace kolvane::feddick {

// Time per frame is in 100 ns units.
inline constexpr std::int64_t kUnitsPerSecond = 10'000'000;

class CFeddick;

enum class StreamKind { kVideo, kAudio };

// One source pad with its hand-over slot. The element sets `pad` once;
// `count` and the header state belong to the pad's streaming thread.
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
class CFeddick final : public IFeddick {
  public:
    // The element that owns the source; it makes the pads of Video() and
    // Audio() and activates them through Activate.
    explicit CFeddick(GstElement* element);
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

    GstElement* element_;
    std::mutex formatLock_;
    FeddickVideoFormat videoFormat_;  // the test signal's until set
    // The layout of videoFormat_ at frameRate_, made when the format is set.
    GstVideoInfo videoInfo_;
    FeddickAudioFormat audioFormat_;
    std::size_t audioFrameSize_ = 0;
    GstBufferPool* videoPool_ = nullptr;
    GstBufferPool* audioPool_ = nullptr;
    std::atomic<int> frameRate_;
    std::atomic<bool> testSignal_{true};
    std::atomic<bool> cancelled_{false};
    guint groupId_ = 0;
    CStream video_;
    CStream audio_;
};

}  // namespace kolvane::feddick
