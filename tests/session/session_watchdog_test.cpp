#include "session_link_fixture.hpp"

#include "platform/tunnel_contract.hpp"
#include "session/error_sanitizer.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionWatchdogTest : public SessionLinkTest {
protected:
    // A "%2" in a name stays text in the lines that name the node.
    const TessaronProfile oslo = sampleProfile("Oslo %2", "oslo.example.net");
    const TessaronProfile bergen = sampleProfile("Bergen");
};

TEST_F(SessionWatchdogTest,
       TheLastWorkingNodeGetsTwentySecondsToConnectAnyOtherTwelveWhileTheConnectIsUnderway) {
    const auto osloLine = [](int seconds) {
        return QStringList{
            QStringLiteral("connect watchdog: Oslo %2 still connecting after %1 s").arg(seconds)};
    };
    // What happens 5 s into the connect, and the last working node stored.
    const auto watch = [&](const char* name, Clock::Duration limit, const QStringList& fired,
                           const std::function<void(SessionHarness&)>& after5s,
                           std::optional<QUuid> lastGood = std::nullopt) {
        SCOPED_TRACE(name);
        SessionHarness h;
        h.ready({oslo, bergen}, false);
        if (lastGood)
            h.rememberLastGood(*lastGood);
        // The tunnel reports connecting and gets no further.
        track(h.session->connect());
        h.advance(5s);
        after5s(h);
        h.advance(limit - 5s - 1ms);
        EXPECT_TRUE(h.linesStartingWith("connect watchdog").isEmpty());
        h.advance(1ms);
        EXPECT_EQ(h.linesStartingWith("connect watchdog"), fired) << h.logText();
        h.advance(30s);
        // The watchdog leaves the tunnel to failover, which has nowhere to go with the choice off.
        EXPECT_EQ(std::tuple(h.linesStartingWith("connect watchdog"), h.session->phase()),
                  std::tuple(fired,
                             fired.isEmpty() ? TessaronLinkPhase::connected : TessaronLinkPhase::connecting));
    };
    const auto status = [](VpnStatus next) {
        return [next](SessionHarness& h) {
            h.tunnel().setStatus(next);
        };
    };
    const auto nothing = [](SessionHarness&) {
    };
    watch("nothing stored", 12s, osloLine(12), nothing);
    watch("another node stored", 12s, osloLine(12), nothing, bergen.id);
    watch("this node stored", 20s, osloLine(20), nothing, oslo.id);
    watch("the tunnel went on reasserting", 12s, osloLine(12), status(VpnStatus::reasserting));
    watch("the tunnel came up", 12s, {}, status(VpnStatus::connected));
    watch("another node was started", 17s, {"connect watchdog: Bergen still connecting after 12 s"},
          [this](SessionHarness& h) {
              h.session->userStopTapped();
              h.settle();
              h.session->select(bergen.id);
              track(h.session->connect());
          });
}

TEST_F(SessionWatchdogTest, ATunnelThatEndsByItselfShowsItsErrorAndLogsItsDomainCleaned) {
    const std::pair<QString, QString> cases[] = {
        {tunnel_failure::domain, tunnel_failure::domain},
        {"Odd Domain/with: marks!", "OddDomainwithmarks"},
        // Dotted, so that the log's redaction of long runs leaves it alone.
        {QStringLiteral("ab.").repeated(44), QStringLiteral("ab.").repeated(40)},
    };
    for (const auto& [domain, cleaned] : cases) {
        SessionHarness h;
        auto& session = h.ready({oslo});
        h.connectAndComeUp();
        session.setLastError("Earlier trouble.");
        const PlatformError error(domain, 7);
        h.tunnel().setLastDisconnectError(error);
        h.tunnel().setStatus(VpnStatus::disconnected);
        h.settle();
        EXPECT_EQ(std::tuple(session.lastError(), h.linesStartingWith("disconnect failure")),
                  std::tuple(TessaronErrorSanitizer::message(error),
                             QStringList{"disconnect failure: " + cleaned + "/7"}));
    }
}

} // namespace
