#include "session/host_activity_monitor.hpp"
#include "session/idle_disconnect_policy.hpp"
#include "session/network_path_wait.hpp"

#include "support/fake_host_activity_source.hpp"
#include "support/fake_path_monitor.hpp"
#include "support/manual_clock.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Policy = IdleDisconnectPolicy;
using enum IdleDisconnectPolicy::Action;
using enum TessaronLinkPhase;
using Status = PathMonitor::Status;

namespace {

const QDateTime now(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
const QDateTime earlier(QDate(2026, 2, 28), QTime(22, 0), Qt::UTC);

IdleDisconnectPolicy policy(bool stoppedForIdle, qint64 generation, std::optional<QDateTime> resumedAt = {}) {
    return {.disconnectedForIdle = stoppedForIdle, .resumedAt = resumedAt, .generationAtStop = generation};
}

// Each answer of a path wait and when it came.
using Answers = QList<std::pair<bool, Clock::Duration>>;

QCoro::Task<> waitForPath(const NetworkPathWait* wait, Clock* clock, std::chrono::duration<double> within,
                          Answers* answers) {
    const bool answer = co_await wait->satisfied(within);
    answers->append({answer, clock->monotonic()});
}

} // namespace

TEST(IdleDisconnectPolicyTest, DecidesFromTheSettingTheHostAndTheLinkAndReconnectsOnlyIfNothingHappened) {
    const IdleDisconnectPolicy fresh;
    const auto stopped = policy(true, 3), resumed = policy(false, 1, earlier);
    const auto reconnect = reconnectAfterPathWait;
    // The inputs are the setting, whether the host is idle, the link and the user's link generation.
    const std::tuple<const char*, Policy, Policy::Inputs, Policy::Action, Policy> cases[] = {
        {"setting off: no resume", stopped, {false, false, disconnected, 3, now}, none, stopped},
        {"idle while connecting", fresh, {true, true, connecting, 5, now}, disconnect, policy(true, 5)},
        {"link going down anyway", fresh, {true, true, disconnecting, 1, now}, none, fresh},
        {"idle with no link", fresh, {true, true, disconnected, 1, now}, none, fresh},
        {"still idle after the stop", stopped, {true, true, disconnected, 3, now}, none, stopped},
        {"back after a stop", stopped, {true, false, disconnected, 3, now}, reconnect, policy(false, 3, now)},
        {"back with no idle stop", fresh, {true, false, disconnected, 3, now}, none, fresh},
        // A later stop keeps the earlier return time.
        {"a later stop", resumed, {true, true, connected, 2, now}, disconnect, policy(true, 2, earlier)},
    };
    for (const auto& [name, before, inputs, action, next] : cases) {
        const auto decision = before.evaluate(inputs);
        EXPECT_EQ(std::tuple(decision.action, decision.next), std::tuple(action, next)) << name;
    }

    // After the path wait it reconnects only when nothing happened since the stop: the phase, whether the
    // host is idle and the user's link generation when the network returns.
    const std::tuple<const char*, TessaronLinkPhase, bool, qint64, bool> waits[] = {
        {"untouched", disconnected, false, 7, true},
        {"the user connected meanwhile", disconnected, false, 8, false},
        {"a link came up meanwhile", connecting, false, 7, false},
        {"the host went idle again", disconnected, true, 7, false},
    };
    for (const auto& [name, phase, hostIdle, generation, reconnects] : waits)
        EXPECT_EQ(policy(false, 7, now).shouldReconnect(phase, hostIdle, generation), reconnects) << name;
}

TEST(HostActivityMonitorTest, EachNoticeMovesItsOwnFlagOnceTheMonitorIsStarted) {
    using Event = HostActivitySource::Event;
    using enum Event;
    const std::vector<Event> leaveAndReturn{systemWillSleep,       screensDidSleep,    screenLocked,
                                            sessionResignedActive, systemDidWake,      screensDidWake,
                                            screenUnlocked,        sessionBecameActive};
    // The notices, then the state they leave and how many changes were reported.
    const std::tuple<const char*, std::vector<Event>, HostActivityState, int> cases[] = {
        {"sleep", {systemWillSleep}, {.systemAsleep = true}, 1},
        {"screens off", {screensDidSleep}, {.displaysAsleep = true}, 1},
        {"locked", {screenLocked}, {.screenLocked = true}, 1},
        {"session away", {sessionResignedActive}, {.sessionInactive = true}, 1},
        {"every return", leaveAndReturn, {}, 8},
        {"a repeated notice changes nothing", {screenLocked, screenLocked}, {.screenLocked = true}, 1},
    };
    for (const auto& [name, events, state, reports] : cases) {
        SCOPED_TRACE(name);
        FakeHostActivitySource source;
        HostActivityMonitor monitor(source);
        int reportCount = 0;
        monitor.setOnChange([&](const HostActivityState& reported) {
            ++reportCount;
            EXPECT_EQ(reported, monitor.state());
        });
        // Nothing is heard before the start, and a second start adds no second listener.
        source.send(screenLocked);
        monitor.start();
        monitor.start();
        EXPECT_EQ(source.observerCount(), 1);
        for (const auto event : events)
            source.send(event);
        EXPECT_EQ(std::tuple(monitor.state(), monitor.state().isIdle(), reportCount),
                  std::tuple(state, state != HostActivityState{}, reports));
    }
}

TEST(NetworkPathWaitTest, EachWaitHasItsOwnMonitorAndAnswersOnceAtTheFirstPathOrAtItsLimit) {
    ManualClock clock;
    FakePathMonitors network;
    const NetworkPathWait wait{clock, network.factory()};
    Answers longWait, shortWait;
    waitForPath(&wait, &clock, 120s, &longWait);
    waitForPath(&wait, &clock, 10s, &shortWait);
    EXPECT_EQ(network.live(), 2);
    network.setStatus(Status::requiresConnection);
    clock.advance(10s);
    EXPECT_EQ(shortWait, (Answers{{false, 10s}}));
    EXPECT_EQ(network.live(), 1) << "the monitor ends with the answer";

    network.setStatus(Status::unsatisfied);
    network.setStatus(Status::satisfied);
    network.setStatus(Status::satisfied);
    clock.runDue();
    EXPECT_EQ(longWait, (Answers{{true, 10s}}));
    EXPECT_EQ(std::pair(network.live(), clock.pendingCount()), std::pair(0, std::size_t{0}));
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
        EXPECT_EQ(std::pair(answers, network.live()), std::pair(Answers{{false, 0s}}, 0)) << limit.count();
    }
}
