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

TEST_F(SessionWatchdogTest,
       TheLastWorkingNodeGetsTwentySecondsToConnectAnyOtherTwelveWhileTheConnectIsUnderway) {
    const auto osloLine = [](int seconds) {
        return QStringLiteral("connect watchdog: Oslo %2 still connecting after %1 s").arg(seconds);
    };
    struct Case {
        const char* name;
        std::optional<bool> lastGoodIsOslo;
        std::function<void(LinkScenario&)> after5s;
        Clock::Duration limit;
        QString fired;
    };
    const auto nothing = [](LinkScenario&) {
    };
    const auto status = [](VpnStatus next) {
        return [next](LinkScenario& link) {
            link.harness.tunnel().setStatus(next);
        };
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, nothing, 12s, osloLine(12)},
        {"another node stored", false, nothing, 12s, osloLine(12)},
        {"this node stored", true, nothing, 20s, osloLine(20)},
        {"the tunnel went on reasserting", std::nullopt, status(VpnStatus::reasserting), 12s, osloLine(12)},
        {"the tunnel came up", std::nullopt, status(VpnStatus::connected), 12s, {}},
        {"another node was started", std::nullopt,
         [this](LinkScenario& link) {
             link.session().userStopTapped();
             link.harness.settle();
             link.session().select(bergen.id);
             track(link.session().connect());
         },
         17s, QStringLiteral("connect watchdog: Bergen still connecting after 12 s")},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        LinkScenario link;
        link.ready({oslo, bergen}, false);
        if (example.lastGoodIsOslo)
            link.rememberLastGood(*example.lastGoodIsOslo ? oslo.id : bergen.id);
        // The tunnel reports connecting and gets no further.
        track(link.session().connect());
        link.advance(5s);
        example.after5s(link);
        link.advance(example.limit - 5s - 1ms);
        EXPECT_TRUE(link.linesStartingWith(QStringLiteral("connect watchdog")).isEmpty());
        link.advance(1ms);
        const auto expected = example.fired.isEmpty() ? QStringList{} : QStringList{example.fired};
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("connect watchdog")), expected) << link.logText();
        link.advance(30s);
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("connect watchdog")), expected);
        // The watchdog leaves the tunnel to failover, which has nowhere to go with the choice off.
        EXPECT_EQ(link.session().phase(),
                  example.fired.isEmpty() ? TessaronLinkPhase::connected : TessaronLinkPhase::connecting);
    }
}

TEST_F(SessionWatchdogTest, ATunnelThatEndsByItselfShowsItsErrorAndLogsItsDomainCleaned) {
    const std::pair<QString, QString> cases[] = {
        {tunnel_failure::domain, tunnel_failure::domain},
        {QStringLiteral("Odd Domain/with: marks!"), QStringLiteral("OddDomainwithmarks")},
        // Dotted, so that the log's redaction of long runs leaves it alone.
        {QStringLiteral("ab.").repeated(44), QStringLiteral("ab.").repeated(40)},
    };
    for (const auto& [domain, cleaned] : cases) {
        LinkScenario link;
        auto& session = link.ready({oslo});
        link.connectAndComeUp();
        session.setLastError(QStringLiteral("Earlier trouble."));
        const PlatformError error(domain, 7);
        link.harness.tunnel().setLastDisconnectError(error);
        link.harness.tunnel().setStatus(VpnStatus::disconnected);
        link.harness.settle();
        EXPECT_EQ(session.lastError(), TessaronErrorSanitizer::message(error));
        EXPECT_EQ(link.linesStartingWith(QStringLiteral("disconnect failure")),
                  QStringList{QStringLiteral("disconnect failure: %1/7").arg(cleaned)});
    }
}

} // namespace
