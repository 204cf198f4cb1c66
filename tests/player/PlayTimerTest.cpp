#include <gtest/gtest.h>

#include <QCoreApplication>

#include "player/PlayTimer.h"
#include "tests/player/fixtures/PlayFixtures.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;
using test::CManualPlayClock;

// Runs the event loop until `count` ticks have arrived; the timer thread's
// queued ticks wake it, so nothing here waits on the wall clock.
void AwaitTicks(const std::vector<PlayTick>& ticks, std::size_t count) {
    while (ticks.size() < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

TEST(PlayTimerTest, TicksFallOnAbsoluteDeadlinesAndLateOnesFollowAtOnce) {
    CManualPlayClock clock;
    CPlayTimer timer(clock);
    std::vector<PlayTick> ticks;
    std::vector<IPlayClock::TimePoint> servedAt;
    const IPlayClock::TimePoint epoch = clock.Now();
    ASSERT_TRUE(timer.Start(FramePeriod(24, false), [&](const PlayTick& tick) {
        ticks.push_back(tick);
        servedAt.push_back(clock.Now());
    }));

    clock.Advance(1s);  // a whole second at once: 24 ticks are due
    AwaitTicks(ticks, 24);
    clock.Advance(100ms);  // tick 25 is due 1041.667 ms in, tick 26 at 1083.333 ms
    AwaitTicks(ticks, 26);
    timer.Stop();
    QCoreApplication::processEvents();

    ASSERT_EQ(ticks.size(), 26u);
    for (std::size_t k = 0; k < ticks.size(); ++k) {
        const auto n = static_cast<std::int64_t>(k + 1);
        EXPECT_EQ(ticks[k].index, static_cast<std::uint64_t>(n));
        EXPECT_EQ(ticks[k].deadline, epoch + std::chrono::nanoseconds(n * 1'000'000'000 / 24));
        EXPECT_GE(servedAt[k], ticks[k].deadline);
    }
    EXPECT_EQ(ticks[23].deadline, epoch + 1s);
}

TEST(PlayTimerTest, StoppingNeverWaitsForATickInFlight) {
    CManualPlayClock clock;
    CPlayTimer timer(clock);
    int ticks = 0;
    // Stop lands wherever the timer thread happens to be: waiting, about to
    // hand a tick over, or waiting for a tick queued to this thread.
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(timer.Start(FramePeriod(30, false), [&](const PlayTick&) { ++ticks; }));
        clock.Advance(100ms);
        timer.Stop();
        EXPECT_FALSE(timer.IsRunning());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 0);  // ticks queued before a stop never run
}

TEST(PlayTimerTest, ATickMayStopOrRestartItsOwnTimer) {
    CManualPlayClock clock;
    CPlayTimer timer(clock);
    std::vector<PlayTick> ticks;
    int restarts = 0;
    ASSERT_TRUE(timer.Start(FramePeriod(25, false), [&](const PlayTick& tick) {
        ticks.push_back(tick);
        timer.Stop();
        if (restarts++ == 0) {
            timer.Start(FramePeriod(25, true), [&](const PlayTick& again) {
                ticks.push_back(again);
                timer.Stop();
            });
        }
    }));
    clock.Advance(40ms);
    AwaitTicks(ticks, 1);
    EXPECT_TRUE(timer.IsRunning());  // the second run
    clock.Advance(80ms);
    AwaitTicks(ticks, 2);
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_EQ(ticks[1].index, 1u);
    EXPECT_EQ(ticks[1].deadline, ticks[0].deadline + 80ms);
}

TEST(PlayTimerTest, ATimerDestroyedWithATickQueuedLeavesNothingBehind) {
    CManualPlayClock clock;
    int ticks = 0;
    {
        CPlayTimer timer(clock);
        ASSERT_TRUE(timer.Start(FramePeriod(15, false), [&](const PlayTick&) { ++ticks; }));
        clock.Advance(1s);
    }
    QCoreApplication::processEvents();
    clock.Advance(1s);  // no listener is left on the clock
    EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace kolvane
