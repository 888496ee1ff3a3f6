#include "platform/one_shot.hpp"
#include "platform/system_clock.hpp"
#include "platform/task_slot.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

// Coroutines take everything by value or pointer: a capturing lambda would dangle once suspended.
QCoro::Task<> sleepThenMark(Clock* clock, Clock::Duration duration, CancellationToken token, bool* done) {
    co_await clock->sleep(duration, token);
    *done = true;
}

QCoro::Task<> awaitShot(OneShot<int> shot, std::optional<int>* result, QThread** resumedOn) {
    *result = co_await shot;
    *resumedOn = QThread::currentThread();
}

// Every timing test rests on this ordering.
TEST(ManualClockTest, RunsDueEntriesInDeadlineThenSchedulingOrderAndRepeatsUntilTheTimerGoes) {
    ManualClock clock;
    std::vector<int> fired;
    clock.schedule(2s, 0s, [&] { fired.push_back(3); });
    clock.schedule(1s, 0s, [&] { fired.push_back(1); });
    clock.schedule(1s, 0s, [&] {
        fired.push_back(2);
        // Scheduled while advancing and still inside the step: runs in the same advance.
        clock.schedule(clock.monotonic() + 500ms, 0s, [&] { fired.push_back(4); });
    });
    clock.schedule(5s, 0s, [&] { fired.push_back(99); });

    clock.advance(1999ms);
    EXPECT_EQ(fired, (std::vector{1, 2, 4}));
    clock.advance(1ms);
    EXPECT_EQ(fired, (std::vector{1, 2, 4, 3}));
    EXPECT_EQ(clock.pendingCount(), 1u);

    // A repeating timer ticks every interval until destroyed, even from its own tick.
    clock.advance(3s);
    const auto start = clock.monotonic();
    std::vector<Clock::Duration> ticks;
    std::unique_ptr<RepeatingTimer> timer;
    timer = clock.repeat(2s, 200ms, [&] {
        ticks.push_back(clock.monotonic() - start);
        if (ticks.size() == 3)
            timer.reset();
    });
    clock.advance(20s);
    EXPECT_EQ(ticks, (std::vector<Clock::Duration>{2s, 4s, 6s}));
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST(ClockSleepTest, WakesAtTheDeadlineOrAfterTheCancellerReturnsAsATaskSlotsOldTaskDoes) {
    ManualClock clock;
    bool done = false;
    sleepThenMark(&clock, 300s, {}, &done);
    clock.advance(299'999ms);
    EXPECT_FALSE(done);
    clock.advance(1ms);
    EXPECT_TRUE(done);

    CancellationSource source;
    done = false;
    sleepThenMark(&clock, 300s, source.token(), &done);
    source.cancel();
    EXPECT_FALSE(done) << "the sleeper must not run inside cancel()";
    clock.runDue();
    EXPECT_TRUE(done);
    EXPECT_EQ(clock.pendingCount(), 0u) << "the original wake-up must be gone";

    done = false;
    sleepThenMark(&clock, 300s, source.token(), &done);
    EXPECT_TRUE(done) << "an already cancelled sleep does not suspend";

    // Starting a new task in a slot cancels and wakes the old one.
    TaskSlot slot;
    bool firstDone = false;
    bool secondDone = false;
    slot.start([&](CancellationToken token) { return sleepThenMark(&clock, 60s, token, &firstDone); });
    slot.start([&](CancellationToken token) { return sleepThenMark(&clock, 60s, token, &secondDone); });
    clock.runDue();
    EXPECT_TRUE(firstDone);
    EXPECT_FALSE(secondDone);
    EXPECT_TRUE(slot.isRunning()) << "the old task ending must not mark the new one finished";

    clock.advance(60s);
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(slot.isRunning());

    bool dropped = false;
    {
        TaskSlot scoped;
        scoped.start([&](CancellationToken token) { return sleepThenMark(&clock, 1h, token, &dropped); });
    }
    clock.runDue();
    EXPECT_TRUE(dropped) << "destroying the slot cancels its task";
}

TEST(OneShotTest, OneOfManyRacingThreadsWinsAndTheWaiterResumesOnItsOwnThread) {
    OneShot<int> shot;
    std::optional<int> result;
    QThread* resumedOn = nullptr;
    awaitShot(shot, &result, &resumedOn);

    std::atomic<int> wins = 0;
    std::vector<std::unique_ptr<QThread>> racers;
    for (int i = 0; i < 8; ++i) {
        racers.emplace_back(QThread::create([shot, i, &wins] { wins += shot.resume(i) ? 1 : 0; }));
        racers.back()->start();
    }
    for (auto& racer : racers)
        racer->wait();
    EXPECT_EQ(wins, 1);
    EXPECT_FALSE(result) << "the waiter must not run on a racer's thread";
    QCoreApplication::processEvents();
    EXPECT_TRUE(result);
    EXPECT_EQ(resumedOn, QThread::currentThread());

    // A result that came before the wait is delivered as soon as the waiter awaits it.
    OneShot<int> early;
    EXPECT_TRUE(early.resume(1));
    awaitShot(early, &result, &resumedOn);
    EXPECT_EQ(result, 1);
}

// Qt fires a coarse timer anywhere within 1/20 of its interval either side of it.
TEST(SystemClockTest, ArmsACoarseTimerOnlyWhereItsSpreadStaysWithinTheTolerance) {
    // Time left, tolerance, whether the timer is coarse and whether it may fire before the deadline.
    const std::tuple<Clock::Duration, Clock::Duration, bool, bool> cases[] = {
        {2s, 400ms, true, false},
        {10s, 2s, true, false},
        // 10 % cannot cover the 10.5 % lateness of a timer that never fires early.
        {10s, 1s, true, true},
        {30s, 1500ms, true, true},
        {10s, 499ms, false, false},
        {15ms, 1s, false, false},
        {-1s, 1s, false, false},
    };
    for (const auto& [remaining, tolerance, coarse, mayFireEarly] : cases) {
        SCOPED_TRACE(std::to_string(remaining.count()) + " " + std::to_string(tolerance.count()));
        const auto arming = SystemClock::firstArming(remaining, tolerance);
        ASSERT_EQ(arming.type == Qt::CoarseTimer, coarse);
        if (!coarse)
            EXPECT_GE(arming.interval, std::max(remaining, Clock::Duration::zero()));
        else
            EXPECT_EQ(std::pair(arming.interval * 21 / 20 <= remaining + tolerance,
                                arming.interval * 19 / 20 < remaining),
                      std::pair(true, mayFireEarly));
    }
}

TEST(SystemClockTest, NeverRunsBeforeTheDeadlineAndRearmsAnEarlyTimerPrecisely) {
    SystemClock clock;
    int runs = 0;
    clock.schedule(clock.monotonic() + 10s, 1s, [&] { ++runs; });
    auto* timer = clock.findChild<QTimer*>();
    ASSERT_EQ(timer->timerType(), Qt::CoarseTimer);
    // As Qt may fire it: early.
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer) << "a coarse re-arm can fire early again";

    const auto start = clock.monotonic();
    bool done = false;
    sleepThenMark(&clock, 30ms, {}, &done);
    QElapsedTimer guard;
    guard.start();
    while (!done && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_TRUE(done);
    EXPECT_GE(clock.monotonic() - start, 30ms);
}

} // namespace
} // namespace tessaron::testing
