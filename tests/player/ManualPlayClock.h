#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

#include "player/PlayClock.h"

namespace kolvane::test {

// A play clock that moves only when told. Safe to read from the timer thread.
class CManualPlayClock final : public IPlayClock {
  public:
    TimePoint Now() const override { return TimePoint(std::chrono::nanoseconds(now_.load())); }
    void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   TimePoint /*deadline*/) const override {
        wake.wait(lock);
    }
    void SetAdvanceListener(std::function<void()> listener) override {
        std::lock_guard lock(mutex_);
        listener_ = std::move(listener);
    }

    void SetTo(TimePoint when) {
        now_.store(when.time_since_epoch().count());
        std::function<void()> listener;
        {
            std::lock_guard lock(mutex_);
            listener = listener_;
        }
        if (listener) listener();
    }
    void Advance(std::chrono::nanoseconds step) { SetTo(Now() + step); }

  private:
    std::atomic<std::int64_t> now_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
    mutable std::mutex mutex_;
    std::function<void()> listener_;
};

}  // namespace kolvane::test
