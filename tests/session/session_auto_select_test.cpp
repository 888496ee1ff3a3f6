#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionAutoSelectTest : public SessionLinkTest {
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
    const TessaronProfile bergen = sampleProfile("Bergen");
    const TessaronProfile cork = sampleProfile("Cork");
    const TessaronProfile dover = sampleProfile("Dover");
    const QList<TessaronProfile> nodes{alta, bergen, cork, dover};
};

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
    advance(250ms);
    ASSERT_TRUE(logged("switched to Alta")) << logText();
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
