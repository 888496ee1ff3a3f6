#include "platform/one_shot.hpp"
#include "platform/system_clock.hpp"
#include "platform/task_slot.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

using namespace std::chrono_literals;
using tessaron::CancellationSource;
using tessaron::CancellationToken;
using tessaron::Clock;
using tessaron::OneShot;
using tessaron::TaskSlot;
using tessaron::testing::ManualClock;

namespace {

// Coroutines take everything by value or pointer: a capturing lambda would dangle once suspended.
QCoro::Task<> sleepThenMark(Clock* clock, Clock::Duration duration, CancellationToken token, bool* done) {
    co_await clock->sleep(duration, token);
    *done = true;
}

QCoro::Task<> waitRounds(Clock* clock, int rounds, Clock::Duration each, int* completed) {
    for (int i = 0; i < rounds; ++i) {
        co_await clock->sleep(each);
        ++*completed;
    }
}

QCoro::Task<int> awaitShot(OneShot<int> shot) {
    co_return co_await shot;
}

template <typename T> QCoro::Task<> store(QCoro::Task<T> task, std::optional<T>* into) {
    *into = co_await std::move(task);
}

} // namespace

TEST(ManualClockTest, RunsDueEntriesInDeadlineThenSchedulingOrder) {
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
}

TEST(ManualClockTest, EntriesSeeTheirOwnDeadlineAndWallDateFollowsWithSkew) {
    ManualClock clock;
    const auto start = clock.now();
    Clock::Duration seen{};
    clock.schedule(7s, 0s, [&] { seen = clock.monotonic(); });
    clock.advance(10s);
    EXPECT_EQ(seen, 7s);
    EXPECT_EQ(start.secsTo(clock.now()), 10);

    clock.skewWallDate(-1h);
    EXPECT_EQ(start.secsTo(clock.now()), 10 - 3600);
    EXPECT_EQ(clock.monotonic(), 10s);
}

TEST(ClockSleepTest, WakesExactlyAtTheDeadline) {
    ManualClock clock;
    bool done = false;
    sleepThenMark(&clock, 300s, {}, &done);
    clock.advance(299'999ms);
    EXPECT_FALSE(done);
    clock.advance(1ms);
    EXPECT_TRUE(done);
}

TEST(ClockSleepTest, CancellationWakesTheSleeperAfterTheCancellerReturns) {
    ManualClock clock;
    CancellationSource source;
    bool done = false;
    sleepThenMark(&clock, 300s, source.token(), &done);

    source.cancel();
    EXPECT_FALSE(done) << "the sleeper must not run inside cancel()";
    clock.runDue();
    EXPECT_TRUE(done);
    EXPECT_EQ(clock.monotonic(), 0s);
    EXPECT_EQ(clock.pendingCount(), 0u) << "the original wake-up must be gone";
}

TEST(ClockSleepTest, AlreadyCancelledSleepDoesNotSuspend) {
    ManualClock clock;
    CancellationSource source;
    source.cancel();
    bool done = false;
    sleepThenMark(&clock, 300s, source.token(), &done);
    EXPECT_TRUE(done);
}

TEST(ClockSleepTest, LongVirtualWaitsTakeMicroseconds) {
    ManualClock clock;
    int completed = 0;
    waitRounds(&clock, 600, 500ms, &completed);
    QElapsedTimer real;
    real.start();
    clock.advance(300s);
    EXPECT_EQ(completed, 600);
    EXPECT_LT(real.elapsed(), 100);
}

TEST(RepeatingTimerTest, TicksEveryIntervalUntilDestroyedEvenFromItsOwnTick) {
    ManualClock clock;
    std::vector<Clock::Duration> ticks;
    std::unique_ptr<tessaron::RepeatingTimer> timer;
    timer = clock.repeat(2s, 200ms, [&] {
        ticks.push_back(clock.monotonic());
        if (ticks.size() == 3)
            timer.reset();
    });
    clock.advance(20s);
    EXPECT_EQ(ticks, (std::vector<Clock::Duration>{2s, 4s, 6s}));
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST(TaskSlotTest, StartingANewTaskCancelsAndWakesTheOldOne) {
    ManualClock clock;
    TaskSlot slot;
    bool firstDone = false;
    bool secondDone = false;
    CancellationToken firstToken;
    slot.start([&](CancellationToken token) {
        firstToken = token;
        return sleepThenMark(&clock, 60s, token, &firstDone);
    });
    EXPECT_TRUE(slot.isRunning());

    slot.start([&](CancellationToken token) { return sleepThenMark(&clock, 60s, token, &secondDone); });
    EXPECT_TRUE(firstToken.isCancelled());
    clock.runDue();
    EXPECT_TRUE(firstDone);
    EXPECT_FALSE(secondDone);
    EXPECT_TRUE(slot.isRunning()) << "the old task ending must not mark the new one finished";

    clock.advance(60s);
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(slot.isRunning());
}

TEST(TaskSlotTest, CancelAndDestructionCancelTheStoredTask) {
    ManualClock clock;
    bool done = false;
    TaskSlot slot;
    slot.start([&](CancellationToken token) { return sleepThenMark(&clock, 1h, token, &done); });
    slot.cancel();
    EXPECT_FALSE(slot.isRunning());
    clock.runDue();
    EXPECT_TRUE(done);

    done = false;
    {
        TaskSlot dropped;
        dropped.start([&](CancellationToken token) { return sleepThenMark(&clock, 1h, token, &done); });
    }
    clock.runDue();
    EXPECT_TRUE(done);
}

TEST(OneShotTest, FirstResultWinsWhetherItArrivesBeforeOrAfterTheWait) {
    OneShot<int> early;
    EXPECT_TRUE(early.resume(1));
    EXPECT_FALSE(early.resume(2));
    std::optional<int> earlyResult;
    store(awaitShot(early), &earlyResult);
    EXPECT_EQ(earlyResult, 1);

    OneShot<int> late;
    std::optional<int> lateResult;
    store(awaitShot(late), &lateResult);
    EXPECT_FALSE(lateResult);
    EXPECT_TRUE(late.resume(3));
    EXPECT_FALSE(late.resume(4));
    EXPECT_EQ(lateResult, 3);
}

TEST(OneShotTest, ResultFromAnotherThreadResumesTheWaiterOnItsOwnThread) {
    OneShot<int> shot;
    std::optional<int> result;
    QThread* resumedOn = nullptr;
    auto waiter = [](OneShot<int> shot, std::optional<int>* result, QThread** resumedOn) -> QCoro::Task<> {
        *result = co_await shot;
        *resumedOn = QThread::currentThread();
    };
    waiter(shot, &result, &resumedOn);

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
}

TEST(SystemClockTest, NeverWakesBeforeTheDeadline) {
    tessaron::SystemClock clock;
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
