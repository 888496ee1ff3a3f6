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
    struct Case {
        const char* name;
        Event event;
        bool counts;
        const char* kindName;
    };
    const Case cases[] = {
        {"unreachable", Event::connectFailed(a, TessaronFailoverCause::serverUnreachable), true,
         "connectFailed"},
        {"timed out", Event::connectFailed(a, TessaronFailoverCause::timedOut), true, "connectFailed"},
        {"other cause", Event::connectFailed(a, TessaronFailoverCause::other), false, "connectFailed"},
        {"blocked 7.9 s untried", Event::blocked(a, 7.9, true), false, "blocked"},
        {"blocked 8 s untried", Event::blocked(a, 8, true), true, "blocked"},
        {"blocked 19.9 s tried", Event::blocked(a, 19.9, false), false, "blocked"},
        {"blocked 20 s tried", Event::blocked(a, 20, false), true, "blocked"},
        {"check failed untried", Event::checkFailed(a, true), true, "checkFailed"},
        {"check failed tried", Event::checkFailed(a, false), false, "checkFailed"},
        {"recovered", Event::recovered(a), false, "recovered"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.event.countsAsFailure(), c.counts);
        EXPECT_EQ(c.event.kindName(), QString::fromLatin1(c.kindName));

        FailoverPolicy policy;
        const auto action = policy.handle(c.event, at(0), nodes("AB"), latencies({{'B', 30}}), {});
        EXPECT_EQ(action, c.counts ? Action::switchTo(node('B')) : Action::none());
        EXPECT_EQ(policy.exclusions().contains(a), c.counts);
        EXPECT_EQ(policy.switchesInWindow(), c.counts ? 1 : 0);
    }
}

TEST(FailoverPolicyTest, ThreeSwitchesPerWindowThenGiveUp) {
    const auto timedOut = [](char name) {
        return Event::connectFailed(node(name), TessaronFailoverCause::timedOut);
    };
    struct Step {
        int second;
        char failing;
        Action expected;
        int switches;
    };
    const Step steps[] = {
        {0, 'A', Action::switchTo(node('B')), 1},
        {100, 'B', Action::switchTo(node('C')), 2},
        {200, 'C', Action::switchTo(node('D')), 3},
        {599, 'D', Action::giveUp(), 3},
    };
    FailoverPolicy policy;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.second);
        EXPECT_EQ(policy.handle(timedOut(step.failing), at(step.second), nodes("ABCDE"), {}, {}),
                  step.expected);
        EXPECT_EQ(policy.switchesInWindow(), step.switches);
        EXPECT_EQ(policy.windowStart(), at(0));
    }
    EXPECT_TRUE(policy.exclusions().contains(node('D'))) << "giving up still excludes the node";
}

TEST(FailoverPolicyTest, WindowClosesSixHundredSecondsAfterItsFirstSwitch) {
    const auto fail = [](char name) {
        return Event::checkFailed(node(name), true);
    };
    struct Case {
        int fourthAt;
        Action expected;
        int switchesAfter;
    };
    // At 600 s the first exclusion has expired as well, so A is back in front.
    for (const auto& c : {Case{599, Action::giveUp(), 3}, Case{600, Action::switchTo(node('A')), 1}}) {
        SCOPED_TRACE(c.fourthAt);
        FailoverPolicy policy;
        policy.handle(fail('A'), at(0), nodes("ABCDE"), {}, {});
        policy.handle(fail('B'), at(10), nodes("ABCDE"), {}, {});
        policy.handle(fail('C'), at(20), nodes("ABCDE"), {}, {});
        EXPECT_EQ(policy.handle(fail('D'), at(c.fourthAt), nodes("ABCDE"), {}, {}), c.expected);
        EXPECT_EQ(policy.switchesInWindow(), c.switchesAfter);
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
    struct Case {
        const char* name;
        const char* candidates;
        tessaron::LatencyTable latencies;
        Action expected;
    };
    const Case cases[] = {
        {"fastest of the rest", "ABCD", latencies({{'B', 90}, {'C', 20}, {'D', 60}}),
         Action::switchTo(node('C'))},
        {"unmeasured rest: first in order", "ADB", {}, Action::switchTo(node('D'))},
        {"only the failing node", "A", latencies({{'A', 10}}), Action::giveUp()},
        {"failing node not among candidates", "BC", latencies({{'C', 5}}), Action::switchTo(node('C'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FailoverPolicy policy;
        EXPECT_EQ(
            policy.handle(Event::checkFailed(node('A'), true), at(0), nodes(c.candidates), c.latencies, {}),
            c.expected);
        EXPECT_TRUE(policy.exclusions().contains(node('A')));
    }
}

TEST(FailoverPolicyTest, PausedNodeIsLeftWithoutSpendingTheBudget) {
    FailoverPolicy policy;
    policy.handle(Event::checkFailed(node('B'), true), at(0), nodes("ABC"), {}, {});
    policy.handle(Event::checkFailed(node('C'), true), at(10), nodes("ABC"), {}, {});
    ASSERT_EQ(policy.switchesInWindow(), 2);

    struct Case {
        const char* name;
        tessaron::LatencyTable latencies;
        Action expected;
    };
    const Case cases[] = {
        {"nobody measured since the failures", latencies({{'B', 30}, {'C', 40}}, at(-1)), Action::none()},
        {"one answered since its exclusion", latencies({{'B', 30}}, at(11)), Action::switchTo(node('B'))},
        {"measured exactly when excluded", latencies({{'C', 30}}, at(10)), Action::none()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto copy = policy;
        EXPECT_EQ(copy.handle(Event::paused(node('A')), at(20), nodes("ABC"), c.latencies, {}), c.expected);
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
