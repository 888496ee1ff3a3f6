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

QCoro::Task<> waitFor(Clock* clock, Clock::Duration deadline, TessaronBoundedWait::Work work,
                      Observed* seen) {
    const auto outcome =
        co_await TessaronBoundedWait(*clock).run(deadline, std::move(work), [seen] { ++seen->lateRuns; });
    seen->outcome = outcome;
    seen->answeredAt = clock->monotonic();
    ++seen->outcomes;
}

} // namespace

// Capturing lambda coroutines on purpose: the wait keeps the work alive while it is suspended.
TEST(BoundedWaitTest, AnswersOnceWithWhicheverComesFirstAndNeverCancelsTheWork) {
    const std::tuple<const char*, Clock::Duration, Outcome, Clock::Duration, int> cases[] = {
        {"work first", 1s, Outcome::finished, 1s, 0},
        {"deadline first", 5s, Outcome::timedOut, 3s, 1},
        // Both fall due together; the work was scheduled first, so it claims the gate.
        {"together", 3s, Outcome::finished, 3s, 0},
    };
    for (const auto& [name, work, outcome, answeredAt, lateRuns] : cases) {
        SCOPED_TRACE(name);
        ManualClock clock;
        Observed seen;
        const auto duration = work;
        waitFor(
            &clock, 3s,
            [&clock, duration, &seen]() -> QCoro::Task<> {
                co_await clock.sleep(duration);
                seen.workEnded = true;
            },
            &seen);
        clock.advance(answeredAt - 1ms);
        EXPECT_FALSE(seen.outcome);
        clock.advance(1ms);
        EXPECT_EQ(seen.outcome, outcome);

        clock.advance(work - answeredAt);
        EXPECT_TRUE(seen.workEnded);
        EXPECT_EQ(seen.lateRuns, lateRuns) << "the late handler runs as the work ends";
        clock.advance(10s);
        EXPECT_EQ(seen.outcomes, 1);
        EXPECT_EQ(clock.pendingCount(), 0u);
    }
}

TEST(BoundedWaitTest, WorkThatEndsAtOnceOrFailsEndsTheWaitAtOnce) {
    for (const bool fails : {false, true}) {
        ManualClock clock;
        Observed seen;
        waitFor(
            &clock, 3s,
            [fails]() -> QCoro::Task<> {
                if (fails)
                    throw std::runtime_error("roster pull failed");
                co_return;
            },
            &seen);
        clock.advance(10s);
        EXPECT_EQ(seen.outcome, Outcome::finished) << fails;
        EXPECT_EQ(seen.answeredAt, 0s);
        EXPECT_EQ(seen.outcomes, 1);
        EXPECT_EQ(seen.lateRuns, 0);
    }
}
