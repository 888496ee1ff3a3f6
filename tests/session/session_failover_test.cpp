#include "session_link_fixture.hpp"

#include "platform/system_log.hpp"
#include "platform/tunnel_contract.hpp"
#include "profiles/json_values.hpp"

#include <QJsonArray>

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
    QString installedTransport() {
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

    void manage(const TessaronProfile& source, const QList<TessaronProfile>& managed) {
        QJsonArray ids;
        for (const auto& profile : managed)
            ids.append(uuidText(profile.id));
        harness.preferences.setValue(
            QStringLiteral("tessaron.managedProfiles"),
            QJsonDocument(QJsonObject{{uuidText(source.id), ids}}).toJson(QJsonDocument::Compact));
    }

    const TessaronProfile alta = sampleProfile(QStringLiteral("Alta"));
    const TessaronProfile altaWithXhttp = sampleProfile(QStringLiteral("Alta"), {}, true);
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
    const TessaronProfile cork = sampleProfile(QStringLiteral("Cork"));
};

TEST_F(SessionFailoverTest, AFailingNodeIsTriedOverXhttpBeforeFailoverMovesToAnotherNode) {
    auto& session = ready({altaWithXhttp, bergen});
    track(session.connect());
    harness.settle();
    ASSERT_EQ(installedTransport(), QStringLiteral("tcp"));

    harness.advance(12s);
    EXPECT_EQ(linesStartingWith(QStringLiteral("failover")),
              QStringList{QStringLiteral("failover: connectFailed \u2192 Alta (xhttp)")});
    EXPECT_EQ(session.switchingTo()->id, altaWithXhttp.id);
    harness.advance(switchTime);
    EXPECT_TRUE(logged(QStringLiteral("switched to Alta"))) << logText();
    EXPECT_FALSE(session.switchingTo());
    EXPECT_EQ(session.activeTransport(), TessaronTransport::xhttp);
    EXPECT_EQ(installedTransport(), QStringLiteral("xhttp"));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);

    // XHTTP fails as well: now the node itself is given up.
    harness.advance(12s);
    EXPECT_EQ(linesStartingWith(QStringLiteral("failover")).last(),
              QStringLiteral("failover: connectFailed \u2192 Bergen (tcp)"));
    harness.advance(switchTime);
    EXPECT_TRUE(logged(QStringLiteral("switched to Bergen")));
    EXPECT_EQ(session.selectedID(), bergen.id);
    EXPECT_EQ(installedTransport(), QStringLiteral("tcp"));
}

TEST_F(SessionFailoverTest, WithTheChoiceOffOnlyTheTransportSteps) {
    auto& session = ready({altaWithXhttp, bergen}, false);
    track(session.connect());
    harness.advance(12s);
    harness.advance(switchTime);
    EXPECT_EQ(installedTransport(), QStringLiteral("xhttp"));

    harness.advance(60s);
    EXPECT_EQ(linesStartingWith(QStringLiteral("failover")).size(), 1) << logText();
    EXPECT_EQ(session.selectedID(), altaWithXhttp.id);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
}

TEST_F(SessionFailoverTest, ThreeSwitchesAreAllowedThenFailoverGivesUpUntilTheNextConnect) {
    SystemLog::Capture systemLog;
    QList<TessaronProfile> nodes;
    for (const auto* name : {"Alta", "Bergen", "Cork", "Dover", "Evje"})
        nodes.append(sampleProfile(QString::fromLatin1(name)));
    auto& session = ready(nodes);
    track(session.connect());
    harness.settle();

    for (const auto* name : {"Bergen", "Cork", "Dover"}) {
        SCOPED_TRACE(name);
        harness.advance(12s);
        harness.advance(switchTime);
        EXPECT_TRUE(logged(QStringLiteral("switched to ") + QString::fromLatin1(name))) << logText();
    }
    harness.advance(12s);
    EXPECT_EQ(harness.logLines().count(QStringLiteral("failover gave up")), 1);
    EXPECT_EQ(systemLog.messages().count(QStringLiteral("failover gave up")), 1);
    EXPECT_TRUE(logged(QStringLiteral("auto-disconnect: failover gave up")));
    harness.settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_EQ(session.lastError(), TessaronSession::autoDisconnectNotice());

    // A fresh budget: the next failure switches again, even to nodes that failed before.
    harness.log.clear();
    track(session.connect());
    harness.settle();
    EXPECT_TRUE(logged(QStringLiteral("failover budget reset after auto-disconnect")));
    harness.advance(12s);
    harness.advance(switchTime);
    EXPECT_EQ(linesStartingWith(QStringLiteral("switched to")),
              QStringList{QStringLiteral("switched to Alta")})
        << logText();
}

