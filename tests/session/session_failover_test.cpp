#include "session_link_fixture.hpp"

#include "platform/system_log.hpp"
#include "platform/tunnel_contract.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

// A switch stops the link and polls every 250 ms until it is down.
constexpr auto switchTime = 250ms;

// Nodes to choose from, and a roster for them.
class SessionNodesTest : public SessionLinkTest {
protected:
    // The roster of the first node for all of them, with each node's health as given: up, reported how long
    // ago, paused.
    void adoptRoster(const QList<std::tuple<bool, int, bool>>& health) {
        TessaronRosterResponse roster{nodes, {}, {}, std::nullopt, std::nullopt};
        for (qsizetype i = 0; i < health.size(); ++i) {
            const auto& [up, secondsAgo, paused] = health[i];
            roster.health.insert(nodes[i].id, {up, clock.now().addSecs(-secondsAgo), paused, {}, 0.5, false});
        }
        pairing.setRoster(alta.id, roster);
        run(session->pullRoster(alta.id));
        log.clear();
    }

    const TessaronProfile alta = sampleProfile("Alta");
    const TessaronProfile altaWithXhttp = sampleProfile("Alta", {}, true);
    const TessaronProfile bergen = sampleProfile("Bergen");
    const TessaronProfile cork = sampleProfile("Cork");
    const TessaronProfile dover = sampleProfile("Dover");
    const QList<TessaronProfile> nodes{alta, bergen, cork, dover};
};
using SessionFailoverTest = SessionNodesTest;
using SessionAutoSelectTest = SessionNodesTest;

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

// The launch's listing learns which nodes offer XHTTP from the same keyring search that lists them: the list
// waits for no keyring read per node, and failover still plans XHTTP for exactly the nodes stored with it.
TEST_F(SessionFailoverTest, OneKeyringSearchListsTheNodesAndTellsWhichOfferXhttp) {
    const auto corkWithXhttp = sampleProfile("Cork", {}, true);
    // As a connect leaves the item: annotated with the transport it handed the tunnel.
    const auto annotated =
        TessaronKeychainStore::annotatedProfileData(corkWithXhttp, TessaronTransport::xhttp);
    const struct {
        const char* name;
        QList<std::pair<TessaronProfile, QByteArray>> saved;
        bool unreadable;
        QSet<QUuid> expected; // the nodes failover would move to over XHTTP
    } cases[] = {
        {"one node without", {{alta, alta.canonicalJSON()}}, false, {}},
        {"one node with", {{altaWithXhttp, altaWithXhttp.canonicalJSON()}}, false, {altaWithXhttp.id}},
        {"mixed, one stored for the tunnel, one unreadable",
         {{altaWithXhttp, altaWithXhttp.canonicalJSON()},
          {bergen, bergen.canonicalJSON()},
          {corkWithXhttp, annotated},
          {dover, dover.canonicalJSON()}},
         true,
         {altaWithXhttp.id, corkWithXhttp.id}},
    };
    // A launch over nothing saved asks the keyring what every launch asks, whatever it lists.
    SessionHarness empty;
    empty.launch();
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SessionHarness h;
        for (const auto& [profile, item] : row.saved)
            h.saveItem(profile.id, item);
        if (row.unreadable)
            h.saveUnreadable();
        auto& session = h.launch();
        QSet<QUuid> overXhttp;
        for (const auto& candidate : session.failoverPlan()) {
            if (candidate.transport == TessaronTransport::xhttp)
                overXhttp.insert(candidate.profileID);
        }
        EXPECT_EQ(std::tuple(session.summaries().size(), h.keychain.roundTrips(), overXhttp),
                  std::tuple(row.saved.size(), empty.keychain.roundTrips(), row.expected));
    }
}

