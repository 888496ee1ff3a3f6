#include "session_link_fixture.hpp"

#include "session/tunnel_phase_report.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Event = HostActivitySource::Event;

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
    struct Case {
        const char* json;
        std::optional<bool> blocked;
    };
    const Case cases[] = {
        {R"({"phase":"blocked","since":1767225600.25,"attempts":2,"lastError":null})", true},
        {R"({"phase":"connected","since":1767225600,"attempts":0,"lastError":"timeout"})", false},
        {R"({"phase":"Blocked","since":1767225600,"attempts":0})", false},
        {R"({"phase":"blocked","attempts":2})", std::nullopt},
        {R"({"phase":"blocked","since":1767225600,"attempts":2.5})", std::nullopt},
        {R"({"phase":"blocked","since":1e300,"attempts":2})", std::nullopt},
        {"blocked", std::nullopt},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.json);
        const auto report = TessaronTunnelPhaseReport::decode(example.json);
        EXPECT_EQ(report.has_value(), example.blocked.has_value());
        if (report && example.blocked) {
            EXPECT_EQ(report->isBlocked(), *example.blocked);
        }
    }
}

TEST_F(SessionPollTest, ABlockedLinkIsReportedToFailoverAtItsThresholdOnly) {
    struct Case {
        const char* name;
        bool osloIsLastGood;
        Clock::Duration threshold;
    };
    const Case cases[] = {
        {"a node not stored as working", false, 8s},
        {"the last working node", true, 20s},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        auto& session = link.ready({oslo, bergen});
        if (example.osloIsLastGood)
            link.rememberLastGood(oslo.id);
        link.reportPhase(QStringLiteral("blocked"));
        link.connectAndComeUp();
        EXPECT_EQ(session.phase(), TessaronLinkPhase::checking);
        EXPECT_TRUE(session.tunnelBlocked());
        EXPECT_TRUE(link.logged(QStringLiteral("tunnel phase: blocked")));

        link.harness.advance(example.threshold - 2s);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("failover")).isEmpty());
        link.harness.advance(2s);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("failover")),
                  QStringList{QStringLiteral("failover: blocked \u2192 Bergen (tcp)")})
            << link.logText();
    }
}

TEST_F(SessionPollTest, AShortBlockEndsWithALineAndNoSwitch) {
    auto& session = ready({oslo, bergen});
    reportPhase(QStringLiteral("blocked"));
    connectAndComeUp();
    harness.advance(6s);
    reportPhase(QStringLiteral("connected"));
    harness.advance(2s);

    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_FALSE(session.tunnelBlocked());
    EXPECT_EQ(linesStartingWith(QStringLiteral("tunnel phase")),
              (QStringList{"tunnel phase: blocked", "tunnel phase: up (blocked 8 s)"}));
    harness.advance(30s);
    EXPECT_TRUE(linesStartingWith(QStringLiteral("failover")).isEmpty()) << logText();
}

TEST_F(SessionPollTest, TheNextLinkGetsItsOwnGracePeriodAndItsOwnReport) {
    {
        SCOPED_TRACE("a reconnect before the threshold");
        LinkScenario link;
        link.ready({oslo, bergen});
        link.reportPhase(QStringLiteral("blocked"));
        link.connectAndComeUp();
        link.harness.advance(6s);
        link.harness.tunnel().setStatus(VpnStatus::reasserting);
        link.harness.advance(1s);
        link.harness.tunnel().setStatus(VpnStatus::connected);
        // Blocked since the first link began, 8 s ago; the new link has been blocked for 1 s only.
        link.harness.advance(7s);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("failover")).isEmpty()) << link.logText();
        link.harness.advance(2s);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("failover")),
                  QStringList{QStringLiteral("failover: blocked \u2192 Bergen (tcp)")});
    }
    {
        SCOPED_TRACE("a switch to a node that is blocked too");
        LinkScenario link;
        link.ready({oslo, bergen});
        link.reportPhase(QStringLiteral("blocked"));
        link.connectAndComeUp();
        link.harness.advance(8s);
        ASSERT_TRUE(link.logged(QStringLiteral("failover: blocked \u2192 Bergen (tcp)")));
        link.harness.advance(250ms);
        ASSERT_TRUE(link.logged(QStringLiteral("switched to Bergen"))) << link.logText();
        EXPECT_EQ(link.harness.session->phase(), TessaronLinkPhase::checking);

        link.harness.advance(7s);
        EXPECT_FALSE(link.logged(QStringLiteral("failover gave up")));
        // Oslo is excluded after its failure, so Bergen's own report leaves nowhere to go.
        link.harness.advance(1s);
        EXPECT_TRUE(link.logged(QStringLiteral("failover gave up"))) << link.logText();
    }
}

