// The session against the real tunnel process, the real configuration file and the real Secret Service.
#include "session_application.hpp"
#include "tunnel_harness.hpp"

#include "platform/keychain.hpp"
#include "platform/tunnel_contract.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/keychain_store.hpp"
#include "session/session_keys.hpp"
#include "session/tunnel_configuration.hpp"
#include "support/run_task.hpp"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

// A node: a TCP listener on a loopback address of its own.
class Node {
public:
    explicit Node(const QString& address = QStringLiteral("127.0.0.2")) {
        server_.listen(QHostAddress(address));
    }
    QString address() const { return server_.serverAddress().toString(); }
    quint16 port() const { return server_.serverPort(); }
    bool wasReached() { return server_.hasPendingConnections() || server_.waitForNewConnection(0); }

private:
    QTcpServer server_;
};

QString routingLine(const Node& node, const QString& killSwitch) {
    return QStringLiteral("smart routing via %1:%2 over tcp, kill switch %3")
        .arg(node.address())
        .arg(node.port())
        .arg(killSwitch);
}

class SessionTunnelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
        app_.grantConsent();
        app_.save(profile_);
    }

    TessaronSession& launchSelected() {
        auto& session = app_.launch();
        session.select(profile_.id);
        return session;
    }

    // Connects the session and waits for the tunnel to report the link up.
    bool connectAndWait(TessaronSession& session) {
        runTask(session.connect(), 10s);
        return SessionApplication::waitFor([&] { return session.vpnStatus() == VpnStatus::connected; });
    }

    bool stopAndWait(TessaronSession& session) {
        session.userStopTapped();
        return SessionApplication::waitFor([&] { return session.vpnStatus() == VpnStatus::disconnected; });
    }

    std::optional<TunnelProviderProtocol> savedProtocol() const {
        const auto saved = app_.savedConfigurations();
        if (saved.size() != 1 || !saved.first().tunnelProvider())
            return std::nullopt;
        return *saved.first().tunnelProvider();
    }

    std::optional<bool> savedKillSwitch() const {
        const auto saved = app_.savedConfigurations();
        return saved.size() == 1 ? installedKillSwitch(saved.first()) : std::nullopt;
    }

    qsizetype routingLinesLogged() const {
        // The log hides addresses, so the line is known by its beginning.
        return app_.logLines().filter(QRegularExpression(QStringLiteral("^smart routing via "))).size();
    }

    TunnelHarness harness_;
    SessionApplication app_{harness_};
    Node node_;
    TessaronProfile profile_ = nodeProfile(QStringLiteral("Test node"), node_.address(), node_.port());
};

TEST_F(SessionTunnelTest, AConnectFollowsTheTunnelUpAndTheStopTakesItDown) {
    auto& session = launchSelected();
    EXPECT_FALSE(session.isConfigurationInstalled());

    ASSERT_TRUE(connectAndWait(session));
    EXPECT_TRUE(node_.wasReached());
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);

    // The configuration file holds what the tunnel needs: the node, full routing, and a password
    // reference that resolves to the profile annotated with the transport started.
    const auto protocol = savedProtocol();
    ASSERT_TRUE(protocol);
    EXPECT_EQ(protocol->providerBundleIdentifier, TessaronIdentifiers::tunnelExtensionBundle);
    EXPECT_EQ(protocol->serverAddress, node_.address());
    EXPECT_TRUE(protocol->includeAllNetworks);
    EXPECT_EQ(savedKillSwitch(), true);
    ASSERT_TRUE(protocol->passwordReference);
    const auto item = systemKeychain().resolve(*protocol->passwordReference);
    EXPECT_EQ(item.status, keychain_status::success);
    EXPECT_EQ(item.value, TessaronKeychainStore::annotatedProfileData(profile_, TessaronTransport::tcp));

    const auto report = QJsonDocument::fromJson(app_.ask(TessaronTunnelPhaseContract::message).value_or(""));
    EXPECT_EQ(report.object().value("phase"), QStringLiteral("connected"));
    EXPECT_EQ(report.object().value("attempts"), 1);
    EXPECT_EQ(app_.ask(TessaronTunnelRoutingContract::message), routingLine(node_, "on").toUtf8());

    // The poll asks once when the link comes up and again at each tick of the session's clock; whatever
    // it logs, the routing line comes once per connect. One tick only: the session's other rules (the
    // connection check's retries, the connect watchdog) stay where they are.
    app_.advance(2s);
    app_.ask(TessaronTunnelPhaseContract::message);
    EXPECT_LE(routingLinesLogged(), 1);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);

    ASSERT_TRUE(stopAndWait(session));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_TRUE(session.isConfigurationInstalled()) << "a stop keeps the configuration";
    EXPECT_EQ(app_.group.dictionary(tunnelLastStopKey).value_or(QVariantMap()).value("reason"),
              QStringLiteral("stopped"));
}