TEST_F(SessionFailoverTest, ThreeSwitchesAreAllowedThenFailoverGivesUpUntilTheNextConnect) {
    SystemLog::Capture systemLog;
    auto& session = ready({alta, bergen, cork, dover, sampleProfile("Evje")});
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
        ASSERT_EQ(h.linesAfter(3s, "failover"), QStringList{"failover: checkFailed \u2192 Bergen (tcp)"})
            << h.logText();
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

// With the choice of node off, failed connects refresh their roster at most once a minute, an unreachable
// node suggests the fastest other one, and a node whose roster says it is paused is left even though the user
// picked it.
TEST_F(SessionFailoverTest, WithTheChoiceOffFailuresRefreshTheRosterSuggestAnotherNodeAndAPausedNodeIsLeft) {
    manage(alta, {bergen});
    latencyAnswers = {{alta.server, 10}, {bergen.server, 20}, {cork.server, 40}};
    auto& session = ready({alta, bergen, cork}, false);
    // The pulls of each node's roster and the node suggested after a failed start of `node`.
    const auto failStart = [&](const TessaronProfile& node, qint64 code = tunnel_failure::serverUnreachable) {
        tunnel().failNextStart(PlatformError(tunnel_failure::domain, code));
        session.select(node.id);
        run(session.connect());
        return std::tuple(rosterPulls().count(alta.id), rosterPulls().count(bergen.id),
                          session.suggestedNodeName());
    };
    EXPECT_EQ(std::get<0>(failStart(alta)), 1);
    advance(59s);
    EXPECT_EQ(failStart(bergen), std::tuple(1, 0, std::optional<QString>("Alta")));
    EXPECT_EQ(session.lastError(), "This network cannot reach this server.");
    advance(2s);
    // A node the network resolves to nothing suggests none.
    EXPECT_EQ(failStart(bergen, tunnel_failure::serverNotResolved), std::tuple(2, 0, std::nullopt));

    const auto now = clock.now();
    TessaronRosterResponse roster{{alta, bergen}, {}, {}, std::nullopt, std::nullopt};
    roster.health = {{alta.id, {true, now, true, now.addDays(9), 0.2, false}},
                     {bergen.id, {true, now, false, std::nullopt, 0.4, false}}};
    pairing.setRoster(alta.id, roster);
    session.select(alta.id);
    // A suggestion still on the banner ends when the link comes up.
    session.setSuggestedNodeID(bergen.id);
    // A poll of the link pulls the roster, which says the node's budget is used up.
    connectAndComeUp();
    EXPECT_EQ(session.suggestedNodeID(), std::nullopt);
    EXPECT_EQ(linesAfter(2s, "failover: paused"), QStringList{"failover: paused \u2192 Cork (tcp)"})
        << logText();
    EXPECT_EQ(
        (std::tuple{linesAfter(switchTime, "switched to"), session.selectedID(), session.phase(),
                    session.autoSelect(), session.lastError()}),
        std::tuple(QStringList{"switched to Cork"}, std::optional(cork.id), TessaronLinkPhase::connected,
                   false,
                   "Tessaron switched to another server because this one has used up its traffic for the "
                   "month."));
}

TEST_F(SessionAutoSelectTest, TheFastestUsableNodeIsPickedAndNodesReportedDownAreNamed) {
    auto& session = ready(nodes);
    // Every node down: the current one stays unless another was measured.
    adoptRoster({{false, 150, false}, {false, 150, false}, {false, 150, false}, {false, 150, false}});
    run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), alta.id);
    EXPECT_EQ(linesStartingWith("auto"), (QStringList{"auto-select: skipped Alta (reported down 2 min ago)",
                                                      "auto-select: skipped Bergen (reported down 2 min ago)",
                                                      "auto-select: skipped Cork (reported down 2 min ago)",
                                                      "auto-select: skipped Dover (reported down 2 min ago)",
                                                      "auto pick: Alta samples=4 excluded=0"}));
    latencyAnswers = {{cork.server, 90}};
    run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), cork.id);

    // The paused node is passed over without a line.
    latencyAnswers = {{alta.server, 80}, {bergen.server, 40}, {cork.server, 30}, {dover.server, 20}};
    adoptRoster({{true, 0, false}, {true, 0, false}, {false, 30, false}, {true, 0, true}});
    run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), bergen.id);
    EXPECT_EQ(linesStartingWith("auto"), (QStringList{"auto-select: skipped Cork (reported down 1 min ago)",
                                                      "auto pick: Bergen samples=4 excluded=0"}));

    // A node failover excluded is not picked however fast it is.
    tunnel().failNextStart(PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
    track(session.connect());
    ASSERT_EQ(linesAfter(250ms, "switched to"), QStringList{"switched to Alta"}) << logText();
    session.userStopTapped();
    settle();
    log.clear();
    run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), alta.id);
    EXPECT_EQ(linesStartingWith("auto pick"), QStringList{"auto pick: Alta samples=4 excluded=1"});
}

TEST_F(SessionAutoSelectTest, NothingIsPickedWhereTheChoiceDoesNotApplyOrTheUserActedFirst) {
    // The saved nodes, whether the choice is on, and whether a link is up.
    const std::tuple<const char*, QList<TessaronProfile>, bool, bool> cases[] = {
        {"a single saved connection", {alta}, true, false},
        {"the choice turned off", {alta, bergen}, false, false},
        {"a link up", {alta, bergen}, true, true},
    };
    for (const auto& [name, saved, autoSelect, linkUp] : cases) {
        SCOPED_TRACE(name);
        SessionHarness h;
        auto& session = h.ready(saved, autoSelect);
        if (linkUp)
            h.connectAndComeUp();
        h.latencyAnswers = {{bergen.server, 10}};
        h.log.clear();
        track(session.autoSelectForConnect());
        h.advance(3s);
        EXPECT_EQ(session.selectedID(), alta.id);
        EXPECT_TRUE(h.linesStartingWith("auto").isEmpty()) << h.logText();
    }

    // Turning the choice on picks at once, after measuring the nodes never measured; what the user does
    // meanwhile wins over the pick.
    const auto pickWhile = [this](const char* name, const std::function<void(TessaronSession&)>& act) {
        SCOPED_TRACE(name);
        SessionHarness h;
        h.latencyAnswers = {{alta.server, 90}, {bergen.server, 10}, {cork.server, 50}};
        h.latencyDelay = 1s;
        auto& session = h.ready({alta, bergen, cork}, false);
        session.setAutoSelect(true);
        h.advance(500ms);
        act(session);
        const bool untouched = std::string_view(name) == "nothing happens";
        const auto expected = untouched ? std::optional(bergen.id) : session.selectedID();
        h.advance(1s);
        EXPECT_EQ(
            std::tuple(session.selectedID(), h.linesStartingWith("auto pick").size(), session.lastError()),
            std::tuple(expected, untouched ? 1 : 0, std::nullopt))
            << h.logText();
    };
    pickWhile("nothing happens", [](TessaronSession&) {});
    pickWhile("the choice is turned off", [](TessaronSession& session) { session.setAutoSelect(false); });
    pickWhile("another node is selected", [this](TessaronSession& session) { session.select(cork.id); });
    pickWhile("the link is started",
              [](TessaronSession& session) { track(session.startSelectedConnection()); });
}

} // namespace