TEST_F(SessionPollTest, ThePollFollowsTheWindowAndStopsWhileTheHostIsIdle) {
    auto& session = ready({oslo});
    connectAndComeUp();
    const QByteArray phase = "phase";
    EXPECT_EQ(sent(phase), 1);
    harness.advance(2s);
    EXPECT_EQ(sent(phase), 2);

    session.setSceneIsActive(false);
    EXPECT_EQ(sent(phase), 3);
    session.setSceneIsActive(false);
    EXPECT_EQ(sent(phase), 3);
    harness.advance(9'900ms);
    EXPECT_EQ(sent(phase), 3);
    harness.advance(100ms);
    EXPECT_EQ(sent(phase), 4);

    harness.host.send(Event::screenLocked);
    harness.advance(60s);
    EXPECT_EQ(sent(phase), 4);
    harness.host.send(Event::screenUnlocked);
    EXPECT_EQ(sent(phase), 5);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
}

TEST_F(SessionPollTest, TheRoutingLineIsLoggedOnceWithTheSharedLineAsFallback) {
    ready({oslo});
    const QByteArray routing = "routing";
    const QString line = QStringLiteral("smart routing via the node, kill switch on");
    harness.tunnel().setReply(routing, " \n\t");
    connectAndComeUp();
    harness.advance(4s);
    // Neither the tunnel nor the shared preferences have a line yet: every poll asks again.
    EXPECT_EQ(sent(routing), 3);
    EXPECT_FALSE(logged(line));

    harness.group.setValue(QStringLiteral("tessaron.tunnel.routing"), line);
    harness.advance(6s);
    EXPECT_EQ(harness.logLines().count(line), 1);
    EXPECT_EQ(sent(routing), 4);
}

TEST_F(SessionPollTest, ALinkBecomesTheLastWorkingNodeAfterAMinuteUpUnblockedAndChecked) {
    auto& session = ready({oslo});
    connectAndComeUp();
    // The first poll came before the check had passed; stability counts from the next one, 2 s on.
    harness.advance(61s);
    EXPECT_FALSE(lastGood());
    harness.advance(1s);
    ASSERT_TRUE(lastGood());
    EXPECT_EQ(session.loadLastGood(), (FailoverCandidate{oslo.id, TessaronTransport::tcp}));

    // A block restarts the count.
    harness.preferences.remove(QStringLiteral("tessaron.failover.lastGood"));
    reportPhase(QStringLiteral("blocked"));
    harness.advance(2s);
    reportPhase(QStringLiteral("connected"));
    // The first unblocked poll starts the minute again.
    harness.advance(2s);
    harness.advance(59s);
    EXPECT_FALSE(lastGood());
    harness.advance(1s);
    EXPECT_TRUE(lastGood());
}

TEST_F(SessionPollTest, ALinkThatFailsItsCheckNeverBecomesTheLastWorkingNode) {
    auto& session = ready({oslo});
    harness.reachability.answer(FakeReachability::failure());
    connectAndComeUp();
    harness.advance(3s);
    ASSERT_EQ(session.phase(), TessaronLinkPhase::checkFailed);

    // Up and unblocked all along, but never carrying traffic.
    harness.advance(120s);
    EXPECT_FALSE(lastGood());

    // Once a re-check passes, it may.
    harness.reachability.answer(FakeReachability::success());
    harness.advance(30s);
    ASSERT_EQ(session.phase(), TessaronLinkPhase::connected);
    harness.advance(70s);
    EXPECT_TRUE(lastGood());
}

} // namespace
