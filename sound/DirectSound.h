#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

#include "model/ListInfo.h"

namespace kolvane {

class CSettings;
class CAudioMixer;
class CAudioOutput;
class CAudioRing;

// The PCM record of the output format, as the movie writer takes it.
struct WaveFormat {
    std::uint16_t formatTag = 1;  // PCM
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSec = 48000;
    std::uint32_t avgBytesPerSec = 192000;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
    std::uint16_t extraSize = 0;
};

// The audio output: one two-second ring per level (48 kHz 16-bit stereo) and
// one GStreamer output that plays the mix of the rings that play. The rings
// exist whether or not a sound device does (the movie export reads them back);
// without a device the program is silent. User-interface thread only.
class CDirectSound : public IAudioRingFactory {
  public:
    explicit CDirectSound(const CSettings& settings);
    ~CDirectSound() override;
    CDirectSound(const CDirectSound&) = delete;
    CDirectSound& operator=(const CDirectSound&) = delete;

    // Opens the output on the sink of CAudioOutput::DefaultSinkName(), or on
    // the named sink factory; any failure leaves the program silent.
    void Initialize();
    void Initialize(const QString& sinkName);
    bool HasOutput() const { return output_ != nullptr; }

    // IAudioRingFactory: every level gets its ring.
    std::unique_ptr<IAudioRing> CreateTrackBuffer() override;
    static void ReleaseTrackBuffer(CListInfo& track) { track.ReleaseRing(); }

    static WaveFormat GetFormat() { return {}; }
    // (48000 / frame rate) × 4: 12800, 8000, 7680 or 6400 bytes.
    int BytesPerFrame() const;

    // Rounds the ring's play position down to a whole frame, moves it there
    // and puts the write cursor on it.
    void AlignTrack(CListInfo& track);
    // The frame at the write cursor, BytesPerFrame() bytes as pairs of 16-bit
    // values; none for a level without a ring. A cursor at the end of the
    // ring starts again at 0.
    std::int16_t* LockFrame(CListInfo& track);
    // Puts the locked frame into the ring and moves the cursor one frame on.
    void UnlockFrame(CListInfo& track, std::int16_t* frame);
    // Plays the ring in a loop / stops it. Nothing for a level without one.
    void PlayTrack(CListInfo& track);
    void StopTrack(CListInfo& track);
    // 48000 plays at normal speed, 24000 at half speed.
    void SetTrackFrequency(CListInfo& track, int hz);
    // Copies the frame written last (the BytesPerFrame() bytes before the
    // write cursor) into `out`; false for a level without a ring.
    bool ReadLastFrame(const CListInfo& track, std::int16_t* out) const;
    // The ring's play position in bytes (0 without a ring).
    std::uint32_t PlayPosition(const CListInfo& track) const;

    // Plays a short sound once over whatever plays (interleaved 48 kHz stereo
    // pairs), cutting off the rest of the one before.
    void PlayCue(std::vector<std::int16_t> pairs);
    CAudioMixer& Mixer() { return *mixer_; }

    // Pairs the output has taken from the mix so far (0 without output).
    std::uint64_t PairsPlayed() const;

  private:
    static CAudioRing* RingOf(const CListInfo& track);
    void DropBrokenOutput();

    const CSettings& settings_;
    std::shared_ptr<CAudioMixer> mixer_;
    std::unique_ptr<CAudioOutput> output_;  // after the mixer: stops first
};

}  // namespace kolvane
