#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;

class SessionCheckTest : public SessionLinkTest {
protected:
    int requests() const { return harness.reachability.requestCount(); }

    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
};

TEST_F(SessionCheckTest, AFailedCheckIsRetriedEveryThirtySecondsAndTheTenthFailedRecheckDisconnects) {
    auto& session = ready({oslo});
    const auto earlier = QStringLiteral("Earlier trouble.");
    // Checking again acts only on a connected tunnel.
    session.setLastError(earlier);
    session.retryCheck();
    harness.settle();
    EXPECT_EQ(std::tuple(session.lastError(), requests()), std::tuple(std::optional(earlier), 0));

    connectAndComeUp();
    const auto firstPass = harness.clock.now();
    EXPECT_EQ(session.verifiedAt(), firstPass);
    EXPECT_TRUE(logged(QStringLiteral("check #1: success 0.00 s"))) << logText();

    // The periodic check 120 s later fails all three attempts (1 s and 2 s apart).
    checksPass(false);
    advance(120s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    advance(3s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_TRUE(logged(QStringLiteral("periodic check failed")));
    EXPECT_EQ(requests(), 4);

    // A passing re-check keeps the link's first verification.
    checksPass(true);
    advance(29s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    advance(1s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(session.verifiedAt(), firstPass);

    session.setLastError(earlier);
    session.retryCheck();
    EXPECT_FALSE(session.lastError());
    harness.settle();
    EXPECT_EQ(session.verifiedAt(), harness.clock.now());

    // Each re-check waits 30 s and takes 3 s for its three attempts.
    checksPass(false);
    advance(123s);
    ASSERT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    const auto failedAt = requests();
    harness.tunnel().setStopSteps({{0s, VpnStatus::disconnecting},
                                   {0s, VpnStatus::disconnected, PlatformError(tunnel_failure::domain, 12)}});
    advance(9 * 33s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_EQ(requests(), failedAt + 27);
    advance(33s);
    EXPECT_EQ(requests(), failedAt + 30);
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto-disconnect")),
              QStringList{QStringLiteral("auto-disconnect: check failed 10x")});
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    // The notice outlives the error of the stop, which is logged.
    EXPECT_EQ(session.lastError(), TessaronSession::autoDisconnectNotice());
    EXPECT_TRUE(logged(QStringLiteral("disconnect failure: com.hallmere.tessaron.PacketTunnel/12")))
        << logText();
    // No other node to go to: failover was never asked to switch.
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty()) << logText();

    // A link already down is left alone: no line, and the error shown stays.
    harness.log.clear();
    session.setLastError(earlier);
    session.autoDisconnect(QStringLiteral("check failed 10x"));
    EXPECT_TRUE(harness.logLines().isEmpty());
    EXPECT_EQ(session.lastError(), earlier);
}

TEST_F(SessionCheckTest, ASystemCancellationIsRetriedThreeTimesASecondApartAndTheFourthFails) {
    auto& session = ready({oslo, bergen});
    harness.reachability.answer(FakeReachability::systemCancel());
    connectAndComeUp();
    const auto seen = [this] {
        return std::tuple(requests(), linesStartingWith(QStringLiteral("check cancelled by system")).size());
    };
    EXPECT_EQ(seen(), std::tuple(1, 1));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    advance(999ms);
    EXPECT_EQ(seen(), std::tuple(1, 1));
    advance(1ms);
    EXPECT_EQ(seen(), std::tuple(2, 2));
    advance(1s);
    EXPECT_EQ(seen(), std::tuple(3, 3));
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty());
    advance(1s);
    EXPECT_EQ(seen(), std::tuple(4, 3));
    EXPECT_EQ(linesStartingWith(QStringLiteral("failover")),
              QStringList{QStringLiteral("failover: checkFailed \u2192 Bergen (tcp)")})
        << logText();
}

TEST_F(SessionCheckTest, TheStoredLastWorkingNodeFailsItsCheckAsTriedAndStays) {
    // Which node is stored as the last working one, and whether a failed check switches away.
    const std::tuple<std::optional<int>, bool> cases[] = {{std::nullopt, true}, {1, true}, {0, false}};
    for (const auto& [lastGood, switches] : cases) {
        SCOPED_TRACE(lastGood.value_or(-1));
        LinkScenario link;
        const QList<TessaronProfile> nodes{oslo, bergen};
        link.ready(nodes);
        if (lastGood)
            link.rememberLastGood(nodes[*lastGood].id);
        link.checksPass(false);
        link.connectAndComeUp();
        link.advance(3s);
        EXPECT_FALSE(link.session().verifiedAt());
        EXPECT_EQ(link.logged(QStringLiteral("failover: checkFailed \u2192 Bergen (tcp)")), switches)
            << link.logText();
    }
}

TEST_F(SessionCheckTest,
       ThePeriodicProbeWaitsWhileTheWindowIsInactiveTheHostIdleOrPowerLowAndAHungCheckIsCutOff) {
    auto& session = ready({oslo});
    connectAndComeUp();
    const std::tuple<const char*, std::function<void(bool)>> holds[] = {
        {"window inactive",
         [&](bool held) {
             session.setSceneIsActive(!held);
         }},
        {"host idle",
         [&](bool held) {
             harness.host.send(held ? Event::screenLocked : Event::screenUnlocked);
         }},
        {"low power",
         [&](bool held) {
             harness.lowPower = held;
         }},
    };
    for (const auto& [name, hold] : holds) {
        SCOPED_TRACE(name);
        const auto before = requests();
        hold(true);
        advance(240s);
        EXPECT_EQ(requests(), before);
        hold(false);
        advance(120s);
        EXPECT_EQ(requests(), before + 1);
        EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    }

    // A check that hangs is cut off after 25 s; the hung attempts end long after and change nothing.
    harness.reachability.hang();
    session.retryCheck();
    advance(24'999ms);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    advance(1ms);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    advance(40s);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_EQ(linesStartingWith(QStringLiteral("check watchdog")),
              QStringList{QStringLiteral("check watchdog fired")});
}

} // namespace
