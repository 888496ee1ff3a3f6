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

struct FailoverPolicyTest : ::testing::Test {
    static QDateTime at(int seconds) { return referenceNow().addSecs(seconds); }
    static Action to(char name) { return Action::switchTo(node(name)); }
    static Event failed(char name) { return Event::checkFailed(node(name), true); }

    Action on(const Event& event, int seconds, const char* candidates = "ABCDE",
              const LatencyTable& measured = {}) {
        return policy.handle(event, at(seconds), nodes(candidates), measured, {});
    }

    FailoverPolicy policy;
};

} // namespace

TEST_F(FailoverPolicyTest, AFailureThatCountsExcludesTheNodeAndSwitchesToTheFastestOtherOrGivesUp) {
    const auto a = node('A');
    const auto none = Action::none();
    const std::tuple<Event, const char*, LatencyTable, Action> cases[] = {
        {Event::connectFailed(a, Cause::serverUnreachable), "AB", {}, to('B')},
        {Event::connectFailed(a, Cause::timedOut), "AB", {}, to('B')},
        {Event::connectFailed(a, Cause::other), "AB", {}, none},
        {Event::blocked(a, 7.9, true), "AB", {}, none},
        {Event::blocked(a, 8, true), "AB", {}, to('B')},
        {Event::blocked(a, 19.9, false), "AB", {}, none},
        {Event::blocked(a, 20, false), "AB", {}, to('B')},
        {Event::checkFailed(a, false), "AB", {}, none},
        {Event::recovered(a), "AB", {}, none},
        {failed('A'), "ABCD", latencies({{'B', 90}, {'C', 20}, {'D', 60}}), to('C')},
        {failed('A'), "ADB", {}, to('D')}, // unmeasured: first in order
        {failed('A'), "A", latencies({{'A', 10}}), Action::giveUp()},
    };
    for (const auto& [event, candidates, measured, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << event.kindName().toStdString() << " " << event.seconds << " "
                                          << event.untried << " " << candidates);
        policy = {};
        EXPECT_EQ(on(event, 0, candidates, measured), expected);
        EXPECT_EQ(policy.exclusions().contains(a), expected != none);
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

TEST_F(FailoverPolicyTest, ExclusionsLastSixHundredSecondsExactlyAndEveryEventPrunesThem) {
    on(Event::blocked(node('A'), 30, false), 0, "AB");
    EXPECT_EQ(policy.exclusions().value(node('A')),
              (FailoverPolicy::Exclusion{at(600), at(0), Reason::other}));
    EXPECT_EQ(policy.activeExclusions(at(599)), nodeSet("A"));
    EXPECT_EQ(policy.activeExclusions(at(600)), nodeSet(""));
    EXPECT_FALSE(policy.windowStart()) << "the window closed with the same call";

    // Recovered closes the window even for a node never excluded.
    policy = {};
    on(failed('A'), 0, "ABC");
    on(failed('B'), 5, "ABC");
    EXPECT_EQ(on(Event::recovered(node('C')), 10, "ABC"), Action::none());
    EXPECT_EQ(std::pair(policy.windowStart(), policy.switchesInWindow()),
              std::pair(std::optional<QDateTime>(), 0));
    EXPECT_EQ(policy.activeExclusions(at(10)), nodeSet("AB"));
    on(Event::recovered(node('A')), 11, "ABC");
    EXPECT_EQ(policy.activeExclusions(at(11)), nodeSet("B"));

    // A failure that does not count still drops what has expired.
    on(Event::connectFailed(node('C'), Cause::other), 700, "ABC");
    EXPECT_TRUE(policy.exclusions().isEmpty());
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
        EXPECT_EQ(std::pair(copy.exclusions().value(node('A')).reason, copy.switchesInWindow()),
                  std::pair(Reason::paused, 2));
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
