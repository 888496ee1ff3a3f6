// The session against the real tunnel process, the real configuration file and the real Secret Service, and
// with the local service as its pairing service; and the sign-in tool over the same parts.
#include "local_service_process.hpp"
#include "session_application.hpp"
#include "tunnel_harness.hpp"

#include "platform/keychain.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "platform/tunnel_contract.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/access_input.hpp"
#include "profiles/keychain_store.hpp"
#include "session/tunnel_configuration.hpp"
#include "support/run_task.hpp"
#include "updates/release_feed.hpp"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

class SessionTunnelTest : public ::testing::Test {
protected:
    void SetUp() override { app_.save(profile_); }

    // Connects the session and waits for the tunnel to report the link up.
    bool connectAndWait(TessaronSession& session) {
        runTask(session.connect(), 10s);
        return SessionApplication::waitFor([&] { return session.vpnStatus() == VpnStatus::connected; });
    }

    bool stopAndWait(TessaronSession& session) {
        session.userStopTapped();
        return SessionApplication::waitFor(
            [&] { return session.phase() == TessaronLinkPhase::disconnected; });
    }

    // What the tunnel says it routes through, through the session's own link to it.
    QByteArray routing() {
        return app_.ask(TessaronTunnelRoutingContract::message)
            .value_or("no answer")
            .replace(QByteArray::number(node_.port()), "<port>")
            .replace(node_.address().toUtf8(), "<node>");
    }

    TunnelHarness harness_;
    SessionApplication app_{harness_};
    Node node_;
    TessaronProfile profile_ = nodeProfile(QStringLiteral("Test node"), node_.address(), node_.port());
};

TEST_F(SessionTunnelTest, AConnectReachesTheNodeAndSettingsReachTheNextTunnel) {
    auto& session = app_.launch();
    session.select(profile_.id);
    EXPECT_FALSE(session.isConfigurationInstalled());
    ASSERT_TRUE(connectAndWait(session));
    EXPECT_TRUE(node_.wasReached());
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    // The tunnel finds the profile, annotated with the transport started, through the saved reference.
    const auto saved = app_.savedConfigurations();
    ASSERT_TRUE(saved.size() == 1 && saved.first().tunnelProvider() &&
                saved.first().tunnelProvider()->passwordReference);
    const auto item = systemKeychain().resolve(*saved.first().tunnelProvider()->passwordReference);
    EXPECT_EQ(item.status, keychain_status::success);
    EXPECT_EQ(item.value, TessaronKeychainStore::annotatedProfileData(profile_, TessaronTransport::tcp));
    const auto report = QJsonDocument::fromJson(app_.ask(TessaronTunnelPhaseContract::message).value_or(""));
    EXPECT_EQ(report["phase"], QStringLiteral("connected"));
    EXPECT_EQ(report["attempts"], 1);
    EXPECT_EQ(routing(), "smart routing via <node>:<port> over tcp, kill switch on");

    // Settings rewrite the saved configuration, each keeping the other, and leave the running link alone.
    runTask(session.setKillSwitch(false));
    runTask(session.setConnectOnDemand(true));
    EXPECT_EQ(installedKillSwitch(app_.savedConfigurations().value(0)), false);
    EXPECT_TRUE(app_.savedConfigurations().value(0).onDemandEnabled);
    EXPECT_EQ(app_.savedConfigurations().value(0).onDemandRules.size(), 1);
    EXPECT_EQ(session.vpnStatus(), VpnStatus::connected);
    ASSERT_TRUE(stopAndWait(session));
    EXPECT_TRUE(session.isConfigurationInstalled()) << "a stop keeps the configuration";
    ASSERT_TRUE(connectAndWait(session));
    EXPECT_EQ(routing(), "smart routing via <node>:<port> over tcp, kill switch off");

    ASSERT_TRUE(stopAndWait(session));
}

