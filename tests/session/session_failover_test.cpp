#include "session_link_fixture.hpp"

#include "platform/system_log.hpp"
#include "platform/tunnel_contract.hpp"
#include "profiles/json_values.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

// A switch stops the link and polls every 250 ms until it is down.
constexpr auto switchTime = 250ms;

class SessionFailoverTest : public SessionLinkTest {
protected:
    // The transport the installed configuration hands the tunnel.
    static QString installedTransport(const SessionHarness& harness) {
        const auto& configuration = harness.tunnels.stored().first().tunnelProvider()->providerConfiguration;
        const auto profile = configuration->constFind(QStringLiteral("profile"))->dataValue();
        return QJsonDocument::fromJson(profile.value_or(QByteArray())).object().value("transport").toString();
    }

    int rosterPulls(const QUuid& source) const {
        int count = 0;
        for (const auto& body : harness.pairing.sent(QStringLiteral("/v1/profiles")))
            count += uuidFromText(body.value(QStringLiteral("profileID")).toString()) == source;
        return count;
    }

    const TessaronProfile alta = sampleProfile(QStringLiteral("Alta"));
    const TessaronProfile altaWithXhttp = sampleProfile(QStringLiteral("Alta"), {}, true);
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
    const TessaronProfile cork = sampleProfile(QStringLiteral("Cork"));
};

TEST_F(SessionFailoverTest, AFailingNodeIsTriedOverXhttpBeforeFailoverMovesToAnotherNode) {
    for (const bool autoSelect : {true, false}) {
        SCOPED_TRACE(autoSelect);
        LinkScenario link;
        auto& session = link.ready({altaWithXhttp, bergen}, autoSelect);
        link.harness.run(session.connect());
        ASSERT_EQ(installedTransport(link.harness), QStringLiteral("tcp"));

        link.advance(12s);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("failover")),
                  QStringList{QStringLiteral("failover: connectFailed \u2192 Alta (xhttp)")});
        EXPECT_EQ(session.switchingTo()->id, altaWithXhttp.id);
        link.advance(switchTime);
        EXPECT_TRUE(link.logged(QStringLiteral("switched to Alta"))) << link.logText();
        EXPECT_FALSE(session.switchingTo());
        EXPECT_EQ(session.activeTransport(), TessaronTransport::xhttp);
        EXPECT_EQ(installedTransport(link.harness), QStringLiteral("xhttp"));
        EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);

        // XHTTP fails as well: the node itself is given up, unless the choice of node is off.
        link.advance(12s);
        link.advance(switchTime);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("failover")).size(), autoSelect ? 2 : 1)
            << link.logText();
        EXPECT_EQ(link.logged(QStringLiteral("switched to Bergen")), autoSelect);
        EXPECT_EQ(session.selectedID(), autoSelect ? bergen.id : altaWithXhttp.id);
        EXPECT_EQ(installedTransport(link.harness), QString::fromLatin1(autoSelect ? "tcp" : "xhttp"));
    }
}

TEST_F(SessionFailoverTest, ThreeSwitchesAreAllowedThenFailoverGivesUpUntilTheNextConnect) {
    SystemLog::Capture systemLog;
    QList<TessaronProfile> nodes;
    for (const auto* name : {"Alta", "Bergen", "Cork", "Dover", "Evje"})
        nodes.append(sampleProfile(QString::fromLatin1(name)));
    auto& session = ready(nodes);
    track(session.connect());
    for (int failure = 0; failure < 3; ++failure) {
        advance(12s);
        advance(switchTime);
    }
    EXPECT_EQ(linesStartingWith(QStringLiteral("switched to")),
              (QStringList{"switched to Bergen", "switched to Cork", "switched to Dover"}));
    advance(12s);
    EXPECT_EQ(harness.logLines().count(QStringLiteral("failover gave up")), 1);
    EXPECT_EQ(systemLog.messages().count(QStringLiteral("failover gave up")), 1);
    EXPECT_TRUE(logged(QStringLiteral("auto-disconnect: failover gave up")));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_EQ(session.lastError(), TessaronSession::autoDisconnectNotice());

    // A fresh budget: the next failure switches again, even to nodes that failed before.
    harness.log.clear();
    harness.run(session.connect());
    EXPECT_TRUE(logged(QStringLiteral("failover budget reset after auto-disconnect")));
    advance(12s);
    advance(switchTime);
    EXPECT_EQ(linesStartingWith(QStringLiteral("switched to")),
              QStringList{QStringLiteral("switched to Alta")})
        << logText();
}

