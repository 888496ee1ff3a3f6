#include "session/pull_coalescer.hpp"

#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

using namespace std::chrono_literals;
using tessaron::Clock;
using tessaron::TessaronPullCoalescer;
using When = std::optional<Clock::Duration>;

namespace {

const QUuid sourceA = QUuid::createUuid(), sourceB = QUuid::createUuid();

struct Caller {
    When endedAt;
    QString failure;
};

QCoro::Task<> call(TessaronPullCoalescer* coalescer, QUuid key, TessaronPullCoalescer::Pull pull,
                   Clock* clock, Caller* caller) {
    try {
        co_await coalescer->run(key, std::move(pull));
    } catch (const std::exception& error) {
        caller->failure = QString::fromUtf8(error.what());
    }
    caller->endedAt = clock->monotonic();
}

struct PullCoalescerTest : ::testing::Test {
    // A pull that takes `duration` on the clock and may then fail.
    TessaronPullCoalescer::Pull pullTaking(Clock::Duration duration, bool fails = false) {
        return [this, duration, fails]() -> QCoro::Task<> {
            ++started;
            co_await clock.sleep(duration);
            if (fails)
                throw std::runtime_error("roster unavailable");
        };
    }

    // Asks `through` for the key with such a pull; the caller's record lives as long as the test.
    const Caller& ask(TessaronPullCoalescer& through, const QUuid& key, Clock::Duration duration,
                      bool fails = false) {
        call(&through, key, pullTaking(duration, fails), &clock, &callers.emplace_back());
        return callers.back();
    }

    tessaron::testing::ManualClock clock;
    TessaronPullCoalescer coalescer;
    int started = 0;
    std::deque<Caller> callers;
};

} // namespace

TEST_F(PullCoalescerTest, ASecondCallForARunningKeyWaitsForThatPullAndOnlyTheStarterSeesItsFailure) {
    const auto& first = ask(coalescer, sourceA, 5s);
    clock.advance(2s);
    const auto& second = ask(coalescer, sourceA, 1s);
    // Another key pulls alongside, and fails.
    const auto& other = ask(coalescer, sourceB, 1s, true);
    const auto& otherJoiner = ask(coalescer, sourceB, 1s);
    EXPECT_EQ(started, 2);
    EXPECT_TRUE(coalescer.isRunning(sourceA));

    clock.advance(1s);
    EXPECT_EQ(std::tuple(other.failure, otherJoiner.failure, otherJoiner.endedAt),
              std::tuple(QStringLiteral("roster unavailable"), QString(), When(3s)));
    EXPECT_FALSE(coalescer.isRunning(sourceB));
    clock.advance(2s);
    EXPECT_EQ(std::pair(first.endedAt, second.endedAt), std::pair(When(5s), When(5s)))
        << "the joiner ends with the pull it joined, not after a pull of its own";
    EXPECT_FALSE(coalescer.isRunning(sourceA));
}

TEST_F(PullCoalescerTest, AJoinerThatPullsAgainAsItWakesStartsAFreshPullAndAPullMayOutliveItsCoalescer) {
    ask(coalescer, sourceA, 1s);
    Caller again;
    // Joins the running pull, then at once asks for the same key again.
    [](PullCoalescerTest* test, Caller* again) -> QCoro::Task<> {
        co_await test->coalescer.run(sourceA, test->pullTaking(9s));
        co_await call(&test->coalescer, sourceA, test->pullTaking(2s), &test->clock, again);
    }(this, &again);

    clock.advance(3s);
    EXPECT_EQ(again.endedAt, 3s) << "the joiner woke at 1 s and ran a pull of its own";

    // A pull may outlive its coalescer.
    auto shortLived = std::make_unique<TessaronPullCoalescer>();
    const auto& owner = ask(*shortLived, sourceB, 1s);
    const auto& joiner = ask(*shortLived, sourceB, 1s);
    shortLived.reset();
    clock.advance(1s);
    EXPECT_EQ(std::pair(owner.endedAt, joiner.endedAt), std::pair(When(4s), When(4s)));
}
