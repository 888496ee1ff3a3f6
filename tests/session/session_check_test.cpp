#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"
#include "session/tunnel_phase_report.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;
constexpr auto connected = TessaronLinkPhase::connected;
constexpr auto checkFailed = TessaronLinkPhase::checkFailed;

// One or two nodes whose link the tests watch.
class SessionCheckTest : public SessionLinkTest {
protected:
    int requests() const { return reachability.requestCount(); }
    qsizetype sent(const QByteArray& message) { return tunnel().sentMessages().count(message); }
    bool hasLastGood() const { return preferences.data("tessaron.failover.lastGood").has_value(); }
    void forgetLastGood() { preferences.remove("tessaron.failover.lastGood"); }

    TessaronSession& upWithIdleDisconnect(bool on = true) {
        preferences.setValue("tessaron.idleDisconnect", on);
        startSelected({oslo});
        connectFully();
        log.clear();
        return *session;
    }

    // The host goes idle and comes back; the network is not back yet.
    void idleAndBack(Event idle, Event back) {
        paths.setStatus(PathMonitor::Status::unsatisfied);
        host.send(idle);
        settle();
        host.send(back);
        settle();
    }

    const TessaronProfile oslo = sampleProfile("Oslo");
    const TessaronProfile bergen = sampleProfile("Bergen");
};
using SessionIdleTest = SessionCheckTest;
using SessionPollTest = SessionCheckTest;

