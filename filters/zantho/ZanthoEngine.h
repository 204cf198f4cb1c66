#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "filters/zantho/IZantho.h"
#include "filters/zantho/ZanthoPixels.h"

namespace kolvane::zantho {

enum class InputFormat { kNone, kYuy2, kBgr };

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
    void SetOption(int option) { m_option = option; }
    // Refuses N outside 1..16 and keeps the previous value.
    bool SetDenoise(int frames);
    void SetMotionDetect(bool on) { m_motionDetect = on; }
    void SetHorizontal(float horizontal) { m_horizontal = horizontal; }
    void SetVertical(float vertical) { m_vertical = vertical; }

    float Whiteness() const { return m_whiteness; }
    float Brightness() const { return m_brightness; }
    float Contrast() const { return m_contrast; }
    float Color() const { return m_color; }
    int Option() const { return m_option; }
    int Denoise() const { return m_denoise; }
    bool MotionDetect() const { return m_motionDetect; }
    float Horizontal() const { return m_horizontal; }
    float Vertical() const { return m_vertical; }
    bool IsLive() const { return m_live; }
    bool IsStill() const { return m_still; }

    // A new input format; a change of format or size restarts live detection.
    void SetInputFormat(InputFormat format, int width, int height);
    ZanthoFrameSize InputSize() const { return {m_width, m_height}; }

    // True when frames may leave unchanged: YUY2 input, neutral levels, no
    // mirror, no flip. The frames are still watched.
    bool WantsPassthrough() const;

    // Watches one input frame (history, freeze, motion) and, when the picture
    // is live and `out` is given, writes it adjusted and oriented as YUY2.
    // `frame` is YUY2 or RGB24 as set by SetInputFormat, top row first.
    FrameResult ProcessFrame(const std::uint8_t* frame, std::ptrdiff_t pitch, std::uint8_t* out,
                             std::ptrdiff_t outPitch);

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
    Orientation CurrentOrientation() const;
    void UpdateLevels();
    bool UpdateHistory(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameResult* result);
    void RebuildHistory(const std::uint8_t* frame, std::ptrdiff_t pitch);
    std::uint8_t* Slot(int index) { return m_history.data() + m_historyBytes * index; }
    const std::uint8_t* Slot(int index) const { return m_history.data() + m_historyBytes * index; }

    // Settings.
    float m_whiteness = 0.0f;
    float m_brightness = 0.0f;
    float m_contrast = 1.0f;
    float m_color = 1.0f;
    int m_option = 0;
    int m_denoise = 1;
    bool m_motionDetect = false;
    float m_horizontal = 1.0f;
    float m_vertical = 1.0f;
    LevelTables m_levels;

    // Signal and motion state.
    int m_sameCount = 0;
    int m_motionDivisor = 64;
    bool m_live = false;
    bool m_still = false;

    // Input format.
    InputFormat m_format = InputFormat::kNone;
    int m_width = 0;
    int m_height = 0;

    // History: m_historyCount YUY2 frames of m_historyWidth x m_historyHeight,
    // m_historyBytes each, packed rows. m_frameLength 0 asks for a rebuild at
    // the next frame while the held frames still serve GetFrame.
    std::vector<std::uint8_t> m_history;
    int m_historyCount = 0;
    int m_historyIndex = 0;
    std::size_t m_historyBytes = 0;
    std::size_t m_frameLength = 0;
    int m_historyWidth = 0;
    int m_historyHeight = 0;

    // RGB24 input: the frame converted to YUY2, and the last input frame as
    // received (packed rows) for the unaveraged GetFrame.
    std::vector<std::uint8_t> m_converted;
    std::vector<std::uint8_t> m_lastInput;
    int m_lastInputWidth = 0;
    int m_lastInputHeight = 0;
};

}  // namespace kolvane::zantho
