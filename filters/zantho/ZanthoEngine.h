#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "filters/zantho/IZantho.h"
#include "filters/zantho/ZanthoPixels.h"

namespace kolvane::zantho {

enum class InputFormat { kNone, kYuy2, kBgr };

// Keeps a frame's memory valid while the engine refers to it; released when
// the engine no longer needs the frame.
using FrameHold = std::shared_ptr<const void>;

// What one frame did: whether it may be shown, and the events it raised in
// the order they happened (at most a signal event and a motion event).
struct FrameResult {
    bool live = false;
    std::array<int, 2> events{};
    int eventCount = 0;
};

// The state of the adjustment element without any GStreamer: settings, the
// history of the last N frames, the live/frozen and moving/still states and
// the frame hand-over. Not thread-safe: the element calls every member under
// its one lock.
class CZantho {
  public:
    static constexpr int kMaxDenoise = 16;
    static constexpr int kFreezeFrames = 9;  // identical frames in a row that mean frozen

    CZantho();

    void SetWhiteness(float whiteness);
    void SetBrightness(float brightness);
    void SetContrast(float contrast);
    void SetColor(float color);
    void SetOption(int option) { option_ = option; }
    // Refuses N outside 1..16 and keeps the previous value.
    bool SetDenoise(int frames);
    void SetMotionDetect(bool on) { motionDetect_ = on; }
    void SetHorizontal(float horizontal) { horizontal_ = horizontal; }
    void SetVertical(float vertical) { vertical_ = vertical; }

    float Whiteness() const { return whiteness_; }
    float Brightness() const { return brightness_; }
    float Contrast() const { return contrast_; }
    float Color() const { return color_; }
    int Option() const { return option_; }
    int Denoise() const { return denoise_; }
    bool MotionDetect() const { return motionDetect_; }
    float Horizontal() const { return horizontal_; }
    float Vertical() const { return vertical_; }
    bool IsLive() const { return live_; }
    bool IsStill() const { return still_; }

    // A new input format; a change of format or size restarts live detection.
    void SetInputFormat(InputFormat format, int width, int height);
    ZanthoFrameSize InputSize() const { return {width_, height_}; }

    // True when frames may leave unchanged: YUY2 input, neutral levels, no
    // mirror, no flip. The frames are still watched.
    bool WantsPassthrough() const;

    // Watches one input frame (history, freeze, motion) and, when the picture
    // is live and `out` is given, writes it adjusted and oriented as YUY2.
    // `frame` is YUY2 or RGB24 as set by SetInputFormat, top row first.
    // With a `hold` that keeps `frame` unchanged until released, N = 1 keeps
    // the frame itself instead of a copy.
    FrameResult ProcessFrame(const std::uint8_t* frame, std::ptrdiff_t pitch, std::uint8_t* out,
                             std::ptrdiff_t outPitch, FrameHold hold = {});

    // The size GetFrame would write now; empty before the first frame.
    ZanthoFrameSize CurrentFrameSize() const;

    // Writes the current frame as RGB24 rows of `pitch` bytes, top row first,
    // with the orientation; averaged over the history unless the input is
    // RGB24, unadjusted and N is 1. Writes nothing and fails when no frame is
    // held or the frame does not fit into `capacity`; `written` receives the
    // frame's size either way.
    Result GetFrame(std::uint8_t* destination, std::ptrdiff_t pitch, std::size_t capacity,
                    ZanthoFrameSize* written) const;

  private:
    // The most recent input frame as received, held for N = 1.
    struct HeldFrame {
        const std::uint8_t* data = nullptr;
        std::ptrdiff_t pitch = 0;
        InputFormat format = InputFormat::kNone;
        int width = 0;
        int height = 0;
        FrameHold owner;
    };

    Orientation CurrentOrientation() const;
    void UpdateLevels();
    bool Judge(const SampleChange& change, std::size_t samples, FrameResult* result);
    bool UpdateHistory(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameResult* result);
    bool UpdateHeld(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameHold hold,
                    std::uint8_t* out, std::ptrdiff_t outPitch, FrameResult* result);
    void RebuildHistory(const std::uint8_t* frame, std::ptrdiff_t pitch);
    void HeldToHistory();
    void DetachHeld();
    void GetHeldFrame(std::uint8_t* destination, std::ptrdiff_t pitch) const;
    std::uint8_t* Slot(int index) { return history_.data() + historyBytes_ * index; }
    const std::uint8_t* Slot(int index) const { return history_.data() + historyBytes_ * index; }

    // Settings.
    float whiteness_ = 0.0f;
    float brightness_ = 0.0f;
    float contrast_ = 1.0f;
    float color_ = 1.0f;
    int option_ = 0;
    int denoise_ = 1;
    bool motionDetect_ = false;
    float horizontal_ = 1.0f;
    float vertical_ = 1.0f;
    LevelTables levels_;

    // Signal and motion state.
    int sameCount_ = 0;
    int motionDivisor_ = 64;
    bool live_ = false;
    bool still_ = false;

    // Input format.
    InputFormat format_ = InputFormat::kNone;
    int width_ = 0;
    int height_ = 0;

    // History: historyCount_ YUY2 frames of historyWidth_ x historyHeight_,
    // historyBytes_ each, packed rows. frameLength_ 0 asks for a rebuild at
    // the next frame while the held frames still serve GetFrame. While
    // held_.data is set, the history is that one frame instead (and
    // historyCount_ 0), with its luma samples for the next frame's checks.
    std::vector<std::uint8_t> history_;
    int historyCount_ = 0;
    int historyIndex_ = 0;
    std::size_t historyBytes_ = 0;
    std::size_t frameLength_ = 0;
    int historyWidth_ = 0;
    int historyHeight_ = 0;
    HeldFrame held_;
    std::vector<std::uint8_t> heldCopy_;  // the held frame once its owner is gone
    std::vector<std::uint8_t> samples_;

    // RGB24 input: the frame converted to YUY2, and the last input frame as
    // received (packed rows) for the unaveraged GetFrame.
    std::vector<std::uint8_t> converted_;
    std::vector<std::uint8_t> lastInput_;
    int lastInputWidth_ = 0;
    int lastInputHeight_ = 0;
};

}  // namespace kolvane::zantho
