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

} // namespace

TEST(NetworkPathWaitTest, EachWaitHasItsOwnMonitorAndAnswersOnceAtTheFirstPathOrAtItsLimit) {
    ManualClock clock;
    FakePathMonitors network;
    const NetworkPathWait wait{clock, network.factory()};
    Observed longWait, shortWait;
    waitForPath(&wait, &clock, 120s, &longWait);
    waitForPath(&wait, &clock, 10s, &shortWait);
    EXPECT_EQ(network.live(), 2);
    network.setStatus(Status::requiresConnection);
    clock.advance(10s - 1ms);
    EXPECT_FALSE(shortWait.answer);
    clock.advance(1ms);
    EXPECT_EQ(std::tuple(shortWait.answer, shortWait.answeredAt), std::tuple(std::optional(false), 10s));
    EXPECT_EQ(network.live(), 1) << "the monitor ends with the answer";

    network.setStatus(Status::unsatisfied);
    network.setStatus(Status::satisfied);
    network.setStatus(Status::satisfied);
    clock.runDue();
    EXPECT_EQ(std::tuple(longWait.answer, longWait.answeredAt), std::tuple(std::optional(true), 10s));
    EXPECT_EQ(network.live(), 0);
    EXPECT_EQ(clock.pendingCount(), 0u);
    // A path that comes up after the limit is no longer heard.
    clock.advance(200s);
    EXPECT_EQ(std::tuple(longWait.answers, shortWait.answers, shortWait.answer),
              std::tuple(1, 1, std::optional(false)));
}

TEST(NetworkPathWaitTest, ALimitOfZeroAnswersWithoutWaiting) {
    // The deadline is armed before the monitor starts, so with no time to wait it reaches the answer before
    // the first path report, whatever that report says. Limits that make no sense count as zero.
    const std::pair<Status, std::chrono::duration<double>> cases[] = {
        {Status::satisfied, 0s},
        {Status::unsatisfied, std::chrono::duration<double>(std::numeric_limits<double>::quiet_NaN())},
    };
    for (const auto& [status, limit] : cases) {
        ManualClock clock;
        FakePathMonitors network(status);
        const NetworkPathWait wait(clock, network.factory());
        Observed seen;
        waitForPath(&wait, &clock, limit, &seen);
        clock.runDue();
        EXPECT_EQ(std::tuple(seen.answer, seen.answeredAt), std::tuple(std::optional(false), 0s))
            << limit.count();
        clock.advance(1s);
        EXPECT_EQ(std::tuple(seen.answers, network.live()), std::tuple(1, 0));
    }
}
