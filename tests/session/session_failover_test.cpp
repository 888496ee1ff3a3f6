#include "session_link_fixture.hpp"

#include "platform/system_log.hpp"
#include "platform/tunnel_contract.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

// A switch stops the link and polls every 250 ms until it is down.
constexpr auto switchTime = 250ms;

class SessionFailoverTest : public SessionLinkTest {
protected:
    const TessaronProfile alta = sampleProfile("Alta");
    const TessaronProfile altaWithXhttp = sampleProfile("Alta", {}, true);
    const TessaronProfile bergen = sampleProfile("Bergen");
    const TessaronProfile cork = sampleProfile("Cork");
};

TEST_F(SessionFailoverTest, AFailingNodeIsTriedOverXhttpBeforeFailoverMovesToAnotherNode) {
    for (const bool autoSelect : {true, false}) {
        SCOPED_TRACE(autoSelect);
        SessionHarness h;
        auto& session = h.ready({altaWithXhttp, bergen}, autoSelect);
        h.run(session.connect());
        ASSERT_EQ(h.installedTransport(), "tcp");
        EXPECT_EQ(h.linesAfter(12s, "failover"), QStringList{"failover: connectFailed \u2192 Alta (xhttp)"});
        EXPECT_EQ(session.switchingTo()->id, altaWithXhttp.id);
        EXPECT_EQ((std::tuple{h.linesAfter(switchTime, "switched to"), session.switchingTo().has_value(),
                              session.activeTransport(), h.installedTransport(), session.phase()}),
                  std::tuple(QStringList{"switched to Alta"}, false, TessaronTransport::xhttp, "xhttp",
                             TessaronLinkPhase::connecting));

        // XHTTP fails as well: the node itself is given up, unless the choice of node is off.
        h.advance(12s);
        EXPECT_EQ((std::tuple{h.linesAfter(switchTime, "failover").size(), h.logged("switched to Bergen"),
                              session.selectedID(), h.installedTransport()}),
                  std::tuple(autoSelect ? 2 : 1, autoSelect,
                             std::optional(autoSelect ? bergen.id : altaWithXhttp.id),
                             autoSelect ? "tcp" : "xhttp"))
            << h.logText();
    }
}

TEST_F(SessionFailoverTest, ThreeSwitchesAreAllowedThenFailoverGivesUpUntilTheNextConnect) {
    SystemLog::Capture systemLog;
    auto& session = ready({alta, bergen, cork, sampleProfile("Dover"), sampleProfile("Evje")});
    const auto failOnce = [&] {
        advance(12s);
        advance(switchTime);
    };
    track(session.connect());
    for (int failure = 0; failure < 3; ++failure)
        failOnce();
    EXPECT_EQ(linesStartingWith("switched to"),
              (QStringList{"switched to Bergen", "switched to Cork", "switched to Dover"}));
    advance(12s);
    EXPECT_EQ(
        std::tuple(logLines().count("failover gave up"), systemLog.messages().count("failover gave up"),
                   logged("auto-disconnect: failover gave up"), session.phase(), session.lastError()),
        std::tuple(1, 1, true, TessaronLinkPhase::disconnected, TessaronSession::autoDisconnectNotice()));

    // A fresh budget: the next failure switches again, even to nodes that failed before.
    log.clear();
    run(session.connect());
    EXPECT_TRUE(logged("failover budget reset after auto-disconnect"));
    failOnce();
    EXPECT_EQ(linesStartingWith("switched to"), QStringList{"switched to Alta"}) << logText();
}

