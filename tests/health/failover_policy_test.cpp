#include "health/failover_policy.hpp"
#include "node_fixtures.hpp"

#include <gtest/gtest.h>

using tessaron::FailoverPolicy;
using tessaron::TessaronFailoverCause;
using namespace tessaron::testing;
using Action = FailoverPolicy::Action;
using Event = FailoverPolicy::Event;

namespace {

QDateTime at(int seconds) {
    return referenceNow().addSecs(seconds);
}

QSet<QUuid> set(const char* names) {
    const auto ids = nodes(names);
    return {ids.cbegin(), ids.cend()};
}

} // namespace

TEST(FailoverPolicyTest, WhichEventsCountAsFailures) {
    const auto a = node('A');
    const std::tuple<Event, bool, const char*> cases[] = {
        {Event::connectFailed(a, TessaronFailoverCause::serverUnreachable), true, "connectFailed"},
        {Event::connectFailed(a, TessaronFailoverCause::timedOut), true, "connectFailed"},
        {Event::connectFailed(a, TessaronFailoverCause::other), false, "connectFailed"},
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
        FailoverPolicy policy;
        const auto action = policy.handle(event, at(0), nodes("AB"), latencies({{'B', 30}}), {});
        EXPECT_EQ(action, counts ? Action::switchTo(node('B')) : Action::none());
        EXPECT_EQ(policy.exclusions().contains(a), counts);
    }
}

TEST(FailoverPolicyTest, ThreeSwitchesPerWindowThenGiveUpUntilTheWindowCloses) {
    // At 600 s the window has closed and the first exclusion expired as well, so A is back in front.
    for (const auto& [fourthAt, expected, switchesAfter] :
         {std::tuple{599, Action::giveUp(), 3}, std::tuple{600, Action::switchTo(node('A')), 1}}) {
        SCOPED_TRACE(fourthAt);
        FailoverPolicy policy;
        EXPECT_EQ(policy.handle(Event::checkFailed(node('A'), true), at(0), nodes("ABCDE"), {}, {}),
                  Action::switchTo(node('B')));
        policy.handle(Event::checkFailed(node('B'), true), at(10), nodes("ABCDE"), {}, {});
        EXPECT_EQ(policy.handle(Event::checkFailed(node('C'), true), at(20), nodes("ABCDE"), {}, {}),
                  Action::switchTo(node('D')));
        EXPECT_EQ(policy.handle(Event::checkFailed(node('D'), true), at(fourthAt), nodes("ABCDE"), {}, {}),
                  expected);
        EXPECT_EQ(policy.switchesInWindow(), switchesAfter);
        EXPECT_TRUE(policy.exclusions().contains(node('D'))) << "giving up still excludes the node";
    }
}

TEST(FailoverPolicyTest, ExclusionsLastSixHundredSecondsExactly) {
    FailoverPolicy policy;
    policy.handle(Event::blocked(node('A'), 30, false), at(0), nodes("AB"), {}, {});
    const auto& exclusion = policy.exclusions().value(node('A'));
    EXPECT_EQ(exclusion, (FailoverPolicy::Exclusion{at(600), at(0), FailoverPolicy::ExclusionReason::other}));
    EXPECT_EQ(policy.activeExclusions(at(599)), set("A"));
    EXPECT_EQ(policy.activeExclusions(at(600)), set(""));
    EXPECT_FALSE(policy.windowStart()) << "the window closed with the same call";
}

TEST(FailoverPolicyTest, EveryEventPrunesAndRecoveredClosesTheWindowEvenForANodeNeverExcluded) {
    FailoverPolicy policy;
    policy.handle(Event::checkFailed(node('A'), true), at(0), nodes("ABC"), {}, {});
    policy.handle(Event::checkFailed(node('B'), true), at(5), nodes("ABC"), {}, {});
    EXPECT_EQ(policy.handle(Event::recovered(node('C')), at(10), nodes("ABC"), {}, {}), Action::none());
    EXPECT_FALSE(policy.windowStart());
    EXPECT_EQ(policy.switchesInWindow(), 0);
    EXPECT_EQ(policy.activeExclusions(at(10)), set("AB"));
    policy.handle(Event::recovered(node('A')), at(11), nodes("ABC"), {}, {});
    EXPECT_EQ(policy.activeExclusions(at(11)), set("B"));

    // A failure that does not count still drops what has expired.
    policy.handle(Event::connectFailed(node('C'), TessaronFailoverCause::other), at(700), nodes("ABC"), {},
                  {});
    EXPECT_TRUE(policy.exclusions().isEmpty());
}

TEST(FailoverPolicyTest, FailurePathSwitchesToTheBestAvailableOrGivesUp) {
    const std::tuple<const char*, tessaron::LatencyTable, Action> cases[] = {
        {"ABCD", latencies({{'B', 90}, {'C', 20}, {'D', 60}}), Action::switchTo(node('C'))},
        {"ADB", {}, Action::switchTo(node('D'))}, // unmeasured: first in order
        {"A", latencies({{'A', 10}}), Action::giveUp()},
        {"BC", latencies({{'C', 5}}), Action::switchTo(node('C'))},
    };
    for (const auto& [candidates, measured, expected] : cases) {
        FailoverPolicy policy;
        EXPECT_EQ(policy.handle(Event::checkFailed(node('A'), true), at(0), nodes(candidates), measured, {}),
                  expected)
            << candidates;
    }
}

TEST(FailoverPolicyTest, PausedNodeIsLeftWithoutSpendingTheBudget) {
    FailoverPolicy policy;
    policy.handle(Event::checkFailed(node('B'), true), at(0), nodes("ABC"), {}, {});
    policy.handle(Event::checkFailed(node('C'), true), at(10), nodes("ABC"), {}, {});
    ASSERT_EQ(policy.switchesInWindow(), 2);

    const std::pair<tessaron::LatencyTable, Action> cases[] = {
        {latencies({{'B', 30}, {'C', 40}}, at(-1)), Action::none()},   // nobody measured since
        {latencies({{'B', 30}}, at(11)), Action::switchTo(node('B'))}, // one answered since its exclusion
        {latencies({{'C', 30}}, at(10)), Action::none()},              // measured exactly when excluded
    };
    for (const auto& [measured, expected] : cases) {
        auto copy = policy;
        EXPECT_EQ(copy.handle(Event::paused(node('A')), at(20), nodes("ABC"), measured, {}), expected);
        EXPECT_EQ(copy.exclusions().value(node('A')).reason, FailoverPolicy::ExclusionReason::paused);
        EXPECT_EQ(copy.switchesInWindow(), 2);
        EXPECT_EQ(copy.windowStart(), at(0));
    }
}

TEST(FailoverPolicyTest, PausedNodesNeverComeBackByBeingMeasured) {
    FailoverPolicy policy;
    EXPECT_EQ(policy.handle(Event::paused(node('B')), at(0), nodes("AB"), {}, {}),
              Action::switchTo(node('A')));
    EXPECT_EQ(policy.handle(Event::paused(node('A')), at(10), nodes("AB"), latencies({{'B', 5}}, at(9)), {}),
              Action::none());
    EXPECT_EQ(policy.handle(Event::paused(node('A')), at(10), {}, {}, {}), Action::none())
        << "never gives up";
}