TEST_F(SessionTunnelTest, AnUnreachableNodeEndsTheConnectWithTheTunnelsError) {
    ASSERT_TRUE(harness_.launchTunnel());
    ASSERT_TRUE(
        harness_.script(node_.address(), QJsonObject{{"failWith", tunnel_failure::serverUnreachable}}));
    auto& session = launchSelected();

    runTask(session.connect(), 10s);
    ASSERT_TRUE(SessionApplication::waitFor([&] { return session.lastError().has_value(); }));
    EXPECT_EQ(session.lastError(), QStringLiteral("This network cannot reach the Tessaron server."));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    const auto lastStop = app_.group.dictionary(tunnelLastStopKey).value_or(QVariantMap());
    EXPECT_EQ(lastStop.value("reason"), QStringLiteral("failed"));
    EXPECT_EQ(lastStop.value("code"), tunnel_failure::serverUnreachable);
}

TEST_F(SessionTunnelTest, ALaunchAfterQuittingFindsTheRunningTunnelAndCanStopIt) {
    ASSERT_TRUE(connectAndWait(launchSelected()));
    const auto tunnel = harness_.tunnelProcess();
    app_.quit();
    ASSERT_TRUE(harness_.isServing()) << "quitting leaves the tunnel up";

    auto& relaunched = app_.launch();
    EXPECT_EQ(relaunched.vpnStatus(), VpnStatus::connected);
    EXPECT_EQ(relaunched.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(relaunched.selectedID(), profile_.id);
    EXPECT_TRUE(relaunched.isConfigurationInstalled());
    EXPECT_EQ(harness_.tunnelProcess(), tunnel);
    EXPECT_EQ(app_.ask(TessaronTunnelRoutingContract::message), routingLine(node_, "on").toUtf8());

    ASSERT_TRUE(stopAndWait(relaunched));
    EXPECT_EQ(relaunched.phase(), TessaronLinkPhase::disconnected);

    // A configuration file damaged while the application was closed leaves the link the user's to see and
    // to stop; the next connect writes a new configuration.
    ASSERT_TRUE(connectAndWait(relaunched));
    app_.quit();
    QFile damaged(VpnConfigurationStore::defaultPath());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write(R"({"configurations": [ {"identifier": 12)");
    damaged.close();
    auto& orphaned = app_.launch();
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

TEST_F(SessionTunnelTest, SettingsRewriteTheSavedConfigurationAndReachTheNextTunnel) {
    auto& session = launchSelected();
    ASSERT_TRUE(connectAndWait(session));

    runTask(session.setKillSwitch(false));
    EXPECT_EQ(savedKillSwitch(), false);
    runTask(session.setConnectOnDemand(true));
    const auto saved = app_.savedConfigurations();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(saved.first().onDemandEnabled);
    EXPECT_EQ(saved.first().onDemandRules.size(), 1);
    EXPECT_EQ(savedKillSwitch(), false) << "one setting keeps the other";
    EXPECT_EQ(session.vpnStatus(), VpnStatus::connected) << "a rewrite leaves the running link alone";

    ASSERT_TRUE(stopAndWait(session));
    ASSERT_TRUE(connectAndWait(session));
    EXPECT_EQ(app_.ask(TessaronTunnelRoutingContract::message), routingLine(node_, "off").toUtf8());

    // The next launch takes both settings from the saved configuration.
    app_.quit();
    app_.preferences.remove(session_keys::killSwitch);
    app_.preferences.remove(session_keys::connectOnDemand);
    auto& relaunched = app_.launch();
    EXPECT_FALSE(relaunched.killSwitch());
    EXPECT_TRUE(relaunched.connectOnDemand());
    ASSERT_TRUE(stopAndWait(relaunched));
}

} // namespace
} // namespace tessaron::testing
