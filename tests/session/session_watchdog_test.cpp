#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"
#include "session/error_sanitizer.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionWatchdogTest : public SessionLinkTest {
protected:
    // A "%2" in a name stays text in the lines that name the node.
    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo %2"), QStringLiteral("oslo.example.net"));
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
};

TEST_F(SessionWatchdogTest, TheLastWorkingNodeGetsTwentySecondsToConnectAndAnyOtherTwelve) {
    struct Case {
        const char* name;
        std::optional<bool> lastGoodIsOslo;
        Clock::Duration limit;
        const char* line;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, 12s, "connect watchdog: Oslo %2 still connecting after 12 s"},
        {"another node stored", false, 12s, "connect watchdog: Oslo %2 still connecting after 12 s"},
        {"this node stored", true, 20s, "connect watchdog: Oslo %2 still connecting after 20 s"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.ready({oslo, bergen}, false);
        if (example.lastGoodIsOslo)
            link.rememberLastGood(*example.lastGoodIsOslo ? oslo.id : bergen.id);
        // The tunnel reports connecting and gets no further.
        track(link.harness.session->connect());
        link.harness.advance(example.limit - 1ms);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("connect watchdog")).isEmpty());
        link.harness.advance(1ms);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("connect watchdog")),
                  QStringList{QString::fromUtf8(example.line)});
        // The watchdog leaves the tunnel to failover, which has nowhere to go with the choice off.
        EXPECT_EQ(link.harness.session->phase(), TessaronLinkPhase::connecting);
    }
}

TEST_F(SessionWatchdogTest, AWatchdogFiresOnlyWhileItsConnectIsUnderway) {
    struct Case {
        const char* name;
        std::function<void(LinkScenario&)> after5s;
        QStringList fired;
    };
    const Case cases[] = {
        {"the tunnel came up",
         [](LinkScenario& link) { link.harness.tunnel().setStatus(VpnStatus::connected); },
         {}},
        {"the tunnel went on reasserting",
         [](LinkScenario& link) { link.harness.tunnel().setStatus(VpnStatus::reasserting); },
         {QStringLiteral("connect watchdog: Oslo %2 still connecting after 12 s")}},
        {"another node was started",
         [this](LinkScenario& link) {
             link.harness.session->userStopTapped();
             link.harness.settle();
             link.harness.session->select(bergen.id);
             track(link.harness.session->connect());
         },
         {QStringLiteral("connect watchdog: Bergen still connecting after 12 s")}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.ready({oslo, bergen}, false);
        track(link.harness.session->connect());
        link.harness.advance(5s);
        example.after5s(link);
        link.harness.advance(30s);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("connect watchdog")), example.fired)
            << link.logText();
    }
}

TEST_F(SessionWatchdogTest, TheNoticeOfAnAutoDisconnectOutlivesTheErrorOfItsStop) {
    auto& session = ready({oslo});
    connectAndComeUp();
    harness.tunnel().setStopSteps({{0s, VpnStatus::disconnecting},
                                   {0s, VpnStatus::disconnected, PlatformError(tunnel_failure::domain, 12)}});

    session.autoDisconnect(QStringLiteral("failover gave up"));
    harness.settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_EQ(session.lastError(), TessaronSession::autoDisconnectNotice());
    EXPECT_TRUE(logged(QStringLiteral("auto-disconnect: failover gave up")));
    EXPECT_TRUE(logged(QStringLiteral("disconnect failure: com.hallmere.tessaron.PacketTunnel/12")))
        << logText();

    // A link already down is left alone: no line, and the notice stays.
    harness.log.clear();
    session.setLastError(QStringLiteral("Earlier trouble."));
    session.autoDisconnect(QStringLiteral("check failed 10x"));
    EXPECT_TRUE(harness.logLines().isEmpty());
    EXPECT_EQ(session.lastError(), QStringLiteral("Earlier trouble."));
}

TEST_F(SessionWatchdogTest, ATunnelThatEndsByItselfShowsItsErrorAndLogsItsDomainCleaned) {
    struct Case {
        QString domain;
        QString logged;
    };
    const Case cases[] = {
        {tunnel_failure::domain, tunnel_failure::domain},
        {QStringLiteral("Odd Domain/with: marks!"), QStringLiteral("OddDomainwithmarks")},
        // Dotted, so that the log's redaction of long runs leaves it alone.
        {QStringLiteral("ab.").repeated(44), QStringLiteral("ab.").repeated(40)},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.domain.toStdString());
        LinkScenario link;
        auto& session = link.ready({oslo});
        link.connectAndComeUp();
        session.setLastError(QStringLiteral("Earlier trouble."));
        const PlatformError error(example.domain, 7);
        link.harness.tunnel().setLastDisconnectError(error);
        link.harness.tunnel().setStatus(VpnStatus::disconnected);
        link.harness.settle();

        EXPECT_EQ(session.lastError(), TessaronErrorSanitizer::message(error));
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("disconnect failure")),
                  QStringList{QStringLiteral("disconnect failure: %1/7").arg(example.logged)});
    }
}

} // namespace
