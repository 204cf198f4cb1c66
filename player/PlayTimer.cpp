#include "player/PlayTimer.h"

#include <condition_variable>
#include <mutex>
#include <system_error>

namespace kolvane {

struct CPlayTimer::Run {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool inFlight = false;  // a tick is queued or running on the user-interface thread
    FramePeriod period;
    IPlayClock::TimePoint epoch;
    Handler onTick;
};

CPlayTimer::CPlayTimer(IPlayClock& clock) : clock_(clock) {}

CPlayTimer::~CPlayTimer() {
    Stop();
}

bool CPlayTimer::Start(FramePeriod period, Handler onTick) {
    if (run_ != nullptr || !onTick) return false;
    auto run = std::make_shared<Run>();
    run->period = period;
    run->epoch = clock_.Now();
    run->onTick = std::move(onTick);
    clock_.SetAdvanceListener([run] {
        std::lock_guard lock(run->mutex);
        run->wake.notify_all();
    });
    try {
        thread_ = std::thread([this, run] { Loop(run); });
    } catch (const std::system_error&) {
        clock_.SetAdvanceListener(nullptr);
        return false;
    }
    run_ = std::move(run);
    return true;
}

void CPlayTimer::Stop() {
    if (run_ == nullptr) return;
    {
        std::lock_guard lock(run_->mutex);
        run_->stop = true;
    }
    run_->wake.notify_all();
    thread_.join();
    clock_.SetAdvanceListener(nullptr);
    run_.reset();
}

void CPlayTimer::Loop(std::shared_ptr<Run> run) {
    std::unique_lock lock(run->mutex);
    for (std::uint64_t k = 1;; ++k) {
        const PlayTick tick{k, run->epoch + run->period.Ticks(static_cast<std::int64_t>(k))};
        while (!run->stop && clock_.Now() < tick.deadline)
            clock_.WaitUntil(run->wake, lock, tick.deadline);
        if (run->stop) return;
        run->inFlight = true;
        lock.unlock();
        QMetaObject::invokeMethod(
            &receiver_, [run, tick] { Deliver(run, tick); }, Qt::QueuedConnection);
        lock.lock();
        run->wake.wait(lock, [&] { return run->stop || !run->inFlight; });
        if (run->stop) return;
    }
}

void CPlayTimer::Deliver(const std::shared_ptr<Run>& run, const PlayTick& tick) {
    {
        std::lock_guard lock(run->mutex);
        if (run->stop) return;
    }
    run->onTick(tick);  // may stop this run, or stop it and start another
    {
        std::lock_guard lock(run->mutex);
        run->inFlight = false;
    }
    run->wake.notify_all();
}

}  // namespace kolvane
