#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include <QObject>

#include "player/PlayClock.h"

namespace kolvane {

// One tick of a run: its number (1 for the first) and when it was due.
struct PlayTick {
    std::uint64_t index = 0;
    IPlayClock::TimePoint deadline;
};

// What drives a run: a tick per period, each run on the user-interface
// thread.
class ITickSource {
  public:
    using Handler = std::function<void(const PlayTick&)>;

    virtual ~ITickSource() = default;
    // Tick k is due k periods after the call. False when no timer could be
    // had (the run then does not start).
    virtual bool Start(FramePeriod period, Handler onTick) = 0;
    // No tick runs after this returns. Never waits for the user-interface
    // thread, so it may be called from a tick.
    virtual void Stop() = 0;
    virtual bool IsRunning() const = 0;
};

// The periodic timer of playback: a thread that waits for each absolute
// deadline, hands the tick to the user-interface thread and waits until the
// tick is done, like a synchronous send. A tick that comes late is not made
// up for by moving the later deadlines: the ones already past follow at once.
//
// Stop() does not wait for a tick that is queued but not yet run: it wakes
// the thread, joins it, and the queued tick then finds its run stopped.
// Made, started and stopped on the user-interface thread.
class CPlayTimer final : public ITickSource {
  public:
    explicit CPlayTimer(IPlayClock& clock);
    ~CPlayTimer() override;
    CPlayTimer(const CPlayTimer&) = delete;
    CPlayTimer& operator=(const CPlayTimer&) = delete;

    bool Start(FramePeriod period, Handler onTick) override;
    void Stop() override;
    bool IsRunning() const override { return run_ != nullptr; }

  private:
    struct Run;
    void Loop(std::shared_ptr<Run> run);
    static void Deliver(const std::shared_ptr<Run>& run, const PlayTick& tick);

    IPlayClock& clock_;
    QObject receiver_;  // ticks are queued to it; it lives on the user-interface thread
    std::shared_ptr<Run> run_;
    std::thread thread_;
};

}  // namespace kolvane
