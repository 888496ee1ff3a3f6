#include "session_harness.hpp"

#include "platform/vpn_error.hpp"
#include "session/tunnel_configuration.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Operation = FakeTunnelManagers::Operation;

namespace {

class SessionSettingsTest : public ::testing::Test {
protected:
    // A session that found its configuration installed at launch.
    TessaronSession& installed() {
        harness.save(profile);
        harness.installConfiguration(profile);
        auto& session = harness.launch();
        return session;
    }

    const TunnelProviderManager& stored() const { return harness.tunnels.stored().first(); }

    SessionHarness harness;
    const TessaronProfile profile = sampleProfile(QStringLiteral("Oslo"));
};

TEST_F(SessionSettingsTest, TheKillSwitchRewritesOnlyItsValueInTheSavedConfiguration) {
    auto& session = installed();
    harness.tunnels.setLatency(1s);

    auto saving = track(session.setKillSwitch(false));
    EXPECT_TRUE(session.isActing());
    EXPECT_FALSE(session.isPrimaryActionEnabled());
    harness.advance(2s);

    EXPECT_TRUE(saving->done);
    EXPECT_FALSE(session.isActing());
    EXPECT_FALSE(session.killSwitch());
    EXPECT_EQ(installedKillSwitch(stored()), false);
    EXPECT_TRUE(stored().tunnelProvider()->includeAllNetworks);
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.killSwitch")), false);
}

TEST_F(SessionSettingsTest, AnUnchangedSettingTouchesNothingButTheMissingConfigurationCase) {
    auto& session = harness.start();
    harness.settle();
    track(session.setKillSwitch(true));
    EXPECT_FALSE(harness.preferences.value(QStringLiteral("tessaron.killSwitch")).isValid());
    // Without a configuration there is nothing to compare with, so the key is written again.
    track(session.setConnectOnDemand(false));
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.connectOnDemand")), false);
    EXPECT_TRUE(harness.tunnels.calls().isEmpty());
}

TEST_F(SessionSettingsTest, AFailedSaveReportsAndShowsWhatTheSystemHolds) {
    auto& session = installed();
    harness.tunnels.failNext(Operation::save, VpnError(VpnErrorKind::configurationReadWriteFailed));

    track(session.setKillSwitch(false));
    harness.settle();

    EXPECT_EQ(session.lastError(), QStringLiteral("The request failed (VpnError 3)."));
    EXPECT_TRUE(session.killSwitch());
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.killSwitch")), true);
    EXPECT_FALSE(session.isActing());
}

TEST_F(SessionSettingsTest, TurningIdleDisconnectOnForgetsTheTunnelsLastStop) {
    auto& session = harness.start();
    harness.group.setValue(QStringLiteral("tessaron.tunnel.lastStop"), QStringLiteral("idle"));
    session.setIdleDisconnect(true);
    EXPECT_FALSE(harness.group.value(QStringLiteral("tessaron.tunnel.lastStop")).isValid());
    harness.group.setValue(QStringLiteral("tessaron.tunnel.lastStop"), QStringLiteral("idle"));
    session.setIdleDisconnect(false);
    EXPECT_TRUE(harness.group.value(QStringLiteral("tessaron.tunnel.lastStop")).isValid());
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.idleDisconnect")), false);
}

TEST_F(SessionSettingsTest, RemovingTheConfigurationStopsAtTheFirstFailedRemoval) {
    const auto other = sampleProfile(QStringLiteral("Bergen"));
    auto& session = installed();
    const auto second = harness.installConfiguration(other);
    harness.tunnels.setLatency(1s);

    track(session.removeSystemConfiguration());
    harness.advance(2s);
    // The second removal is under way: it fails.
    harness.tunnels.failNext(Operation::remove, VpnError(VpnErrorKind::configurationReadWriteFailed));
    harness.advance(1s);

    ASSERT_EQ(harness.tunnels.stored().size(), 1);
    EXPECT_EQ(stored().identifier, second);
    EXPECT_TRUE(session.isConfigurationInstalled());
    EXPECT_EQ(session.lastError(), QStringLiteral("The request failed (VpnError 3)."));

    track(session.removeSystemConfiguration());
    harness.advance(3s);
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_FALSE(session.isConfigurationInstalled());
    EXPECT_FALSE(session.includeAllNetworks());
    EXPECT_FALSE(session.lastError());
}

TEST_F(SessionSettingsTest, RemovingTheConfigurationWhileAnotherChangeRunsDoesNothing) {
    auto& session = installed();
    harness.tunnels.setLatency(1s);
    track(session.setKillSwitch(false));
    const auto callsBefore = harness.tunnels.calls().size();

    auto removal = track(session.removeSystemConfiguration());
    EXPECT_TRUE(removal->done);
    harness.advance(5s);
    EXPECT_EQ(harness.tunnels.calls().size(), callsBefore + 1); // the kill switch's reload only
    EXPECT_EQ(harness.tunnels.stored().size(), 1);
}

} // namespace
