#include "session_link_fixture.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;

class SessionCheckTest : public SessionLinkTest {
protected:
    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
};

TEST_F(SessionCheckTest, APassedLinkKeepsItsFirstVerificationThroughAFailedPeriodicCheck) {
    auto& session = ready({oslo});
    connectAndComeUp();
    const auto firstPass = harness.clock.now();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(session.verifiedAt(), firstPass);
    EXPECT_TRUE(logged(QStringLiteral("check #1: success 0.00 s"))) << logText();

    // The periodic check 120 s later fails all three attempts (1 s and 2 s apart).
    harness.reachability.answer(FakeReachability::failure());
    harness.advance(120s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    harness.advance(3s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_TRUE(logged(QStringLiteral("periodic check failed")));

    harness.reachability.answer(FakeReachability::success());
    harness.advance(29s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    harness.advance(1s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(session.verifiedAt(), firstPass);
}

TEST_F(SessionCheckTest, ALinkThatStaysUnreachableIsRecheckedTenTimesAndThenDisconnected) {
    auto& session = ready({oslo});
    harness.reachability.answer(FakeReachability::failure());
    connectAndComeUp();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    harness.advance(3s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_FALSE(session.verifiedAt());
    EXPECT_EQ(harness.reachability.requestCount(), 3);

    // Each re-check waits 30 s and takes 3 s for its three attempts.
    harness.advance(9 * 33s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_EQ(harness.reachability.requestCount(), 30);
    EXPECT_TRUE(linesStartingWith(QStringLiteral("auto-disconnect")).isEmpty());

    harness.advance(33s);
    EXPECT_EQ(harness.reachability.requestCount(), 33);
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto-disconnect")),
              QStringList{QStringLiteral("auto-disconnect: check failed 10x")});
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_EQ(session.lastError(), TessaronSession::autoDisconnectNotice());
    // No other node to go to: failover was never asked to switch.
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty()) << logText();
}

TEST_F(SessionCheckTest, ASystemCancellationIsRetriedThreeTimesASecondApartAndTheFourthFails) {
    auto& session = ready({oslo, bergen});
    harness.reachability.answer(FakeReachability::systemCancel());
    connectAndComeUp();
    const auto retries = [this] {
        return linesStartingWith(QStringLiteral("check cancelled by system")).size();
    };
    EXPECT_EQ(retries(), 1);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);

    harness.advance(999ms);
    EXPECT_EQ(harness.reachability.requestCount(), 1);
    harness.advance(1ms);
    EXPECT_EQ(harness.reachability.requestCount(), 2);
    EXPECT_EQ(retries(), 2);
    harness.advance(1s);
    EXPECT_EQ(retries(), 3);
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty());

    harness.advance(1s);
    EXPECT_EQ(harness.reachability.requestCount(), 4);
    EXPECT_EQ(retries(), 3);
    EXPECT_EQ(linesStartingWith(QStringLiteral("failover")),
              QStringList{QStringLiteral("failover: checkFailed \u2192 Bergen (tcp)")})
        << logText();
}

TEST_F(SessionCheckTest, ACheckThatHangsIsCutOffAfterTwentyFiveSeconds) {
    auto& session = ready({oslo});
    harness.reachability.hang();
    connectAndComeUp();

    harness.advance(24'999ms);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_FALSE(logged(QStringLiteral("check watchdog fired")));
    harness.advance(1ms);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_EQ(linesStartingWith(QStringLiteral("check watchdog")),
              QStringList{QStringLiteral("check watchdog fired")});

    // The hung attempts end long after the verdict; they change nothing.
    harness.advance(40s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_EQ(linesStartingWith(QStringLiteral("check watchdog")).size(), 1);
}

TEST_F(SessionCheckTest, TheStoredLastWorkingNodeFailsItsCheckAsTriedAndStays) {
    struct Case {
        const char* name;
        std::optional<int> lastGood;
        bool switches;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, true},
        {"another node stored", 1, true},
        {"this node stored", 0, false},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        const QList<TessaronProfile> nodes{oslo, bergen};
        link.ready(nodes);
        if (example.lastGood)
            link.rememberLastGood(nodes[*example.lastGood].id);
        link.harness.reachability.answer(FakeReachability::failure());
        link.connectAndComeUp();
        link.harness.advance(3s);

        EXPECT_EQ(link.logged(QStringLiteral("failover: checkFailed \u2192 Bergen (tcp)")), example.switches)
            << link.logText();
    }
}

TEST_F(SessionCheckTest, ThePeriodicProbeWaitsWhileTheWindowIsInactiveTheHostIdleOrPowerLow) {
    struct Case {
        const char* name;
        std::function<void(SessionHarness&)> hold;
        std::function<void(SessionHarness&)> release;
    };
    const Case cases[] = {
        {"window inactive", [](SessionHarness& h) { h.session->setSceneIsActive(false); },
         [](SessionHarness& h) {
             h.session->setSceneIsActive(true);
         }},
        {"host idle", [](SessionHarness& h) { h.host.send(Event::screenLocked); },
         [](SessionHarness& h) {
             h.host.send(Event::screenUnlocked);
         }},
        {"low power", [](SessionHarness& h) { h.lowPower = true; },
         [](SessionHarness& h) {
             h.lowPower = false;
         }},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        auto& session = link.ready({oslo});
        link.connectAndComeUp();
        auto& fresh = link.harness;
        ASSERT_EQ(fresh.reachability.requestCount(), 1);

        example.hold(fresh);
        fresh.advance(240s);
        EXPECT_EQ(fresh.reachability.requestCount(), 1);
        example.release(fresh);
        fresh.advance(120s);
        EXPECT_EQ(fresh.reachability.requestCount(), 2);
        EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    }
}

TEST_F(SessionCheckTest, CheckingAgainActsOnlyOnAConnectedTunnel) {
    auto& session = ready({oslo});
    session.setLastError(QStringLiteral("Earlier trouble."));
    session.retryCheck();
    harness.settle();
    EXPECT_EQ(session.lastError(), QStringLiteral("Earlier trouble."));
    EXPECT_EQ(harness.reachability.requestCount(), 0);

    connectAndComeUp();
    harness.advance(5s);
    session.setLastError(QStringLiteral("Earlier trouble."));
    session.retryCheck();
    EXPECT_FALSE(session.lastError());
    harness.settle();
    EXPECT_EQ(harness.reachability.requestCount(), 2);
    EXPECT_EQ(session.verifiedAt(), harness.clock.now());
}

} // namespace
