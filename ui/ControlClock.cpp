#include "ui/ControlClock.h"

#include <chrono>

#include <QTimer>

namespace kolvane {
namespace {

class CQtTimer final : public IControlTimer {
  public:
    explicit CQtTimer(std::function<void()> callback) {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this, callback = std::move(callback)] {
            if (timer_.isSingleShot()) timer_.stop();
            callback();
        });
    }
    void Start(int milliseconds, bool repeating) override {
        timer_.setSingleShot(!repeating);
        timer_.start(milliseconds);
    }
    void Stop() override { timer_.stop(); }
    bool IsActive() const override { return timer_.isActive(); }

  private:
    QTimer timer_;
};

}  // namespace

std::int64_t CSystemClock::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<IControlTimer> CSystemClock::CreateTimer(std::function<void()> callback) {
    return std::make_unique<CQtTimer>(std::move(callback));
}

}  // namespace kolvane
