#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

#include "model/MediaInfo.h"
#include "platform/ResultCodes.h"

namespace kolvane {

// What an opened clip reports about itself.
struct ClipFormat {
    int channels = 0;
    int sampleRate = 0;
    std::int64_t length = 0;  // in sample frames
};

// The open reader of one sound clip, giving interleaved 16-bit values in
// whole sample frames. Owned by the clip's CSoundInfo; destroying it closes
// the library handles.
class CClipDecoder : public ISoundDecoder {
  public:
    // Opens `path`: ".mp3" (any case) with libmpg123, anything else with
    // libsndfile, which tells WAV, AIFF and the rest by their contents.
    // Returns 60126 ("Can't read the sound") for a file that cannot be opened
    // or decoded, or whose header claims a format outside sane limits (no
    // channels or more than 32, a rate outside 1 kHz to 768 kHz, more than a
    // day of sound): nothing is allocated for such a clip.
    static Result Open(const QString& path, std::unique_ptr<CClipDecoder>& decoder);

    const ClipFormat& Format() const { return format_; }

    // Fills `out` with `frames` sample frames starting at frame `start`: what
    // the clip holds is decoded, the rest (past the end) is set to 0. Returns
    // the frames decoded, or -1 when the library reported a read error (the
    // whole window is then 0).
    //
    // `out` is taken to be the same window buffer as on the previous call,
    // untouched since: when the new window starts inside the previous one
    // and the decoder stands at the previous window's end (playing on), the
    // overlap is moved down and only the rest is decoded, with no seek.
    std::int64_t ReadWindow(std::int64_t start, std::int16_t* out, std::int64_t frames);

    // Decodes from `start` on into `out` in pieces of at most `chunkFrames`,
    // calling `sink(values, frames)` for each until the clip ends or the sink
    // answers false. For scans over the whole clip (the waveform) without
    // holding it in memory. False on a read error.
    template <typename Sink>
    bool Stream(std::int64_t start, std::int16_t* out, std::int64_t chunkFrames, Sink&& sink);

    // Forgets what the window buffer holds (it was reallocated).
    void ForgetWindow() { windowFrames_ = 0; }

  protected:
    explicit CClipDecoder(ClipFormat format) : format_(format) {}

    // Moves the decoder to sample frame `frame`; false when it cannot.
    virtual bool SeekTo(std::int64_t frame) = 0;
    // Decodes up to `frames` sample frames at the current position; returns
    // the frames decoded (0 at the end) or -1 on a read error.
    virtual std::int64_t Decode(std::int16_t* out, std::int64_t frames) = 0;

  private:
    std::int64_t DecodeAt(std::int64_t start, std::int16_t* out, std::int64_t frames);

    ClipFormat format_;
    std::int64_t position_ = -1;     // where the decoder stands, -1 when unknown
    std::int64_t windowStart_ = 0;   // the frames the window buffer holds
    std::int64_t windowFrames_ = 0;  // (decoded ones only)
};

template <typename Sink>
bool CClipDecoder::Stream(std::int64_t start, std::int16_t* out, std::int64_t chunkFrames,
                          Sink&& sink) {
    windowFrames_ = 0;
    std::int64_t at = start;
    for (;;) {
        const std::int64_t got = DecodeAt(at, out, chunkFrames);
        if (got < 0) return false;
        if (got == 0) return true;
        if (!sink(static_cast<const std::int16_t*>(out), got)) return true;
        at += got;
    }
}

// libmpg123's process-wide set-up, done once while the storage lives.
class CMpg123Library {
  public:
    CMpg123Library();
    ~CMpg123Library();
    CMpg123Library(const CMpg123Library&) = delete;
    CMpg123Library& operator=(const CMpg123Library&) = delete;
};

}  // namespace kolvane
