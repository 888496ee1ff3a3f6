#include "health/bounded_wait.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using tessaron::Clock;
using tessaron::TessaronBoundedWait;
using tessaron::testing::ManualClock;
using Outcome = TessaronBoundedWait::Outcome;

namespace {

struct Observed {
    std::optional<Outcome> outcome;
    Clock::Duration answeredAt{};
    int outcomes = 0;
    int lateRuns = 0;
    bool workEnded = false;
};

QCoro::Task<> waitFor(Clock* clock, Clock::Duration deadline, TessaronBoundedWait::Work work, Observed* seen,
                      bool withLateHandler = true) {
    TessaronBoundedWait::LateHandler onLate;
    if (withLateHandler)
        onLate = [seen] {
            ++seen->lateRuns;
        };
    const auto outcome =
        co_await TessaronBoundedWait(*clock).run(deadline, std::move(work), std::move(onLate));
    seen->outcome = outcome;
    seen->answeredAt = clock->monotonic();
    ++seen->outcomes;
}

// A capturing lambda coroutine on purpose: the wait keeps the work alive while it is suspended.
TessaronBoundedWait::Work workTaking(Clock* clock, Clock::Duration duration, Observed* seen) {
    return [clock, duration, seen]() -> QCoro::Task<> {
        co_await clock->sleep(duration);
        seen->workEnded = true;
    };
}

} // namespace

TEST(BoundedWaitTest, WorkShorterOrLongerThanTheDeadline) {
    struct Case {
        const char* name;
        Clock::Duration work;
        Outcome outcome;
        Clock::Duration answeredAt;
        int lateRuns;
    };
    const Case cases[] = {
        {"work first", 1s, Outcome::finished, 1s, 0},
        {"deadline first", 5s, Outcome::timedOut, 3s, 1},
        // Both fall due together; the work was scheduled first, so it claims the gate.
        {"together", 3s, Outcome::finished, 3s, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        Observed seen;
        waitFor(&clock, 3s, workTaking(&clock, c.work, &seen), &seen);
        clock.advance(c.answeredAt - 1ms);
        EXPECT_FALSE(seen.outcome);
        clock.advance(1ms);
        EXPECT_EQ(seen.outcome, c.outcome);
        EXPECT_EQ(seen.answeredAt, c.answeredAt);

        clock.advance(c.work - c.answeredAt);
        EXPECT_TRUE(seen.workEnded) << "the deadline never cancels the work";
        EXPECT_EQ(seen.lateRuns, c.lateRuns) << "the late handler runs as the work ends";
        clock.advance(10s);
        EXPECT_EQ(seen.outcomes, 1);
        EXPECT_EQ(seen.lateRuns, c.lateRuns);
        EXPECT_EQ(clock.pendingCount(), 0u);
    }
}

TEST(BoundedWaitTest, WorkThatEndsBeforeTheWaitSuspendsAnswersAtOnce) {
    ManualClock clock;
    Observed seen;
    waitFor(
        &clock, 3s,
        [&seen]() -> QCoro::Task<> {
            seen.workEnded = true;
            co_return;
        },
        &seen);
    clock.advance(10s);
    EXPECT_EQ(seen.outcome, Outcome::finished);
    EXPECT_EQ(seen.answeredAt, 0s);
    EXPECT_EQ(seen.outcomes, 1);
    EXPECT_EQ(seen.lateRuns, 0);
}

TEST(BoundedWaitTest, FailingWorkEndsTheWaitInsteadOfRunningOutTheDeadline) {
    ManualClock clock;
    Observed seen;
    waitFor(
        &clock, 3s,
        [&clock]() -> QCoro::Task<> {
            co_await clock.sleep(1s);
            throw std::runtime_error("roster pull failed");
        },
        &seen);
    clock.advance(1s);
    EXPECT_EQ(seen.outcome, Outcome::finished);
    EXPECT_EQ(seen.answeredAt, 1s);
}
