#include "local_service_process.hpp"
#include "session_application.hpp"
#include "tunnel_harness.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/access_input.hpp"
#include "support/run_task.hpp"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

// The whole way a new user goes, on the system clock: an invitation link of the local service redeemed
// through the session, its roster of several nodes adopted, the first node reached through the real tunnel;
// then that node's failure followed through the tunnel process to another node.
TEST(SessionEndToEndTest, AnInvitationLinkGivesTheRosterItsNodeConnectsAndABlockedNodeIsLeftForTheNext) {
    const LocalServiceProcess service;
    ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
    const TunnelHarness harness;
    SessionApplication app(
        harness, PairingService{QUrl(service.baseURL()), QSslCertificate::fromPath(service.caFile())}, true);
    auto& session = app.launch();
    ASSERT_TRUE(session.summaries().isEmpty());
    const auto printed = service.linesMatching(QStringLiteral("^invitation code for Americas .*: (\\S+)$"));
    ASSERT_FALSE(printed.isEmpty());
    const auto link =
        TessaronAccessInput::invitationConnectURL(printed.front().captured(1), QUrl(service.baseURL()));
    ASSERT_TRUE(link);
    const auto logText = [&] {
        return app.logLines().join(QStringLiteral("\n")).toStdString();
    };
    const auto logged = [&](const QString& prefix) {
        return std::ranges::any_of(app.logLines(), [&](const auto& line) { return line.startsWith(prefix); });
    };

    // The redemption stores the group's nodes, selects its first one and connects; the check passes.
    session.openInvitationLink(*link);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return session.phase() == TessaronLinkPhase::connected && session.verifiedAt(); }, 15'000))
        << logText() << "\n"
        << session.lastError().value_or(QString()).toStdString();
    ASSERT_EQ(session.summaries().size(), 3);
    const auto failing = *session.selectedSummary();
    EXPECT_EQ(app.ask(TessaronTunnelRoutingContract::message),
              QStringLiteral("smart routing via %1:%2 over tcp, kill switch on")
                  .arg(failing.server, QString::number(failing.port))
                  .toUtf8());

    // From now on the tunnel reports the node's link blocked; 8 s later failover gives the node up.
    ASSERT_TRUE(harness.script(failing.server, QJsonObject{{QStringLiteral("blockedAfter"), 0}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("switched to ")); }, 15'000)) << logText();
    EXPECT_TRUE(logged(QStringLiteral("tunnel phase: blocked")));
    EXPECT_TRUE(logged(QStringLiteral("failover: blocked \u2192 "))) << logText();
    const auto next = *session.selectedSummary();
    EXPECT_NE(next.id, failing.id);
    EXPECT_TRUE(logged(QStringLiteral("switched to ") + next.name));
    ASSERT_TRUE(SessionApplication::waitFor([&] { return session.phase() == TessaronLinkPhase::connected; }))
        << logText();
    // The tunnel process now carries the link through the new node.
    EXPECT_TRUE(app.group.text(TessaronTunnelRoutingContract::sharedRoutingKey)
                    .value_or(QString())
                    .contains(next.server));
    session.userStopTapped();
    EXPECT_TRUE(
        SessionApplication::waitFor([&] { return session.phase() == TessaronLinkPhase::disconnected; }));
}

// The sign-in tool as a developer runs it against the local service: the code typed in, the account's
// profile installed, the link brought up through the real tunnel.
TEST(SignInToolTest, SignsInWithTheTypedCodeAndConnectsThroughTheTunnel) {
    LocalServiceProcess service;
    ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
    // Its tunnel is the harness's, which ends it with the test; its preferences lie in the harness's folder.
    const TunnelHarness harness;
    QProcess tool;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), harness.runtimeFolder());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(TESSARON_SIGN_IN_TOOL),
               {QStringLiteral("Dev@Example.com"), QStringLiteral("--service"), service.baseURL(),
                QStringLiteral("--ca"), service.caFile()});

    const auto code = service.awaitLine(QStringLiteral("^e-mail code for dev@example\\.com: (\\d{6})$"), 10s);
    ASSERT_TRUE(code);
    tool.write(code->captured(1).toUtf8() + '\n');
    ASSERT_TRUE(tool.waitForFinished(60'000));
    const std::string printed = tool.readAllStandardOutput().toStdString();
    EXPECT_EQ(tool.exitCode(), 0) << printed;
    EXPECT_NE(printed.find("\nphase: Connected\n"), std::string::npos) << printed;
    EXPECT_TRUE(service.awaitLine(QStringLiteral("^POST /v1/account/profile HTTP/1\\.1 200$")));
    EXPECT_TRUE(service.awaitLine(QStringLiteral("^GET /success\\.txt HTTP/1\\.1 200$")));
}

} // namespace
} // namespace tessaron::testing
