#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ui/ControlClock.h"

namespace kolvane::test {

// A control clock that moves only when told: Advance runs every timer whose
// deadline falls within the step, in deadline order, at its own time.
class CManualClock final : public IControlClock {
  public:
    std::int64_t NowMs() const override { return now_; }

    std::unique_ptr<IControlTimer> CreateTimer(std::function<void()> callback) override {
        auto timer = std::make_unique<Timer>(*this, std::move(callback));
        timers_.push_back(timer.get());
        return timer;
    }

    void Advance(std::int64_t milliseconds) {
        const std::int64_t end = now_ + milliseconds;
        for (;;) {
            Timer* next = nullptr;
            for (Timer* timer : timers_) {
                if (timer->active && timer->deadline <= end &&
                    (next == nullptr || timer->deadline < next->deadline)) {
                    next = timer;
                }
            }
            if (next == nullptr) break;
            now_ = next->deadline;
            if (next->repeating) {
                next->deadline += next->interval;
            } else {
                next->active = false;
            }
            next->callback();
        }
        now_ = end;
    }

  private:
    struct Timer final : IControlTimer {
        Timer(CManualClock& clock, std::function<void()> callback)
            : clock(clock), callback(std::move(callback)) {}
        ~Timer() override { std::erase(clock.timers_, this); }
        void Start(int milliseconds, bool repeat) override {
            interval = std::max(1, milliseconds);
            repeating = repeat;
            deadline = clock.now_ + interval;
            active = true;
        }
        void Stop() override { active = false; }
        bool IsActive() const override { return active; }

        CManualClock& clock;
        std::function<void()> callback;
        std::int64_t deadline = 0;
        int interval = 0;
        bool repeating = false;
        bool active = false;
    };

    std::int64_t now_ = 1'000'000;
    std::vector<Timer*> timers_;
};

}  // namespace kolvane::test
