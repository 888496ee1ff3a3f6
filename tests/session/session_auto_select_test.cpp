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

    TessaronNodeHealth up() const { return {true, harness.clock.now(), false, std::nullopt, 0.5, false}; }
    TessaronNodeHealth downSince(Clock::Duration age) const {
        return {false,
                harness.clock.now().addSecs(-std::chrono::duration_cast<std::chrono::seconds>(age).count()),
                false,
                std::nullopt,
                0.5,
                false};
    }
    TessaronNodeHealth paused() const { return {true, harness.clock.now(), true, std::nullopt, 0.5, false}; }

    const TessaronProfile alta = sampleProfile(QStringLiteral("Alta"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
    const TessaronProfile cork = sampleProfile(QStringLiteral("Cork"));
    const TessaronProfile dover = sampleProfile(QStringLiteral("Dover"));
};

TEST_F(SessionAutoSelectTest, TheFastestUsableNodeIsPickedAndNodesReportedDownAreNamed) {
    harness.latencyAnswers = {{alta.server, 80}, {bergen.server, 40}, {cork.server, 30}, {dover.server, 20}};
    auto& session = ready({alta, bergen, cork, dover});
    adoptRoster({alta, bergen, cork, dover}, {up(), up(), downSince(30s), paused()});
    harness.log.clear();

    harness.run(session.autoSelectForConnect());

    EXPECT_EQ(session.selectedID(), bergen.id);
    // The paused node is passed over without a line.
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto")),
              (QStringList{"auto-select: skipped Cork (reported down 1 min ago)",
                           "auto pick: Bergen samples=4 excluded=0"}));
}

TEST_F(SessionAutoSelectTest, WhenEveryNodeIsDownTheCurrentOneStaysUnlessAnotherWasMeasured) {
    auto& session = ready({alta, bergen, cork});
    session.select(bergen.id);
    adoptRoster({alta, bergen, cork}, {downSince(150s), downSince(150s), downSince(150s)});
    harness.log.clear();

    harness.run(session.autoSelectForConnect());

    EXPECT_EQ(session.selectedID(), bergen.id);
    EXPECT_EQ(linesStartingWith(QStringLiteral("auto")),
              (QStringList{"auto-select: skipped Alta (reported down 2 min ago)",
                           "auto-select: skipped Bergen (reported down 2 min ago)",
                           "auto-select: skipped Cork (reported down 2 min ago)",
                           "auto pick: Bergen samples=3 excluded=0"}));

    harness.latencyAnswers = {{cork.server, 90}};
    harness.run(session.autoSelectForConnect());
    EXPECT_EQ(session.selectedID(), cork.id);
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
    struct Case {
        const char* name;
        std::function<TessaronSession&(LinkScenario&)> arrange;
    };
    const Case cases[] = {
        {"a single saved connection",
         [this](LinkScenario& link) -> TessaronSession& {
             return link.ready({alta});
         }},
        {"the choice turned off",
         [this](LinkScenario& link) -> TessaronSession& {
             return link.ready({alta, bergen}, false);
         }},
        {"a link up",
         [this](LinkScenario& link) -> TessaronSession& {
             auto& session = link.ready({alta, bergen});
             link.harness.latencyAnswers.clear();
             link.connectAndComeUp();
             link.harness.latencyAnswers = {{bergen.server, 10}};
             link.harness.log.clear();
             return session;
         }},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.harness.latencyAnswers = {{bergen.server, 10}};
        auto& session = example.arrange(link);
        const auto before = session.selectedID();

        track(session.autoSelectForConnect());
        link.harness.advance(3s);

        EXPECT_EQ(session.selectedID(), before);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("auto")).isEmpty()) << link.logText();
    }
}

TEST_F(SessionAutoSelectTest, APickMeasuredTooLateDoesNotOverruleTheUser) {
    struct Case {
        const char* name;
        std::function<void(TessaronSession&)> meanwhile;
        std::optional<QString> picked;
    };
    const Case cases[] = {
        {"nothing happens", [](TessaronSession&) {}, QStringLiteral("Bergen")},
        {"the choice is turned off", [](TessaronSession& session) { session.setAutoSelect(false); },
         std::nullopt},
        {"another node is selected", [this](TessaronSession& session) { session.select(cork.id); },
         std::nullopt},
        {"the link is started", [](TessaronSession& session) { track(session.startSelectedConnection()); },
         std::nullopt},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.harness.latencyAnswers = {{alta.server, 90}, {bergen.server, 10}, {cork.server, 50}};
        link.harness.latencyDelay = 1s;
        auto& session = link.ready({alta, bergen, cork}, false);

        // Turning the choice on picks at once, after measuring the nodes never measured.
        session.setAutoSelect(true);
        link.harness.advance(500ms);
        example.meanwhile(session);
        const auto selectedMeanwhile = session.selectedID();
        link.harness.advance(1s);

        if (example.picked) {
            EXPECT_EQ(session.selectedSummary()->name, *example.picked);
            EXPECT_EQ(link.linesStartingWith(QStringLiteral("auto pick")).size(), 1);
        } else {
            EXPECT_EQ(session.selectedID(), selectedMeanwhile);
            EXPECT_TRUE(link.linesStartingWith(QStringLiteral("auto pick")).isEmpty()) << link.logText();
            EXPECT_FALSE(session.lastError());
        }
    }
}

} // namespace
