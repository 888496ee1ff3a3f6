#include "session_harness.hpp"

#include "platform/vpn_error.hpp"
#include "session/tunnel_configuration.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Operation = FakeTunnelManagers::Operation;

namespace {

const auto readWriteFailed = [] {
    return VpnError(VpnErrorKind::configurationReadWriteFailed);
};
const QString failedText = QStringLiteral("The request failed (VpnError 3).");

class SessionSettingsTest : public ::testing::Test {
protected:
    // A session that found its configuration installed at launch.
    TessaronSession& installed() {
        harness.save(profile);
        harness.installConfiguration(profile);
        return harness.launch();
    }

    const TunnelProviderManager& stored() const { return harness.tunnels.stored().first(); }

    SessionHarness harness;
    const TessaronProfile profile = sampleProfile(QStringLiteral("Oslo"));
};

TEST_F(SessionSettingsTest, OverlappingChangesRewriteOnlyTheirValuesOneAfterTheOther) {
    auto& session = installed();
    harness.tunnels.setLatency(1s);

    auto killSwitch = track(session.setKillSwitch(false));
    auto onDemand = track(session.setConnectOnDemand(true));
    EXPECT_FALSE(session.isPrimaryActionEnabled());
    harness.advance(2s);
    EXPECT_TRUE(killSwitch->done);
    EXPECT_TRUE(session.isActing());
    harness.advance(2s);

    EXPECT_TRUE(onDemand->done);
    EXPECT_FALSE(session.isActing());
    EXPECT_EQ(harness.tunnels.maximumConcurrentOperations(), 1);
    EXPECT_EQ(std::tuple(installedKillSwitch(stored()), stored().onDemandEnabled,
                         stored().tunnelProvider()->includeAllNetworks),
              std::tuple(std::optional(false), true, true));
    EXPECT_EQ(std::tuple(session.killSwitch(), session.connectOnDemand()), std::tuple(false, true));
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.killSwitch")), false);

    // A failed save reports and shows what the system holds.
    harness.tunnels.failNext(Operation::save, readWriteFailed());
    harness.run(session.setKillSwitch(true));
    harness.advance(2s);
    EXPECT_EQ(session.lastError(), failedText);
    EXPECT_FALSE(session.killSwitch());
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.killSwitch")), false);
    EXPECT_FALSE(session.isActing());
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

    // Turning idle disconnect on forgets why the tunnel last stopped; turning it off does not.
    const auto lastStop = QStringLiteral("tessaron.tunnel.lastStop");
    for (const bool on : {true, false}) {
        harness.group.setValue(lastStop, QStringLiteral("idle"));
        session.setIdleDisconnect(on);
        EXPECT_EQ(harness.group.value(lastStop).isValid(), !on);
    }
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.idleDisconnect")), false);
}

TEST_F(SessionSettingsTest, RemovingTheConfigurationWaitsForNoChangeAndStopsAtTheFirstFailedRemoval) {
    auto& session = installed();
    const auto second = harness.installConfiguration(sampleProfile(QStringLiteral("Bergen")));
    harness.tunnels.setLatency(1s);

    // While another change runs, a removal does nothing.
    track(session.setKillSwitch(false));
    EXPECT_TRUE(track(session.removeSystemConfiguration())->done);
    harness.advance(5s);
    ASSERT_EQ(harness.tunnels.stored().size(), 2);

    track(session.removeSystemConfiguration());
    harness.advance(2s);
    // The second removal is under way: it fails.
    harness.tunnels.failNext(Operation::remove, readWriteFailed());
    harness.advance(1s);
    ASSERT_EQ(harness.tunnels.stored().size(), 1);
    EXPECT_EQ(stored().identifier, second);
    EXPECT_TRUE(session.isConfigurationInstalled());
    EXPECT_EQ(session.lastError(), failedText);

    track(session.removeSystemConfiguration());
    harness.advance(3s);
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_EQ(std::tuple(session.isConfigurationInstalled(), session.includeAllNetworks()),
              std::tuple(false, false));
    EXPECT_FALSE(session.lastError());
}

TEST_F(SessionSettingsTest, AFailedRemovalOfASavedConnectionsConfigurationStillUpdatesTheList) {
    const auto bergen = sampleProfile(QStringLiteral("Bergen"));
    auto& session = harness.startSelected({profile, bergen});
    harness.run(session.connect());
    session.userStopTapped();
    harness.settle();
    harness.tunnels.failNext(Operation::remove, readWriteFailed());

    harness.run(session.removeSavedConnection(profile.id));
    ASSERT_EQ(session.summaries().size(), 1);
    EXPECT_EQ(session.summaries().first().id, bergen.id);
    EXPECT_EQ(session.lastError(), failedText);
}

} // namespace
