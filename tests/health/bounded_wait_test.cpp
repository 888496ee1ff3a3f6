#include "health/bounded_wait.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Outcome = TessaronBoundedWait::Outcome;
using When = std::optional<Clock::Duration>;

namespace {

// When each thing happened, on the monotonic clock.
struct Observed {
    std::optional<Outcome> outcome;
    When answeredAt, lateRunAt, workEndedAt;
    int outcomes = 0;
};

QCoro::Task<> waitFor(Clock* clock, Clock::Duration deadline, TessaronBoundedWait::Work work,
                      Observed* seen) {
    const auto onLate = [clock, seen] {
        seen->lateRunAt = clock->monotonic();
    };
    const auto outcome = co_await TessaronBoundedWait(*clock).run(deadline, std::move(work), onLate);
    seen->outcome = outcome;
    seen->answeredAt = clock->monotonic();
    ++seen->outcomes;
}

} // namespace

// Capturing lambda coroutines on purpose: the wait keeps the work alive while it is suspended.
TEST(BoundedWaitTest, AnswersOnceWithWhicheverComesFirstAndNeverCancelsTheWork) {
    // How long the work takes and whether it fails; the answer and when it comes; when the late handler runs.
    const std::tuple<const char*, Clock::Duration, bool, Outcome, Clock::Duration, When> cases[] = {
        {"work first", 1s, false, Outcome::finished, 1s, std::nullopt},
        {"deadline first", 5s, false, Outcome::timedOut, 3s, 5s},
        // Both fall due together; the work was scheduled first, so it claims the gate.
        {"together", 3s, false, Outcome::finished, 3s, std::nullopt},
        {"ends at once", 0s, false, Outcome::finished, 0s, std::nullopt},
        {"fails at once", 0s, true, Outcome::finished, 0s, std::nullopt},
    };
    for (const auto& [name, work, fails, outcome, answeredAt, lateRunAt] : cases) {
        SCOPED_TRACE(name);
        ManualClock clock;
        Observed seen;
        waitFor(
            &clock, 3s,
            [&clock, &seen, duration = work, failing = fails]() -> QCoro::Task<> {
                if (duration > 0s)
                    co_await clock.sleep(duration);
                seen.workEndedAt = clock.monotonic();
                if (failing)
                    throw std::runtime_error("roster pull failed");
            },
            &seen);
        clock.advance(10s);
        // The late handler runs as the work ends.
        EXPECT_EQ(std::tuple(seen.outcome, seen.answeredAt, seen.workEndedAt, seen.lateRunAt, seen.outcomes),
                  std::tuple(std::optional(outcome), When(answeredAt), When(work), lateRunAt, 1));
        EXPECT_EQ(clock.pendingCount(), 0u);
    }
}
