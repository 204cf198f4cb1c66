#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "model/ListInfo.h"

namespace kolvane {

class CAudioMixer;

// A level's ring: two seconds of output-format sound (384000 bytes) that the
// user-interface thread writes frame by frame ahead of the play position, and
// the mixer reads in a loop while it plays. Positions are byte offsets.
class CAudioRing final : public IAudioRing {
  public:
    static constexpr std::uint32_t kBytes = 384000;
    static constexpr std::uint32_t kPairs = kBytes / 4;

    explicit CAudioRing(std::shared_ptr<CAudioMixer> mixer);
    ~CAudioRing() override;
    CAudioRing(const CAudioRing&) = delete;
    CAudioRing& operator=(const CAudioRing&) = delete;

    // The staging area of one frame of `pairs` output pairs (user-interface
    // thread only); Commit copies it into the ring at `offset`, wrapping at
    // the end.
    std::int16_t* Stage(int pairs);
    void Commit(std::uint32_t offset, int pairs);
    // Copies `pairs` pairs from `offset` on (wrapping) into `out`.
    void CopyOut(std::uint32_t offset, std::int16_t* out, int pairs) const;

    std::uint32_t PlayPosition() const;
    void SetPlayPosition(std::uint32_t offset);
    void SetPlaying(bool playing);
    bool IsPlaying() const;
    // Play rate in pairs per second: 48000 normal, 24000 half speed.
    void SetFrequency(int hz);

  private:
    friend class CAudioMixer;

    std::shared_ptr<CAudioMixer> mixer_;
    // Guarded by the mixer's lock.
    std::vector<std::int16_t> samples_;
    std::uint64_t position_ = 0;  // in pairs, 16 fractional bits
    std::uint32_t step_ = 1u << 16;
    bool playing_ = false;
    // User-interface thread only.
    std::vector<std::int16_t> staging_;
};

// Sums the playing rings into the output, each at its own rate, clipped to
// 16 bits. Rings register themselves; one lock guards their samples and play
// state, so the output thread never reads a frame half written.
class CAudioMixer {
  public:
    // Fills `out` with `pairs` mixed pairs and moves the playing rings on.
    void Mix(std::int16_t* out, int pairs);

    // A short sound played once over the rings (a grab sound): interleaved
    // stereo pairs at 48 kHz. A new cue replaces what is left of the last.
    void PlayCue(std::vector<std::int16_t> pairs);
    bool CuePlaying() const;

  private:
    friend class CAudioRing;

    mutable std::mutex mutex_;
    std::vector<CAudioRing*> rings_;
    std::vector<std::int32_t> sum_;
    std::vector<std::int16_t> cue_;
    std::size_t cuePlayed_ = 0;  // values of the cue already mixed
};

}  // namespace kolvane
