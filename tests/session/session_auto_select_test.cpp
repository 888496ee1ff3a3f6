#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionAutoSelectTest : public SessionLinkTest {
protected:
    // The roster of the first node for all of them, with each node's health as given.
    void adoptRoster(const QList<TessaronProfile>& nodes, const QList<TessaronNodeHealth>& health) {
        TessaronRosterResponse roster;
        roster.profiles = nodes;
        for (qsizetype i = 0; i < nodes.size(); ++i)
            roster.health.insert(nodes[i].id, health[i]);
        harness.pairing.setRoster(nodes.first().id, roster);
        harness.run(harness.session->pullRoster(nodes.first().id));
    }

    TessaronNodeHealth health(bool up, Clock::Duration age = {}, bool paused = false) const {
        const auto checkedAt =
            harness.clock.now().addSecs(-std::chrono::duration_cast<std::chrono::seconds>(age).count());
        return {up, checkedAt, paused, std::nullopt, 0.5, false};
    }

    const TessaronProfile alta = sampleProfile(QStringLiteral("Alta"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
    const TessaronProfile cork = sampleProfile(QStringLiteral("Cork"));
    const TessaronProfile dover = sampleProfile(QStringLiteral("Dover"));
};

TEST_F(SessionAutoSelectTest, TheFastestUsableNodeIsPickedAndNodesReportedDownAreNamed) {
    const QList<TessaronProfile> nodes{alta, bergen, cork, dover};
    auto& session = ready(nodes);
    // Every node down: the current one stays unless another was measured.
    adoptRoster(nodes, {health(false, 150s), health(false, 150s), health(false, 150s), health(false, 150s)});
    harness.log.clear();
    harness.run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), alta.id);
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto")),
              (QStringList{"auto-select: skipped Alta (reported down 2 min ago)",
                           "auto-select: skipped Bergen (reported down 2 min ago)",
                           "auto-select: skipped Cork (reported down 2 min ago)",
                           "auto-select: skipped Dover (reported down 2 min ago)",
                           "auto pick: Alta samples=4 excluded=0"}));
    harness.latencyAnswers = {{cork.server, 90}};
    harness.run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), cork.id);

    harness.latencyAnswers = {{alta.server, 80}, {bergen.server, 40}, {cork.server, 30}, {dover.server, 20}};
    adoptRoster(nodes, {health(true), health(true), health(false, 30s), health(true, {}, true)});
    harness.log.clear();
    harness.run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), bergen.id);
    // The paused node is passed over without a line.
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto")),
              (QStringList{"auto-select: skipped Cork (reported down 1 min ago)",
                           "auto pick: Bergen samples=4 excluded=0"}));
}

TEST_F(SessionAutoSelectTest, ANodeFailoverExcludedIsNotPickedHoweverFastItIs) {
    harness.latencyAnswers = {{alta.server, 60}, {bergen.server, 20}};
    auto& session = ready({alta, bergen});
    session.select(bergen.id);
    harness.tunnel().failNextStart(PlatformError(tunnel_failure::domain, tunnel_failure::serverUnreachable));
    track(session.connect());
    harness.advance(250ms);
    ASSERT_TRUE(logged(QStringLiteral("switched to Alta"))) << logText();
    session.userStopTapped();
    harness.settle();
    harness.log.clear();

    harness.run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), alta.id);
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto pick")),
              QStringList{QStringLiteral("auto pick: Alta samples=2 excluded=1")});
}

TEST_F(SessionAutoSelectTest, NothingIsPickedWhereTheChoiceDoesNotApply) {
    // The saved nodes, whether the choice is on, and whether a link is up.
    const std::tuple<const char*, QList<TessaronProfile>, bool, bool> cases[] = {
        {"a single saved connection", {alta}, true, false},
        {"the choice turned off", {alta, bergen}, false, false},
        {"a link up", {alta, bergen}, true, true},
    };
    for (const auto& [name, nodes, autoSelect, linkUp] : cases) {
        SCOPED_TRACE(name);
        LinkScenario link;
        auto& session = link.ready(nodes, autoSelect);
        if (linkUp)
            link.connectAndComeUp();
        link.harness.latencyAnswers = {{bergen.server, 10}};
        link.harness.log.clear();
        track(session.autoSelectForConnect());
        link.advance(3s);
        EXPECT_EQ(session.selectedID(), alta.id);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("auto")).isEmpty()) << link.logText();
    }
}

TEST_F(SessionAutoSelectTest, APickMeasuredTooLateDoesNotOverruleTheUser) {
    using Meanwhile = std::function<void(TessaronSession&)>;
    const std::tuple<const char*, Meanwhile> cases[] = {
        {"nothing happens",
         [](TessaronSession&) {
         }},
        {"the choice is turned off",
         [](TessaronSession& session) {
             session.setAutoSelect(false);
         }},
        {"another node is selected",
         [this](TessaronSession& session) {
             session.select(cork.id);
         }},
        {"the link is started",
         [](TessaronSession& session) {
             track(session.startSelectedConnection());
         }},
    };
    for (const auto& [name, meanwhile] : cases) {
        SCOPED_TRACE(name);
        LinkScenario link;
        link.harness.latencyAnswers = {{alta.server, 90}, {bergen.server, 10}, {cork.server, 50}};
        link.harness.latencyDelay = 1s;
        auto& session = link.ready({alta, bergen, cork}, false);
        // Turning the choice on picks at once, after measuring the nodes never measured.
        session.setAutoSelect(true);
        link.advance(500ms);
        meanwhile(session);
        const bool untouched = std::string_view(name) == "nothing happens";
        const auto expected = untouched ? std::optional(bergen.id) : session.selectedID();
        link.advance(1s);
        EXPECT_EQ(session.selectedID(), expected);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("auto pick")).size(), untouched ? 1 : 0)
            << link.logText();
        EXPECT_FALSE(session.lastError());
    }
}

} // namespace