// Quitting leaves the link up and the next launch finds it; a configuration file damaged meanwhile leaves
// the link the user's to see and to stop, and the next connect writes a new configuration.
TEST_F(SessionTunnelTest, ALinkWhoseConfigurationFileIsDamagedCanStillBeStopped) {
    auto& session = app_.launch();
    session.select(profile_.id);
    ASSERT_TRUE(connectAndWait(session));
    const auto tunnel = harness_.tunnelProcess();
    app_.quit();
    QFile damaged(VpnConfigurationStore::defaultPath());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write(R"({"configurations": [ {"identifier": 12)");
    damaged.close();
    auto& orphaned = app_.launch();
    EXPECT_EQ(harness_.tunnelProcess(), tunnel) << "the launch finds the running tunnel";
    EXPECT_EQ(orphaned.vpnStatus(), VpnStatus::connected);
    EXPECT_EQ(orphaned.phase(), TessaronLinkPhase::connected);
    EXPECT_FALSE(orphaned.isConfigurationInstalled());
    orphaned.userStopTapped();
    EXPECT_TRUE(SessionApplication::waitFor([&] {
        const auto other = harness_.openApplication();
        runTask(other->loadAll());
        return !other->liveConfiguration() && orphaned.phase() == TessaronLinkPhase::disconnected;
    }));
    ASSERT_TRUE(connectAndWait(orphaned));
    EXPECT_EQ(app_.savedConfigurations().size(), 1);
    ASSERT_TRUE(stopAndWait(orphaned));
}

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
    const auto link =
        TessaronAccessInput::invitationConnectURL(printed.value(0).captured(1), QUrl(service.baseURL()));
    ASSERT_TRUE(link) << "the service prints an invitation code for the group";
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

// Qt's own warnings while it lives, passed on to the handler before it.
class QtWarnings {
public:
    QtWarnings() { previous = qInstallMessageHandler(&QtWarnings::note); }
    ~QtWarnings() { qInstallMessageHandler(previous); }
    QtWarnings(const QtWarnings&) = delete;
    QtWarnings& operator=(const QtWarnings&) = delete;

    static QStringList containing(const QString& text) { return seen.filter(text); }

private:
    static void note(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtWarningMsg || type == QtCriticalMsg)
            seen.append(message);
        if (previous)
            previous(type, context, message);
    }
    static inline QtMessageHandler previous = nullptr;
    static inline QStringList seen;
};

// A day of use ends in a quit that leaves nothing half torn down: connected, a node's outage followed to the
// next node, the account signed out (its connections wiped) and in again (its link opened once more), the
// release feed asked, then quit while the link is up. Under the address sanitizer every object the quit
// ends is ended once.
TEST(SessionEndToEndTest, AQuitAfterAnOutageASignOutAndInAndAnUpdateCheckEndsEveryPartOnce) {
    const LocalServiceProcess service;
    ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
    const TunnelHarness harness;
    const QtWarnings warnings;
    const auto authorities = QSslCertificate::fromPath(service.caFile());
    auto app = std::make_unique<SessionApplication>(
        harness, PairingService{QUrl(service.baseURL()), authorities}, true);
    auto& session = app->launch();
    const auto printed = service.linesMatching(QStringLiteral("^invitation code for Americas .*: (\\S+)$"));
    const auto link =
        TessaronAccessInput::invitationConnectURL(printed.value(0).captured(1), QUrl(service.baseURL()));
    ASSERT_TRUE(link);
    const auto logText = [&] {
        return app->logLines().join(QStringLiteral("\n")).toStdString();
    };
    const auto connectedAndChecked = [&] {
        return QTest::qWaitFor(
            [&] { return session.phase() == TessaronLinkPhase::connected && session.verifiedAt(); }, 15'000);
    };
    session.openInvitationLink(*link);
    ASSERT_TRUE(connectedAndChecked()) << logText();

    const auto failing = *session.selectedSummary();
    ASSERT_TRUE(harness.script(failing.server, QJsonObject{{QStringLiteral("blockedAfter"), 0}}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return session.selectedID() != failing.id && session.phase() == TessaronLinkPhase::connected; },
        20'000))
        << logText();

    runTask(session.resetForSignOut(), 15s);
    ASSERT_TRUE(session.summaries().isEmpty());
    session.openInvitationLink(*link);
    ASSERT_TRUE(connectedAndChecked()) << logText();

    QtHttpTransport feedTransport({.trustedAuthorities = authorities});
    const auto release =
        runTask(ReleaseFeed(feedTransport, SystemClock::shared(),
                            QUrl(service.baseURL() + QStringLiteral("/releases/mac/latest.json")))
                    .fetchLatest(),
                10s);
    EXPECT_TRUE(release);

    app->quit();
    app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QtWarnings::containing(QStringLiteral("deleted directly")), QStringList());
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