TEST_F(SessionFailoverTest, ASwitchIsDroppedByTheUsersStopOrAfterFortyLooksAtALinkThatStaysUp) {
    for (const bool userStops : {true, false}) {
        SCOPED_TRACE(userStops ? "the user stops" : "the link never comes down");
        SessionHarness h;
        h.ready({alta, bergen});
        h.checksPass(false);
        h.connectAndComeUp();
        // With the user's stop the link is down 1 s after the switch began; the switch sees it at its next
        // look.
        QList<FakeVpnConnection::Step> stopSteps{{0s, VpnStatus::disconnecting}};
        if (userStops)
            stopSteps.append({1s, VpnStatus::disconnected});
        h.tunnel().setStopSteps(stopSteps);
        const auto starts = h.tunnel().startCount();
        h.advance(3s);
        ASSERT_TRUE(h.logged("failover: checkFailed \u2192 Bergen (tcp)")) << h.logText();
        ASSERT_TRUE(h.session->switchingTo());
        if (userStops) {
            h.advance(500ms);
            h.session->userStopTapped();
            h.advance(1s);
            EXPECT_EQ(h.phaseAfter(switchTime), TessaronLinkPhase::disconnected);
        } else {
            h.advance(39 * switchTime);
            EXPECT_TRUE(h.session->switchingTo());
            h.advance(switchTime);
        }
        EXPECT_EQ(std::tuple(h.session->switchingTo().has_value(), h.session->selectedID(),
                             h.tunnel().startCount(), h.linesStartingWith("switched to")),
                  std::tuple(false, std::optional(alta.id), starts, QStringList()));
    }
}

// With the choice of node off, failed connects refresh their roster at most once a minute, and a node whose
// roster says it is paused is left even though the user picked it.
TEST_F(SessionFailoverTest, WithTheChoiceOffFailuresRefreshTheRosterAndAPausedNodeIsStillLeft) {
    manage(alta, {bergen});
    auto& session = ready({alta, bergen}, false);
    // The pulls of each node's roster after a failed start of `node`.
    const auto failStart = [&](const TessaronProfile& node) {
        tunnel().failNextStart(PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
        session.select(node.id);
        run(session.connect());
        return std::tuple(rosterPulls().count(alta.id), rosterPulls().count(bergen.id));
    };
    EXPECT_EQ(failStart(alta), std::tuple(1, 0));
    advance(59s);
    EXPECT_EQ(failStart(bergen), std::tuple(1, 0));
    advance(2s);
    EXPECT_EQ(failStart(bergen), std::tuple(2, 0));

    const auto now = clock.now();
    TessaronRosterResponse roster{{alta, bergen}, {}, {}, std::nullopt, std::nullopt};
    roster.health = {{alta.id, {true, now, true, now.addDays(9), 0.2, false}},
                     {bergen.id, {true, now, false, std::nullopt, 0.4, false}}};
    pairing.setRoster(alta.id, roster);
    session.select(alta.id);
    // A poll of the link pulls the roster, which says the node's budget is used up.
    connectAndComeUp();
    advance(2s);
    EXPECT_TRUE(logged("failover: paused \u2192 Bergen (tcp)")) << logText();
    EXPECT_EQ(
        (std::tuple{linesAfter(switchTime, "switched to"), session.selectedID(), session.phase(),
                    session.autoSelect(), session.lastError()}),
        std::tuple(QStringList{"switched to Bergen"}, std::optional(bergen.id), TessaronLinkPhase::connected,
                   false,
                   "Tessaron switched to another server because this one has used up its traffic for the "
                   "month."));
}

TEST_F(SessionFailoverTest, WithTheChoiceOffAnUnreachableNodeSuggestsTheFastestOther) {
    const std::tuple<qint64, bool> cases[] = {{tunnel_failure::serverUnreachable, true},
                                              {tunnel_failure::connectTimedOut, true},
                                              {tunnel_failure::serverNotResolved, false}};
    for (const auto& [code, suggests] : cases) {
        SCOPED_TRACE(code);
        SessionHarness h;
        h.latencyAnswers = {{bergen.server, 40}, {cork.server, 40}};
        auto& session = h.ready({alta, bergen, cork}, false);
        h.advance(2s);
        ASSERT_EQ(session.latencies().size(), 2);
        h.tunnel().failNextStart(PlatformError(tunnel_failure::domain, code));
        h.run(session.connect());
        EXPECT_EQ(std::tuple(session.suggestedNodeName(),
                             session.lastError() == "This network cannot reach this server."),
                  std::tuple(suggests ? std::optional(bergen.name) : std::nullopt, suggests));
    }
}

} // namespace
