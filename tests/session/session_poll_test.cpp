#include "session_link_fixture.hpp"

#include "session/tunnel_phase_report.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;
const QString blockedLine = "failover: blocked \u2192 Bergen (tcp)";

class SessionPollTest : public SessionLinkTest {
protected:
    qsizetype sent(const QByteArray& message) { return tunnel().sentMessages().count(message); }
    bool hasLastGood() const { return preferences.data("tessaron.failover.lastGood").has_value(); }
    void forgetLastGood() { preferences.remove("tessaron.failover.lastGood"); }

    const TessaronProfile oslo = sampleProfile("Oslo");
    const TessaronProfile bergen = sampleProfile("Bergen");
};

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
    // The wake-ups of the next ten minutes that fall off the given grid, and how many there were.
    const auto wakeUpsOverTenMinutes = [this](Clock::Duration grid) {
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
    advance(1min);
    EXPECT_EQ(wakeUpsOverTenMinutes(500ms), std::pair(0, 1200)) << "two latency ticks a second";
    session.setSceneIsActive(false);
    advance(1min);
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
