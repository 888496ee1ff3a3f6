#include "session/network_path_wait.hpp"

#include "support/fake_path_monitor.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace std::chrono_literals;
using tessaron::Clock;
using tessaron::NetworkPathWait;
using tessaron::testing::FakePathMonitors;
using tessaron::testing::ManualClock;
using Status = tessaron::PathMonitor::Status;

namespace {

struct Observed {
    std::optional<bool> answer;
    Clock::Duration answeredAt{};
    int answers = 0;
};

QCoro::Task<> waitForPath(const NetworkPathWait* wait, Clock* clock, std::chrono::duration<double> within,
                          Observed* seen) {
    const bool answer = co_await wait->satisfied(within);
    seen->answer = answer;
    seen->answeredAt = clock->monotonic();
    ++seen->answers;
}

class NetworkPathWaitTest : public ::testing::Test {
protected:
    void start(std::chrono::duration<double> within) { waitForPath(&wait, &clock, within, &seen); }

    // Every answer leaves nothing behind: no monitor and nothing scheduled.
    void expectAnsweredOnce(bool answer, Clock::Duration at) {
        EXPECT_EQ(seen.answer, answer);
        EXPECT_EQ(seen.answeredAt, at);
        EXPECT_EQ(seen.answers, 1);
        EXPECT_EQ(network.live(), 0) << "the monitor ends with the answer";
    }

    ManualClock clock;
    FakePathMonitors network;
    NetworkPathWait wait{clock, network.factory()};
    Observed seen;
};

} // namespace

TEST_F(NetworkPathWaitTest, NoNetworkForTheWholeLimitAnswersFalseAtTheLimit) {
    start(120s);
    network.setStatus(Status::requiresConnection);
    clock.advance(120s - 1ms);
    EXPECT_FALSE(seen.answer);
    EXPECT_EQ(network.live(), 1);
    clock.advance(1ms);
    expectAnsweredOnce(false, 120s);
    // A path that comes up after the limit is no longer heard.
    network.setStatus(Status::satisfied);
    clock.advance(1s);
    expectAnsweredOnce(false, 120s);
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(NetworkPathWaitTest, APathThatComesUpWithinTheLimitEndsTheWaitThen) {
    start(120s);
    clock.advance(30s);
    network.setStatus(Status::unsatisfied);
    network.setStatus(Status::satisfied);
    network.setStatus(Status::satisfied);
    clock.runDue();
    expectAnsweredOnce(true, 30s);
    clock.advance(200s);
    EXPECT_EQ(seen.answers, 1);
}

TEST_F(NetworkPathWaitTest, ALimitOfZeroAnswersWithoutWaiting) {
    struct Case {
        const char* name;
        Status network;
        std::chrono::duration<double> limit;
    };
    // The deadline is armed before the monitor starts, so with no time to wait it reaches the answer
    // before the first path report, whatever that report says. Limits that make no sense count as zero.
    const Case cases[] = {
        {"network up", Status::satisfied, 0s},
        {"not a number", Status::unsatisfied,
         std::chrono::duration<double>(std::numeric_limits<double>::quiet_NaN())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        FakePathMonitors network(c.network);
        const NetworkPathWait wait(clock, network.factory());
        Observed seen;
        waitForPath(&wait, &clock, c.limit, &seen);
        clock.runDue();
        EXPECT_EQ(seen.answer, false);
        EXPECT_EQ(seen.answeredAt, 0s);
        clock.advance(1s);
        EXPECT_EQ(seen.answers, 1);
        EXPECT_EQ(network.live(), 0);
    }
}

TEST_F(NetworkPathWaitTest, ConcurrentWaitsEachHaveTheirOwnMonitor) {
    Observed second;
    start(120s);
    waitForPath(&wait, &clock, 10s, &second);
    EXPECT_EQ(network.live(), 2);
    clock.advance(10s);
    EXPECT_EQ(second.answer, false);
    EXPECT_EQ(network.live(), 1);
    network.setStatus(Status::satisfied);
    clock.runDue();
    expectAnsweredOnce(true, 10s);
}
