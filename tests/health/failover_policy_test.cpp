#include "health/failover_cause.hpp"
#include "health/failover_policy.hpp"
#include "node_fixtures.hpp"
#include "platform/vpn_error.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tessaron;
using namespace tessaron::testing;
using Cause = TessaronFailoverCause;
using Reason = FailoverPolicy::ExclusionReason;
using Action = FailoverPolicy::Action;
using Event = FailoverPolicy::Event;

namespace {

QDateTime at(int seconds) {
    return referenceNow().addSecs(seconds);
}

Action to(char name) {
    return Action::switchTo(node(name));
}

Event failed(char name) {
    return Event::checkFailed(node(name), true);
}

struct FailoverPolicyTest : ::testing::Test {
    Action on(const Event& event, int seconds, const char* candidates = "ABCDE",
              const LatencyTable& measured = {}) {
        return policy.handle(event, at(seconds), nodes(candidates), measured, {});
    }

    FailoverPolicy policy;
};

} // namespace

TEST_F(FailoverPolicyTest, WhichEventsCountAsFailures) {
    const auto a = node('A');
    const std::tuple<Event, bool, const char*> cases[] = {
        {Event::connectFailed(a, Cause::serverUnreachable), true, "connectFailed"},
        {Event::connectFailed(a, Cause::timedOut), true, "connectFailed"},
        {Event::connectFailed(a, Cause::other), false, "connectFailed"},
        {Event::blocked(a, 7.9, true), false, "blocked"},
        {Event::blocked(a, 8, true), true, "blocked"},
        {Event::blocked(a, 19.9, false), false, "blocked"},
        {Event::blocked(a, 20, false), true, "blocked"},
        {Event::checkFailed(a, true), true, "checkFailed"},
        {Event::checkFailed(a, false), false, "checkFailed"},
        {Event::recovered(a), false, "recovered"},
    };
    for (const auto& [event, counts, kindName] : cases) {
        SCOPED_TRACE(::testing::Message() << kindName << " " << event.seconds << " " << event.untried);
        EXPECT_EQ(event.kindName(), QString::fromLatin1(kindName));
        policy = {};
        EXPECT_EQ(on(event, 0, "AB"), counts ? to('B') : Action::none());
        EXPECT_EQ(policy.exclusions().contains(a), counts);
    }
}

TEST_F(FailoverPolicyTest, ThreeSwitchesPerWindowThenGiveUpUntilTheWindowCloses) {
    // At 600 s the window has closed and the first exclusion expired as well, so A is back in front.
    for (const auto& [fourthAt, fourth, switchesAfter] :
         {std::tuple{599, Action::giveUp(), 3}, std::tuple{600, to('A'), 1}}) {
        SCOPED_TRACE(fourthAt);
        policy = {};
        EXPECT_EQ(
            (QList{on(failed('A'), 0), on(failed('B'), 10), on(failed('C'), 20), on(failed('D'), fourthAt)}),
            (QList{to('B'), to('C'), to('D'), fourth}));
        EXPECT_EQ(policy.switchesInWindow(), switchesAfter);
        EXPECT_TRUE(policy.exclusions().contains(node('D'))) << "giving up still excludes the node";
    }
}

TEST_F(FailoverPolicyTest, ExclusionsLastSixHundredSecondsExactly) {
    on(Event::blocked(node('A'), 30, false), 0, "AB");
    const auto& exclusion = policy.exclusions().value(node('A'));
    EXPECT_EQ(exclusion, (FailoverPolicy::Exclusion{at(600), at(0), Reason::other}));
    EXPECT_EQ(policy.activeExclusions(at(599)), nodeSet("A"));
    EXPECT_EQ(policy.activeExclusions(at(600)), nodeSet(""));
    EXPECT_FALSE(policy.windowStart()) << "the window closed with the same call";
}

