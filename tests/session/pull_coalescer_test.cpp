#include "session/pull_coalescer.hpp"

#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using tessaron::Clock;
using tessaron::TessaronPullCoalescer;
using tessaron::testing::ManualClock;

namespace {

const QUuid sourceA = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000a}"));
const QUuid sourceB = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000b}"));

struct Caller {
    bool ended = false;
    Clock::Duration endedAt{};
    QString failure;
};

struct Pulls {
    int started = 0;
    int finished = 0;
};

// A pull that takes `duration` on the clock and may then fail.
TessaronPullCoalescer::Pull pullTaking(Clock* clock, Clock::Duration duration, Pulls* pulls,
                                       bool fails = false) {
    return [clock, duration, pulls, fails]() -> QCoro::Task<> {
        ++pulls->started;
        co_await clock->sleep(duration);
        ++pulls->finished;
        if (fails)
            throw std::runtime_error("roster unavailable");
    };
}

QCoro::Task<> call(TessaronPullCoalescer* coalescer, QUuid key, TessaronPullCoalescer::Pull pull,
                   Clock* clock, Caller* caller) {
    try {
        co_await coalescer->run(key, std::move(pull));
    } catch (const std::exception& error) {
        caller->failure = QString::fromUtf8(error.what());
    }
    caller->ended = true;
    caller->endedAt = clock->monotonic();
}

class PullCoalescerTest : public ::testing::Test {
protected:
    ManualClock clock;
    TessaronPullCoalescer coalescer;
    Pulls pulls;
};

} // namespace

TEST_F(PullCoalescerTest, ASecondCallForARunningKeyWaitsForThatPullAndOnlyTheStarterSeesItsFailure) {
    Caller first, second, other, otherJoiner;
    call(&coalescer, sourceA, pullTaking(&clock, 5s, &pulls), &clock, &first);
    clock.advance(2s);
    call(&coalescer, sourceA, pullTaking(&clock, 1s, &pulls), &clock, &second);
    // Another key pulls alongside, and fails.
    call(&coalescer, sourceB, pullTaking(&clock, 1s, &pulls, true), &clock, &other);
    call(&coalescer, sourceB, pullTaking(&clock, 1s, &pulls), &clock, &otherJoiner);
    EXPECT_EQ(pulls.started, 2);
    EXPECT_TRUE(coalescer.isRunning(sourceA));

    clock.advance(1s);
    EXPECT_EQ(other.failure, QStringLiteral("roster unavailable"));
    EXPECT_TRUE(otherJoiner.ended);
    EXPECT_TRUE(otherJoiner.failure.isEmpty());
    EXPECT_FALSE(coalescer.isRunning(sourceB));
    EXPECT_FALSE(second.ended);
    clock.advance(2s);
    EXPECT_EQ(pulls.finished, 2);
    EXPECT_TRUE(first.ended && second.ended);
    EXPECT_EQ(second.endedAt, 5s) << "the joiner ends with the pull it joined, not after a pull of its own";
    EXPECT_FALSE(coalescer.isRunning(sourceA));
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(PullCoalescerTest, AJoinerThatPullsAgainAsItWakesStartsAFreshPull) {
    Caller owner;
    Caller again;
    bool joinerWoke = false;
    call(&coalescer, sourceA, pullTaking(&clock, 1s, &pulls), &clock, &owner);
    // Joins the running pull, then at once asks for the same key again.
    [](TessaronPullCoalescer* coalescer, Clock* clock, Pulls* pulls, Caller* again,
       bool* woke) -> QCoro::Task<> {
        co_await coalescer->run(sourceA, pullTaking(clock, 9s, pulls));
        *woke = true;
        co_await call(coalescer, sourceA, pullTaking(clock, 2s, pulls), clock, again);
    }(&coalescer, &clock, &pulls, &again, &joinerWoke);

    clock.advance(1s);
    EXPECT_TRUE(joinerWoke);
    EXPECT_EQ(pulls.started, 2);
    EXPECT_TRUE(coalescer.isRunning(sourceA));
    clock.advance(2s);
    EXPECT_TRUE(again.ended);
    EXPECT_EQ(again.endedAt, 3s);
}

TEST_F(PullCoalescerTest, APullMayOutliveItsCoalescer) {
    Caller owner, joiner;
    {
        TessaronPullCoalescer shortLived;
        call(&shortLived, sourceA, pullTaking(&clock, 1s, &pulls), &clock, &owner);
        call(&shortLived, sourceA, pullTaking(&clock, 1s, &pulls), &clock, &joiner);
    }
    clock.advance(1s);
    EXPECT_TRUE(owner.ended);
    EXPECT_TRUE(joiner.ended);
}
