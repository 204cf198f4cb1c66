#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace kolvane {

// The clock of the playback schedule and of the run statistics. Tests put a
// clock in that moves only when told.
class IPlayClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~IPlayClock() = default;
    virtual TimePoint Now() const = 0;
    // Waits on `wake` (whose mutex `lock` holds) until `deadline` has come on
    // this clock or `wake` is notified; may return early, callers look again.
    virtual void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                           TimePoint deadline) const = 0;
    // Called whenever the clock jumps (a manual clock); a real clock never
    // calls it, since waiting until the deadline is enough. None clears it.
    virtual void SetAdvanceListener(std::function<void()> /*listener*/) {}
};

// The system's monotonic clock.
class CSteadyPlayClock final : public IPlayClock {
  public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) const override {
        wake.wait_until(lock, deadline);
    }
};

// The exact period of a frame rate. Tick k falls k × 1 s / rate after the
// start (twice that at half speed), worked out from k every time, so that
// no rounding adds up over a run: at 24 fps tick 24000 is exactly 1000 s in.
class FramePeriod {
  public:
    FramePeriod() = default;
    FramePeriod(int framesPerSecond, bool halfSpeed)
        : nanoseconds_(halfSpeed ? 2'000'000'000 : 1'000'000'000),
          frames_(framesPerSecond > 0 ? framesPerSecond : 1) {}

    // The time from the start to tick `k`.
    std::chrono::nanoseconds Ticks(std::int64_t k) const {
        return std::chrono::nanoseconds(k * nanoseconds_ / frames_);
    }
    std::chrono::nanoseconds One() const { return Ticks(1); }
    bool operator==(const FramePeriod&) const = default;

  private:
    std::int64_t nanoseconds_ = 1'000'000'000;
    std::int64_t frames_ = 1;
};

}  // namespace kolvane