TEST_F(FailoverPolicyTest, EveryEventPrunesAndRecoveredClosesTheWindowEvenForANodeNeverExcluded) {
    on(failed('A'), 0, "ABC");
    on(failed('B'), 5, "ABC");
    EXPECT_EQ(on(Event::recovered(node('C')), 10, "ABC"), Action::none());
    EXPECT_FALSE(policy.windowStart());
    EXPECT_EQ(policy.switchesInWindow(), 0);
    EXPECT_EQ(policy.activeExclusions(at(10)), nodeSet("AB"));
    on(Event::recovered(node('A')), 11, "ABC");
    EXPECT_EQ(policy.activeExclusions(at(11)), nodeSet("B"));

    // A failure that does not count still drops what has expired.
    on(Event::connectFailed(node('C'), Cause::other), 700, "ABC");
    EXPECT_TRUE(policy.exclusions().isEmpty());
}

TEST_F(FailoverPolicyTest, FailurePathSwitchesToTheBestAvailableOrGivesUp) {
    const std::tuple<const char*, LatencyTable, Action> cases[] = {
        {"ABCD", latencies({{'B', 90}, {'C', 20}, {'D', 60}}), to('C')},
        {"ADB", {}, to('D')}, // unmeasured: first in order
        {"A", latencies({{'A', 10}}), Action::giveUp()},
        {"BC", latencies({{'C', 5}}), to('C')},
    };
    for (const auto& [candidates, measured, expected] : cases) {
        policy = {};
        EXPECT_EQ(on(failed('A'), 0, candidates, measured), expected) << candidates;
    }
}

TEST_F(FailoverPolicyTest, PausedNodeIsLeftWithoutSpendingTheBudgetAndNeverComesBackByBeingMeasured) {
    on(failed('B'), 0, "ABC");
    on(failed('C'), 10, "ABC");
    const std::pair<LatencyTable, Action> cases[] = {
        {latencies({{'B', 30}, {'C', 40}}, at(-1)), Action::none()}, // nobody measured since
        {latencies({{'B', 30}}, at(11)), to('B')},                   // one answered since its exclusion
        {latencies({{'C', 30}}, at(10)), Action::none()},            // measured exactly when excluded
    };
    for (const auto& [measured, expected] : cases) {
        auto copy = policy;
        EXPECT_EQ(copy.handle(Event::paused(node('A')), at(20), nodes("ABC"), measured, {}), expected);
        EXPECT_EQ(std::tuple(copy.exclusions().value(node('A')).reason, copy.switchesInWindow(),
                             copy.windowStart()),
                  std::tuple(Reason::paused, 2, std::optional(at(0))));
    }

    policy = {};
    EXPECT_EQ(on(Event::paused(node('B')), 0, "AB"), to('A'));
    EXPECT_EQ(on(Event::paused(node('A')), 10, "AB", latencies({{'B', 5}}, at(9))), Action::none());
    EXPECT_EQ(on(Event::paused(node('A')), 10, ""), Action::none()) << "never gives up";
}

TEST(FailoverCauseTest, OnlyTheTunnelsOwnCodesAndATimedOutRequestNameACause) {
    using enum TessaronFailoverCause;
    const auto tunnel = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
    const std::tuple<QString, qint64, Cause> cases[] = {
        {tunnel, 12, serverUnreachable},
        {tunnel, 10, timedOut},
        {tunnel, 4, other},
        {QStringLiteral("com.hallmere.tessaron.packettunnel"), 12, other},
        {QStringLiteral("TessaronKeychainError"), 12, other}};
    for (const auto& [domain, code, cause] : cases)
        EXPECT_EQ(failoverCause(PlatformError(domain, code)), cause) << domain.toStdString() << code;
    EXPECT_EQ(failoverCause(std::runtime_error("boom")), other);
    EXPECT_EQ(failoverCause(HttpFailure{HttpFailure::Kind::timedOut, {}}), timedOut);
    EXPECT_EQ(failoverCause(HttpFailure{HttpFailure::Kind::transport, {}}), other);
}