TEST_F(SessionCheckTest, AFailedCheckIsRetriedEveryThirtySecondsAndTheTenthFailedRecheckDisconnects) {
    auto& session = ready({oslo});
    const QString earlier = "Earlier trouble.";
    // Checking again acts only on a connected tunnel.
    session.setLastError(earlier);
    session.recheckConnection();
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
    session.recheckConnection();
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
    // The notice outlives the error of the stop, which is logged. No other node to go to: failover was never
    // asked to switch.
    EXPECT_EQ(
        (std::tuple{linesAfter(33s, "auto-disconnect"), requests(), session.phase(), session.lastError()}),
        std::tuple(QStringList{"auto-disconnect: check failed 10x"}, failedAt + 30,
                   TessaronLinkPhase::disconnected, TessaronSession::autoDisconnectNotice()));
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

// A cancelled check is retried three times a second apart and the fourth fails; a failed check of the node
// stored as the last working one counts as tried, and the link stays.
TEST_F(SessionCheckTest, ASystemCancellationIsRetriedThreeTimesASecondApartAndTheFourthFails) {
    // Which node is stored as the last working one, and whether the failed check switches away.
    const std::tuple<std::optional<int>, bool> cases[] = {{std::nullopt, true}, {1, true}, {0, false}};
    for (const auto& [lastGood, switches] : cases) {
        SCOPED_TRACE(lastGood.value_or(-1));
        SessionHarness h;
        const QList<TessaronProfile> nodes{oslo, bergen};
        h.ready(nodes);
        if (lastGood)
            h.rememberLastGood(nodes[*lastGood].id);
        h.reachability.answer(FakeReachability::systemCancel());
        h.connectAndComeUp();
        // Requests, cancellation lines and failover lines after each step.
        const auto after = [&h](Clock::Duration step) {
            h.advance(step);
            return std::tuple(h.reachability.requestCount(),
                              h.linesStartingWith("check cancelled by system").size(),
                              h.linesStartingWith("failover"));
        };
        EXPECT_EQ(after(999ms), std::tuple(1, 1, QStringList()));
        EXPECT_EQ(after(1ms), std::tuple(2, 2, QStringList()));
        EXPECT_EQ(after(1s), std::tuple(3, 3, QStringList()));
        EXPECT_EQ(after(1s), std::tuple(4, 3,
                                        switches ? QStringList{"failover: checkFailed \u2192 Bergen (tcp)"}
                                                 : QStringList()));
        EXPECT_FALSE(h.session->verifiedAt());
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
    session.recheckConnection();
    EXPECT_EQ(phaseAfter(24'999ms), connected);
    EXPECT_EQ(phaseAfter(1ms), checkFailed);
    EXPECT_EQ((std::tuple{phaseAfter(40s), linesStartingWith("check watchdog")}),
              std::tuple(checkFailed, QStringList{"check watchdog fired"}));
}

TEST_F(SessionIdleTest, AnIdleHostTakesTheLinkDownAndItsReturnBringsItBackUnlessTheUserActedMeanwhile) {
    auto& session = upWithIdleDisconnect();
    idleAndBack(Event::screensDidSleep, Event::screensDidWake);
    // The user taps the button while the network is still coming up.
    session.userStopTapped();
    paths.setStatus(PathMonitor::Status::satisfied);
    EXPECT_EQ((std::tuple{phaseAfter(120s), activator.calls}),
              std::tuple(TessaronLinkPhase::disconnected, 1));

    // Without the user, the link comes back once the network is, or after two minutes without it.
    connectFully();
    idleAndBack(Event::systemWillSleep, Event::systemDidWake);
    advance(119s);
    EXPECT_EQ(activator.calls, 2);
    EXPECT_EQ((std::tuple{phaseAfter(1s), activator.calls}), std::tuple(TessaronLinkPhase::connecting, 3));

    tunnel().setStatus(VpnStatus::connected);
    paths.setStatus(PathMonitor::Status::satisfied);
    settle();
    log.clear();
    host.send(Event::screenLocked);
    settle();
    EXPECT_EQ(
        std::tuple(session.phase(), logLines().mid(0, 2)),
        std::tuple(TessaronLinkPhase::disconnected, QStringList{"host idle", "auto-disconnect: host idle"}));
    host.send(Event::screenUnlocked);
    settle();
    EXPECT_EQ(std::tuple(activator.calls, session.phase()), std::tuple(4, TessaronLinkPhase::connecting));
}

TEST_F(SessionIdleTest, WithTheSettingOffAnIdleHostLeavesTheLinkAloneAndIsLoggedOnceEachWay) {
    auto& session = upWithIdleDisconnect(false);
    host.send(Event::sessionResignedActive);
    host.send(Event::screensDidSleep);
    settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    host.send(Event::sessionBecameActive);
    EXPECT_TRUE(session.hostIdle());
    // The application coming to the front clears whatever idleness was missed.
    session.applicationResignedActive();
    session.applicationBecameActive(true);
    EXPECT_FALSE(session.hostIdle());
    EXPECT_EQ(logLines().mid(0, 2), (QStringList{"host idle", "host active"}));
}

const QString blockedLine = "failover: blocked \u2192 Bergen (tcp)";

TEST(TunnelPhaseReportTest, OnlyAWellFormedReportCountsAndOnlyBlockedMeansBlocked) {
    const std::tuple<const char*, std::optional<bool>> cases[] = {
        {R"({"phase":"blocked","since":1767225600.25,"attempts":2,"lastError":null})", true},
        {R"({"phase":"connected","since":1767225600,"attempts":0,"lastError":"timeout"})", false},
        {R"({"phase":"Blocked","since":1767225600,"attempts":0})", false},
        {R"({"phase":"blocked","attempts":2})", std::nullopt},
        {R"({"phase":"blocked","since":1767225600,"attempts":2.5})", std::nullopt},
        {R"({"phase":"blocked","since":1e300,"attempts":2})", std::nullopt},
        {"blocked", std::nullopt},
    };
    for (const auto& [json, blocked] : cases) {
        const auto report = TessaronTunnelPhaseReport::decode(json);
        EXPECT_EQ(report ? std::optional(report->isBlocked()) : std::nullopt, blocked) << json;
    }
}

TEST_F(SessionPollTest, ABlockedLinkIsReportedToFailoverAtItsThresholdOnly) {
    // Whether Oslo is stored as the last working node, and how long its block is borne.
    const std::tuple<bool, Clock::Duration> cases[] = {{false, 8s}, {true, 20s}};
    for (const auto& [osloIsLastGood, threshold] : cases) {
        SCOPED_TRACE(osloIsLastGood);
        SessionHarness h;
        h.ready({oslo, bergen});
        if (osloIsLastGood)
            h.rememberLastGood(oslo.id);
        h.reportPhase("blocked");
        h.connectAndComeUp();
        EXPECT_EQ(std::tuple(h.session->phase(), h.logged("tunnel phase: blocked")),
                  std::tuple(TessaronLinkPhase::checking, true));
        EXPECT_TRUE(h.linesAfter(threshold - 2s, "failover").isEmpty());
        EXPECT_EQ(h.linesAfter(2s, "failover"), QStringList{blockedLine}) << h.logText();

        // The node switched to is blocked too: it gets its own report, and Oslo, excluded after its failure,
        // leaves nowhere to go.
        EXPECT_EQ((std::tuple{h.phaseAfter(250ms), h.linesStartingWith("switched to")}),
                  std::tuple(TessaronLinkPhase::checking, QStringList{"switched to Bergen"}));
        EXPECT_TRUE(h.linesAfter(7s, "failover gave up").isEmpty());
        EXPECT_EQ(h.linesAfter(1s, "failover gave up").size(), 1) << h.logText();
    }
}

TEST_F(SessionPollTest, ThePollFollowsTheWindowStopsWhileTheHostIsIdleAndLogsTheRoutingLineOnce) {
    auto& session = ready({oslo});
    const QString line = "smart routing via the node, kill switch on";
    tunnel().setReply("routing", " \n\t");
    connectAndComeUp();
    // The phase and routing messages sent after each step.
    const auto after = [this](Clock::Duration step) {
        advance(step);
        return std::tuple(sent("phase"), sent("routing"));
    };
    EXPECT_EQ(after(0s), std::tuple(1, 1));
    // Neither the tunnel nor the shared preferences have a line yet: every poll asks again.
    EXPECT_EQ(after(2s), std::tuple(2, 2));
    EXPECT_FALSE(logged(line));
    group.setValue("tessaron.tunnel.routing", line);

    session.setSceneIsActive(false);
    EXPECT_EQ(after(0s), std::tuple(3, 3));
    session.setSceneIsActive(false);
    EXPECT_EQ(after(9'900ms), std::tuple(3, 3));
    EXPECT_EQ(after(100ms), std::tuple(4, 3));

    host.send(Event::screenLocked);
    EXPECT_EQ(after(60s), std::tuple(4, 3));
    host.send(Event::screenUnlocked);
    EXPECT_EQ(std::tuple(sent("phase"), session.phase(), logLines().count(line)),
              std::tuple(5, TessaronLinkPhase::connected, 1));
}

// An idle link wakes the client only for what the rules ask: latency ticks in the foreground, the phase
// poll in the background; the periodic check, the roster pull and the probes ride on those instants.
TEST_F(SessionPollTest, AnIdleConnectedSessionWakesOnlyWhenARuleAsks) {
    // After a minute to settle, the wake-ups of the next ten minutes that fall off the given grid, and how
    // many there were.
    const auto wakeUpsOverTenMinutes = [this](Clock::Duration grid) {
        advance(1min);
        const auto first = clock.wakeUps().size();
        advance(10min);
        const auto& wakeUps = clock.wakeUps();
        const auto offGrid = std::count_if(wakeUps.begin() + first, wakeUps.end(),
                                           [&](auto at) { return at % grid != Clock::Duration::zero(); });
        return std::pair(int(offGrid), int(wakeUps.size() - first));
    };
    latencyAnswers = {{oslo.server, 20}, {bergen.server, 30}};
    auto& session = ready({oslo, bergen});
    connectAndComeUp();
    EXPECT_EQ(wakeUpsOverTenMinutes(500ms), std::pair(0, 1200)) << "two latency ticks a second";
    session.setSceneIsActive(false);
    EXPECT_EQ(wakeUpsOverTenMinutes(10s), std::pair(0, 60)) << "one phase poll every 10 s";
}

TEST_F(SessionPollTest, ALinkBecomesTheLastWorkingNodeAfterAMinuteUpUnblockedAndChecked) {
    auto& session = ready({oslo, bergen});
    connectAndComeUp();
    // The first poll came before the check had passed; stability counts from the next one, 2 s on.
    const auto lastGoodAfter = [this](Clock::Duration step) {
        advance(step);
        return hasLastGood();
    };
    EXPECT_FALSE(lastGoodAfter(61s));
    EXPECT_TRUE(lastGoodAfter(1s));
    EXPECT_EQ(session.loadLastGood(), (FailoverCandidate{oslo.id, TessaronTransport::tcp}));

    // A block that ends before its threshold gets a line at each end, no switch, and restarts the count.
    forgetLastGood();
    reportPhase("blocked");
    advance(2s);
    EXPECT_TRUE(session.tunnelBlocked());
    advance(6s);
    reportPhase("connected");
    advance(2s);
    EXPECT_FALSE(session.tunnelBlocked());
    EXPECT_EQ(linesStartingWith("tunnel phase"),
              (QStringList{"tunnel phase: blocked", "tunnel phase: up (blocked 8 s)"}));
    EXPECT_FALSE(lastGoodAfter(59s));
    EXPECT_EQ((std::tuple{lastGoodAfter(1s), session.phase(), linesStartingWith("failover")}),
              std::tuple(true, TessaronLinkPhase::connected, QStringList()));

    // A reconnect gets its own grace period: blocked since 8 s, but the new link only for 1 s.
    forgetLastGood();
    reportPhase("blocked");
    advance(6s);
    tunnel().setStatus(VpnStatus::reasserting);
    advance(1s);
    tunnel().setStatus(VpnStatus::connected);
    EXPECT_TRUE(linesAfter(7s, "failover").isEmpty()) << logText();
    EXPECT_EQ(linesAfter(2s, "failover"), QStringList{blockedLine});
}

TEST_F(SessionPollTest, ALinkThatFailsItsCheckNeverBecomesTheLastWorkingNode) {
    ready({oslo});
    checksPass(false);
    connectAndComeUp();
    // Up and unblocked all along, but never carrying traffic.
    EXPECT_EQ((std::tuple{phaseAfter(123s), hasLastGood()}),
              std::tuple(TessaronLinkPhase::checkFailed, false));
    // Once a re-check passes, it may.
    checksPass(true);
    advance(100s);
    EXPECT_TRUE(hasLastGood());
}

} // namespace
