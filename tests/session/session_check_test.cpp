#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;
constexpr auto connected = TessaronLinkPhase::connected;
constexpr auto checkFailed = TessaronLinkPhase::checkFailed;

class SessionCheckTest : public SessionLinkTest {
protected:
    int requests() const { return reachability.requestCount(); }

    const TessaronProfile oslo = sampleProfile("Oslo");
    const TessaronProfile bergen = sampleProfile("Bergen");
};

TEST_F(SessionCheckTest, AFailedCheckIsRetriedEveryThirtySecondsAndTheTenthFailedRecheckDisconnects) {
    auto& session = ready({oslo});
    const QString earlier = "Earlier trouble.";
    // Checking again acts only on a connected tunnel.
    session.setLastError(earlier);
    session.retryCheck();
    settle();
    EXPECT_EQ(std::tuple(session.lastError(), requests()), std::tuple(earlier, 0));

    connectAndComeUp();
    const auto firstPass = clock.now();
    EXPECT_EQ(session.verifiedAt(), firstPass);
    EXPECT_TRUE(logged("check #1: success 0.00 s")) << logText();

    // The periodic check 120 s later fails all three attempts (1 s and 2 s apart).
    checksPass(false);
    EXPECT_EQ(phaseAfter(120s), connected);
    EXPECT_EQ((std::tuple{phaseAfter(3s), logged("periodic check failed"), requests()}),
              std::tuple(checkFailed, true, 4));

    // A passing re-check keeps the link's first verification; checking again stamps a new one.
    checksPass(true);
    EXPECT_EQ(phaseAfter(29s), checkFailed);
    EXPECT_EQ((std::tuple{phaseAfter(1s), session.verifiedAt()}), std::tuple(connected, firstPass));
    session.setLastError(earlier);
    session.retryCheck();
    EXPECT_FALSE(session.lastError());
    settle();
    EXPECT_EQ(session.verifiedAt(), clock.now());

    // Each re-check waits 30 s and takes 3 s for its three attempts.
    checksPass(false);
    ASSERT_EQ(phaseAfter(123s), checkFailed);
    const auto failedAt = requests();
    tunnel().setStopSteps({{0s, VpnStatus::disconnecting},
                           {0s, VpnStatus::disconnected, PlatformError(tunnel_failure::domain, 12)}});
    EXPECT_EQ((std::tuple{phaseAfter(9 * 33s), requests()}), std::tuple(checkFailed, failedAt + 27));
    EXPECT_EQ((std::tuple{linesAfter(33s, "auto-disconnect"), requests(), session.phase()}),
              std::tuple(QStringList{"auto-disconnect: check failed 10x"}, failedAt + 30,
                         TessaronLinkPhase::disconnected));
    // The notice outlives the error of the stop, which is logged. No other node to go to: failover was never
    // asked to switch.
    EXPECT_EQ(session.lastError(), TessaronSession::autoDisconnectNotice());
    EXPECT_EQ(std::tuple(logged("disconnect failure: com.hallmere.tessaron.PacketTunnel/12"),
                         linesStartingWith("failover")),
              std::tuple(true, QStringList()))
        << logText();

    // A link already down is left alone: no line, and the error shown stays.
    log.clear();
    session.setLastError(earlier);
    session.autoDisconnect("check failed 10x");
    EXPECT_EQ(std::tuple(logLines(), session.lastError()), std::tuple(QStringList(), earlier));
}

TEST_F(SessionCheckTest, ASystemCancellationIsRetriedThreeTimesASecondApartAndTheFourthFails) {
    auto& session = ready({oslo, bergen});
    reachability.answer(FakeReachability::systemCancel());
    connectAndComeUp();
    // Requests, cancellation lines and failover lines after each step.
    const auto after = [this](Clock::Duration step) {
        advance(step);
        return std::tuple(requests(), linesStartingWith("check cancelled by system").size(),
                          linesStartingWith("failover"));
    };
    EXPECT_EQ(session.phase(), connected);
    EXPECT_EQ(after(999ms), std::tuple(1, 1, QStringList()));
    EXPECT_EQ(after(1ms), std::tuple(2, 2, QStringList()));
    EXPECT_EQ(after(1s), std::tuple(3, 3, QStringList()));
    EXPECT_EQ(after(1s), std::tuple(4, 3, QStringList{"failover: checkFailed \u2192 Bergen (tcp)"}));
}

TEST_F(SessionCheckTest, TheStoredLastWorkingNodeFailsItsCheckAsTriedAndStays) {
    // Which node is stored as the last working one, and whether a failed check switches away.
    const std::tuple<std::optional<int>, bool> cases[] = {{std::nullopt, true}, {1, true}, {0, false}};
    for (const auto& [lastGood, switches] : cases) {
        SCOPED_TRACE(lastGood.value_or(-1));
        SessionHarness h;
        const QList<TessaronProfile> nodes{oslo, bergen};
        h.ready(nodes);
        if (lastGood)
            h.rememberLastGood(nodes[*lastGood].id);
        h.checksPass(false);
        h.connectAndComeUp();
        h.advance(3s);
        EXPECT_EQ(std::tuple(h.session->verifiedAt(), h.logged("failover: checkFailed \u2192 Bergen (tcp)")),
                  std::tuple(std::nullopt, switches))
            << h.logText();
    }
}

TEST_F(SessionCheckTest,
       ThePeriodicProbeWaitsWhileTheWindowIsInactiveTheHostIdleOrPowerLowAndAHungCheckIsCutOff) {
    auto& session = ready({oslo});
    connectAndComeUp();
    const auto heldBy = [&](const char* name, const std::function<void(bool)>& hold) {
        SCOPED_TRACE(name);
        const auto before = requests();
        hold(true);
        advance(240s);
        EXPECT_EQ(requests(), before);
        hold(false);
        EXPECT_EQ((std::tuple{phaseAfter(120s), requests()}), std::tuple(connected, before + 1));
    };
    heldBy("window inactive", [&](bool held) { session.setSceneIsActive(!held); });
    heldBy("host idle", [&](bool held) { host.send(held ? Event::screenLocked : Event::screenUnlocked); });
    heldBy("low power", [&](bool held) { lowPower = held; });

    // A check that hangs is cut off after 25 s; the hung attempts end long after and change nothing.
    reachability.hang();
    session.retryCheck();
    EXPECT_EQ(phaseAfter(24'999ms), connected);
    EXPECT_EQ(phaseAfter(1ms), checkFailed);
    EXPECT_EQ((std::tuple{phaseAfter(40s), linesStartingWith("check watchdog")}),
              std::tuple(checkFailed, QStringList{"check watchdog fired"}));
}

} // namespace