TEST_F(SessionFailoverTest, ASwitchIsDroppedByTheUsersStopOrAfterFortyLooksAtALinkThatStaysUp) {
    struct Case {
        const char* name;
        QList<FakeVpnConnection::Step> stopSteps;
        std::function<void(LinkScenario&)> meanwhile;
    };
    const Case cases[] = {
        // The link is down 1 s after the switch began; the switch sees it at its next look.
        {"the user stops",
         {{0s, VpnStatus::disconnecting}, {1s, VpnStatus::disconnected}},
         [](LinkScenario& link) {
             link.advance(500ms);
             link.session().userStopTapped();
             link.advance(1s);
             link.advance(switchTime);
             EXPECT_EQ(link.session().phase(), TessaronLinkPhase::disconnected);
         }},
        {"the link never comes down",
         {{0s, VpnStatus::disconnecting}},
         [](LinkScenario& link) {
             link.advance(39 * switchTime);
             EXPECT_TRUE(link.session().switchingTo());
             link.advance(switchTime);
         }},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.ready({alta, bergen});
        link.checksPass(false);
        link.connectAndComeUp();
        link.harness.tunnel().setStopSteps(example.stopSteps);
        const auto starts = link.harness.tunnel().startCount();
        link.advance(3s);
        ASSERT_TRUE(link.logged(QStringLiteral("failover: checkFailed \u2192 Bergen (tcp)")))
            << link.logText();
        ASSERT_TRUE(link.session().switchingTo());

        example.meanwhile(link);
        EXPECT_FALSE(link.session().switchingTo());
        EXPECT_EQ(link.session().selectedID(), alta.id);
        EXPECT_EQ(link.harness.tunnel().startCount(), starts);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("switched to")).isEmpty()) << link.logText();
    }
}

// With the choice of node off, failed connects refresh their roster at most once a minute, and a node whose
// roster says it is paused is left even though the user picked it.
TEST_F(SessionFailoverTest, WithTheChoiceOffFailuresRefreshTheRosterAndAPausedNodeIsStillLeft) {
    harness.manage(alta, {bergen});
    auto& session = ready({alta, bergen}, false);
    const auto failStart = [&](const TessaronProfile& node) {
        harness.tunnel().failNextStart(
            PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
        session.select(node.id);
        harness.run(session.connect());
    };
    failStart(alta);
    EXPECT_EQ(rosterPulls(alta.id), 1);
    advance(59s);
    failStart(bergen);
    EXPECT_EQ(rosterPulls(alta.id), 1);
    advance(2s);
    failStart(bergen);
    EXPECT_EQ(std::tuple(rosterPulls(alta.id), rosterPulls(bergen.id)), std::tuple(2, 0));

    const auto now = harness.clock.now();
    TessaronRosterResponse roster;
    roster.profiles = {alta, bergen};
    roster.health = {{alta.id, {true, now, true, now.addDays(9), 0.2, false}},
                     {bergen.id, {true, now, false, std::nullopt, 0.4, false}}};
    harness.pairing.setRoster(alta.id, roster);
    session.select(alta.id);
    // A poll of the link pulls the roster, which says the node's budget is used up.
    connectAndComeUp();
    advance(2s);
    EXPECT_TRUE(logged(QStringLiteral("failover: paused \u2192 Bergen (tcp)"))) << logText();
    advance(switchTime);
    EXPECT_TRUE(logged(QStringLiteral("switched to Bergen")));
    EXPECT_EQ(std::tuple(session.selectedID(), session.phase(), session.autoSelect()),
              std::tuple(std::optional(bergen.id), TessaronLinkPhase::connected, false));
    EXPECT_EQ(
        session.lastError(),
        QStringLiteral(
            "Tessaron switched to another server because this one has used up its traffic for the month."));
}

TEST_F(SessionFailoverTest, WithTheChoiceOffAnUnreachableNodeSuggestsTheFastestOther) {
    const std::tuple<qint64, bool> cases[] = {{tunnel_failure::serverUnreachable, true},
                                              {tunnel_failure::connectTimedOut, true},
                                              {tunnel_failure::serverNotResolved, false}};
    for (const auto& [code, suggests] : cases) {
        SCOPED_TRACE(code);
        LinkScenario link;
        link.harness.latencyAnswers = {{bergen.server, 40}, {cork.server, 40}};
        auto& session = link.ready({alta, bergen, cork}, false);
        link.advance(2s);
        ASSERT_EQ(session.latencies().size(), 2);

        link.harness.tunnel().failNextStart(PlatformError(tunnel_failure::domain, code));
        link.harness.run(session.connect());
        EXPECT_EQ(session.suggestedNodeName(), suggests ? std::optional(bergen.name) : std::nullopt);
        EXPECT_EQ(session.lastError() == QStringLiteral("This network cannot reach this server."), suggests);
    }
}

} // namespace
