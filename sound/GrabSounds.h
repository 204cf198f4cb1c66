#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QString>

namespace kolvane {

// What sounds when an image is grabbed (the `GrabSound` setting).
inline constexpr int kGrabSoundNone = 0;
inline constexpr int kGrabSoundBeep = 1;
inline constexpr int kGrabSoundClip = 2;
inline constexpr int kGrabSoundVoice = 3;

// Takes a finished sound, 48 kHz interleaved stereo pairs, and plays it once
// (CDirectSound::PlayCue in the program).
using CueSink = std::function<void(std::vector<std::int16_t> pairs)>;

// A tone of `hz` for `milliseconds`, with a short fade at both ends so that
// it does not click.
std::vector<std::int16_t> TonePairs(int hz, int milliseconds);
// The program's own grab sound: a camera shutter's two clicks, made here
// rather than shipped as a file, so that it is always there.
std::vector<std::int16_t> ShutterClipPairs();
// Mono 16-bit samples at `rate` as 48 kHz stereo pairs (linear interpolation).
std::vector<std::int16_t> MonoToOutputPairs(const std::vector<std::int16_t>& mono, int rate);

// Speaks short texts with libespeak-ng into a cue sink. Synthesis runs on a
// thread of its own; a new text purges one not yet spoken, and what is still
// being heard is cut off when the new one is ready.
class CSpeechVoice {
  public:
    // None when espeak-ng or its voice data is not installed. `dataPath`
    // (empty: the library's own place) counts only at the first call of
    // the process, which sets the synthesiser up.
    static std::unique_ptr<CSpeechVoice> Create(CueSink sink, const QString& dataPath = {});
    ~CSpeechVoice();
    CSpeechVoice(const CSpeechVoice&) = delete;
    CSpeechVoice& operator=(const CSpeechVoice&) = delete;

    void Speak(const QString& text);
    // Waits until no text is waiting or being synthesised (tests, shutdown).
    void WaitUntilIdle();

  private:
    CSpeechVoice(CueSink sink, int rate);
    void Run();

    CueSink sink_;
    int rate_;
    std::mutex mutex_;
    std::condition_variable wake_;
    QString pending_;
    bool hasPending_ = false;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

// Plays the grab sound of a kind for a newly grabbed image.
class IGrabSounds {
  public:
    virtual ~IGrabSounds() = default;
    virtual void PlayGrabSound(int kind, const QString& imageName) = 0;
};

// "beep" is a 440 Hz tone of 50 ms, "sound" the shutter clip, "voice" the
// image name spoken (a beep when no voice is installed), 0 silence.
class CGrabSounds final : public IGrabSounds {
  public:
    // `voice` may be none.
    CGrabSounds(CueSink sink, std::unique_ptr<CSpeechVoice> voice);
    // The program's: the voice of the installed espeak-ng, if any.
    static std::unique_ptr<CGrabSounds> WithSystemVoice(CueSink sink);

    void PlayGrabSound(int kind, const QString& imageName) override;
    bool HasVoice() const { return voice_ != nullptr; }
    CSpeechVoice* Voice() const { return voice_.get(); }

  private:
    CueSink sink_;
    std::unique_ptr<CSpeechVoice> voice_;
    std::vector<std::int16_t> beep_;
    std::vector<std::int16_t> clip_;
};

}  // namespace kolvane
