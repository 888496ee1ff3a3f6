// The session against the real tunnel process, the real configuration file and the real Secret Service.
#include "session_application.hpp"
#include "tunnel_harness.hpp"

#include "platform/keychain.hpp"
#include "platform/tunnel_contract.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/keychain_store.hpp"
#include "session/tunnel_configuration.hpp"
#include "support/run_task.hpp"

#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

class SessionTunnelTest : public ::testing::Test {
protected:
    void SetUp() override { app_.save(profile_); }

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
    auto& session = launchSelected();
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
    EXPECT_EQ(app_.group.dictionary(tunnelLastStopKey).value_or(QVariantMap()).value("reason"),
              QStringLiteral("stopped"));
    ASSERT_TRUE(connectAndWait(session));
    EXPECT_EQ(routing(), "smart routing via <node>:<port> over tcp, kill switch off");

    ASSERT_TRUE(stopAndWait(session));
}

// Quitting leaves the link up and the next launch finds it; a configuration file damaged meanwhile leaves
// the link the user's to see and to stop, and the next connect writes a new configuration.
TEST_F(SessionTunnelTest, ALinkWhoseConfigurationFileIsDamagedCanStillBeStopped) {
    ASSERT_TRUE(connectAndWait(launchSelected()));
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

} // namespace
} // namespace tessaron::testing
