#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace kolvane {

// A timer of a control: calls its callback once after the interval, or every
// interval until stopped.
class IControlTimer {
  public:
    virtual ~IControlTimer() = default;
    virtual void Start(int milliseconds, bool repeating) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

// The time source of the controls (button repeat, edit delay, grid
// auto-scroll, double clicks). Controls use the system clock unless given
// another one, so tests can drive time by hand.
class IControlClock {
  public:
    virtual ~IControlClock() = default;
    virtual std::int64_t NowMs() const = 0;
    virtual std::unique_ptr<IControlTimer> CreateTimer(std::function<void()> callback) = 0;
};

// Real time: QTimer and a monotonic clock. It holds no state of its own, so
// every control can carry one.
class CSystemClock final : public IControlClock {
  public:
    std::int64_t NowMs() const override;
    std::unique_ptr<IControlTimer> CreateTimer(std::function<void()> callback) override;
};

}  // namespace kolvane