TEST_F(SessionFailoverTest, AStopTheUserAsksForDuringASwitchIsKept) {
    auto& session = ready({alta, bergen});
    harness.reachability.answer(FakeReachability::failure());
    connectAndComeUp();
    harness.tunnel().setStopSteps({{0s, VpnStatus::disconnecting}, {1s, VpnStatus::disconnected}});
    const auto starts = harness.tunnel().startCount();
    harness.advance(3s);
    ASSERT_TRUE(logged(QStringLiteral("failover: checkFailed \u2192 Bergen (tcp)"))) << logText();
    ASSERT_EQ(session.phase(), TessaronLinkPhase::disconnecting);

    harness.advance(500ms);
    session.userStopTapped();
    // The link is down after 1 s; the switch sees it at its next look.
    harness.advance(1s);
    harness.advance(switchTime);

    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_EQ(harness.tunnel().startCount(), starts);
    EXPECT_EQ(session.selectedID(), alta.id);
    EXPECT_FALSE(session.switchingTo());
    EXPECT_TRUE(linesStartingWith(QStringLiteral("switched to")).isEmpty()) << logText();
}

TEST_F(SessionFailoverTest, ASwitchWhoseLinkWillNotComeDownIsDroppedAfterFortyLooks) {
    auto& session = ready({alta, bergen});
    harness.reachability.answer(FakeReachability::failure());
    connectAndComeUp();
    harness.tunnel().setStopSteps({{0s, VpnStatus::disconnecting}});
    const auto starts = harness.tunnel().startCount();
    for (int step = 0; step < 20 && !session.switchingTo(); ++step)
        harness.advance(switchTime);
    ASSERT_TRUE(session.switchingTo()) << logText();

    harness.advance(39 * switchTime);
    EXPECT_TRUE(session.switchingTo());
    harness.advance(switchTime);
    EXPECT_FALSE(session.switchingTo());
    EXPECT_EQ(session.selectedID(), alta.id);
    EXPECT_EQ(harness.tunnel().startCount(), starts);
    EXPECT_TRUE(linesStartingWith(QStringLiteral("switched to")).isEmpty()) << logText();
}

TEST_F(SessionFailoverTest, APausedNodeIsLeftEvenWhenTheUserPickedIt) {
    auto& session = ready({alta, bergen}, false);
    TessaronRosterResponse roster;
    roster.profiles = {alta, bergen};
    const auto now = harness.clock.now();
    roster.health.insert(alta.id, TessaronNodeHealth{true, now, true, now.addDays(9), 0.2, false});
    roster.health.insert(bergen.id, TessaronNodeHealth{true, now, false, std::nullopt, 0.4, false});
    harness.pairing.setRoster(alta.id, roster);

    // A poll of the link pulls the roster, which says the node's budget is used up.
    connectAndComeUp();
    harness.advance(2s);
    EXPECT_TRUE(logged(QStringLiteral("failover: paused \u2192 Bergen (tcp)"))) << logText();
    harness.advance(switchTime);
    EXPECT_TRUE(logged(QStringLiteral("switched to Bergen")));
    EXPECT_EQ(session.selectedID(), bergen.id);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(
        session.lastError(),
        QStringLiteral(
            "Tessaron switched to another server because this one has used up its traffic for the month."));
    EXPECT_FALSE(session.autoSelect());
}

TEST_F(SessionFailoverTest, FailedConnectsRefreshTheirRosterAtMostOnceAMinute) {
    manage(alta, {bergen});
    auto& session = ready({alta, bergen}, false);
    const auto failStart = [&](const TessaronProfile& node) {
        harness.tunnel().failNextStart(
            PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
        session.select(node.id);
        track(session.connect());
        harness.settle();
    };

    failStart(alta);
    EXPECT_EQ(rosterPulls(alta.id), 1);
    harness.advance(59s);
    failStart(bergen);
    EXPECT_EQ(rosterPulls(alta.id), 1);
    harness.advance(2s);
    failStart(bergen);
    EXPECT_EQ(rosterPulls(alta.id), 2);
    EXPECT_EQ(rosterPulls(bergen.id), 0);
}

TEST_F(SessionFailoverTest, WithTheChoiceOffAnUnreachableNodeSuggestsTheFastestOther) {
    struct Case {
        const char* name;
        qint64 code;
        std::optional<QString> suggested;
    };
    const Case cases[] = {
        {"unreachable", tunnel_failure::serverUnreachable, QStringLiteral("Bergen")},
        {"timed out", tunnel_failure::connectTimedOut, QStringLiteral("Bergen")},
        {"another failure", tunnel_failure::serverNotResolved, std::nullopt},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.harness.latencyAnswers.insert(bergen.server, 40);
        link.harness.latencyAnswers.insert(cork.server, 40);
        auto& session = link.ready({alta, bergen, cork}, false);
        link.harness.advance(2s);
        ASSERT_EQ(session.latencies().size(), 2);

        link.harness.tunnel().failNextStart(PlatformError(tunnel_failure::domain, example.code));
        track(session.connect());
        link.harness.settle();
        EXPECT_EQ(session.suggestedNodeName(), example.suggested);
        EXPECT_EQ(session.lastError() == QStringLiteral("This network cannot reach this server."),
                  example.suggested.has_value());
    }
}

} // namespace
