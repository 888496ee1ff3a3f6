#include "session_link_fixture.hpp"

#include "session/tunnel_phase_report.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;
const QString blockedLine = QStringLiteral("failover: blocked \u2192 Bergen (tcp)");

class SessionPollTest : public SessionLinkTest {
protected:
    qsizetype sent(const QByteArray& message) { return harness.tunnel().sentMessages().count(message); }
    std::optional<QByteArray> lastGood() const {
        return harness.preferences.data(QStringLiteral("tessaron.failover.lastGood"));
    }

    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
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
        LinkScenario link;
        link.ready({oslo, bergen});
        if (osloIsLastGood)
            link.rememberLastGood(oslo.id);
        link.reportPhase(QStringLiteral("blocked"));
        link.connectAndComeUp();
        EXPECT_EQ(link.session().phase(), TessaronLinkPhase::checking);
        EXPECT_TRUE(link.logged(QStringLiteral("tunnel phase: blocked")));
        link.advance(threshold - 2s);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("failover")).isEmpty());
        link.advance(2s);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("failover")), QStringList{blockedLine})
            << link.logText();

        // The node switched to is blocked too: it gets its own report, and Oslo, excluded after its failure,
        // leaves nowhere to go.
        link.advance(250ms);
        ASSERT_TRUE(link.logged(QStringLiteral("switched to Bergen"))) << link.logText();
        EXPECT_EQ(link.session().phase(), TessaronLinkPhase::checking);
        link.advance(7s);
        EXPECT_FALSE(link.logged(QStringLiteral("failover gave up")));
        link.advance(1s);
        EXPECT_TRUE(link.logged(QStringLiteral("failover gave up"))) << link.logText();
    }
}

TEST_F(SessionPollTest, ThePollFollowsTheWindowStopsWhileTheHostIsIdleAndLogsTheRoutingLineOnce) {
    auto& session = ready({oslo});
    const QString line = QStringLiteral("smart routing via the node, kill switch on");
    harness.tunnel().setReply("routing", " \n\t");
    connectAndComeUp();
    const auto polls = [this] {
        return std::tuple(sent("phase"), sent("routing"));
    };
    EXPECT_EQ(polls(), std::tuple(1, 1));
    advance(2s);
    // Neither the tunnel nor the shared preferences have a line yet: every poll asks again.
    EXPECT_EQ(polls(), std::tuple(2, 2));
    EXPECT_FALSE(logged(line));
    harness.group.setValue(QStringLiteral("tessaron.tunnel.routing"), line);

    session.setSceneIsActive(false);
    EXPECT_EQ(polls(), std::tuple(3, 3));
    session.setSceneIsActive(false);
    advance(9'900ms);
    EXPECT_EQ(polls(), std::tuple(3, 3));
    advance(100ms);
    EXPECT_EQ(polls(), std::tuple(4, 3));

    harness.host.send(Event::screenLocked);
    advance(60s);
    EXPECT_EQ(sent("phase"), 4);
    harness.host.send(Event::screenUnlocked);
    EXPECT_EQ(sent("phase"), 5);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(harness.logLines().count(line), 1);
}

TEST_F(SessionPollTest, ALinkBecomesTheLastWorkingNodeAfterAMinuteUpUnblockedAndChecked) {
    auto& session = ready({oslo, bergen});
    connectAndComeUp();
    // The first poll came before the check had passed; stability counts from the next one, 2 s on.
    advance(61s);
    EXPECT_FALSE(lastGood());
    advance(1s);
    ASSERT_TRUE(lastGood());
    EXPECT_EQ(session.loadLastGood(), (FailoverCandidate{oslo.id, TessaronTransport::tcp}));

    // A block that ends before its threshold gets a line at each end, no switch, and restarts the count.
    harness.preferences.remove(QStringLiteral("tessaron.failover.lastGood"));
    reportPhase(QStringLiteral("blocked"));
    advance(2s);
    EXPECT_TRUE(session.tunnelBlocked());
    advance(6s);
    reportPhase(QStringLiteral("connected"));
    advance(2s);
    EXPECT_FALSE(session.tunnelBlocked());
    EXPECT_EQ(linesStartingWith(QStringLiteral("tunnel phase")),
              (QStringList{"tunnel phase: blocked", "tunnel phase: up (blocked 8 s)"}));
    advance(59s);
    EXPECT_FALSE(lastGood());
    advance(1s);
    EXPECT_TRUE(lastGood());
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty()) << logText();

    // A reconnect gets its own grace period: blocked since 8 s, but the new link only for 1 s.
    harness.preferences.remove(QStringLiteral("tessaron.failover.lastGood"));
    reportPhase(QStringLiteral("blocked"));
    advance(6s);
    harness.tunnel().setStatus(VpnStatus::reasserting);
    advance(1s);
    harness.tunnel().setStatus(VpnStatus::connected);
    advance(7s);
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty()) << logText();
    advance(2s);
    EXPECT_EQ(linesStartingWith(QStringLiteral("failover")), QStringList{blockedLine});
}

TEST_F(SessionPollTest, ALinkThatFailsItsCheckNeverBecomesTheLastWorkingNode) {
    auto& session = ready({oslo});
    checksPass(false);
    connectAndComeUp();
    // Up and unblocked all along, but never carrying traffic.
    advance(123s);
    ASSERT_EQ(session.phase(), TessaronLinkPhase::checkFailed);
    EXPECT_FALSE(lastGood());
    // Once a re-check passes, it may.
    checksPass(true);
    advance(100s);
    EXPECT_TRUE(lastGood());
}

} // namespace
