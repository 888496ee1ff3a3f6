#include "session/network_path_wait.hpp"

#include "support/fake_path_monitor.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Status = tessaron::PathMonitor::Status;

namespace {

// Each answer and when it came.
using Answers = QList<std::pair<bool, Clock::Duration>>;

QCoro::Task<> waitForPath(const NetworkPathWait* wait, Clock* clock, std::chrono::duration<double> within,
                          Answers* answers) {
    const bool answer = co_await wait->satisfied(within);
    answers->append({answer, clock->monotonic()});
}

} // namespace

TEST(NetworkPathWaitTest, EachWaitHasItsOwnMonitorAndAnswersOnceAtTheFirstPathOrAtItsLimit) {
    ManualClock clock;
    FakePathMonitors network;
    const NetworkPathWait wait{clock, network.factory()};
    Answers longWait, shortWait;
    waitForPath(&wait, &clock, 120s, &longWait);
    waitForPath(&wait, &clock, 10s, &shortWait);
    EXPECT_EQ(network.live(), 2);
    network.setStatus(Status::requiresConnection);
    clock.advance(10s - 1ms);
    EXPECT_TRUE(shortWait.isEmpty());
    clock.advance(1ms);
    EXPECT_EQ(shortWait, (Answers{{false, 10s}}));
    EXPECT_EQ(network.live(), 1) << "the monitor ends with the answer";

    network.setStatus(Status::unsatisfied);
    network.setStatus(Status::satisfied);
    network.setStatus(Status::satisfied);
    clock.runDue();
    EXPECT_EQ(longWait, (Answers{{true, 10s}}));
    EXPECT_EQ(network.live(), 0);
    EXPECT_EQ(clock.pendingCount(), 0u);
    // A path that comes up after the limit is no longer heard.
    clock.advance(200s);
    EXPECT_EQ(longWait + shortWait, (Answers{{true, 10s}, {false, 10s}}));
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
        Answers answers;
        waitForPath(&wait, &clock, limit, &answers);
        clock.advance(1s);
        EXPECT_EQ(answers, (Answers{{false, 0s}})) << limit.count();
        EXPECT_EQ(network.live(), 0);
    }
}
