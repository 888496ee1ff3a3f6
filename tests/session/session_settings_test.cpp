#include "session_link_fixture.hpp"

#include "platform/vpn_error.hpp"
#include "session/tunnel_configuration.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Operation = FakeTunnelManagers::Operation;

namespace {

const QString failedText = "The request failed (VpnError 3).";

class SessionSettingsTest : public SessionLinkTest {
protected:
    // A session that found its configuration installed at launch, whose tunnel operations take a second.
    TessaronSession& installed() {
        save(profile);
        installConfiguration(profile);
        launch();
        tunnels.setLatency(1s);
        return *session;
    }
    void failNext(Operation operation) {
        tunnels.failNext(operation, VpnError(VpnErrorKind::configurationReadWriteFailed));
    }
    const TunnelProviderManager& stored() const { return tunnels.stored().first(); }

    const TessaronProfile profile = sampleProfile("Oslo");
};

TEST_F(SessionSettingsTest, OverlappingChangesRewriteOnlyTheirValuesOneAfterTheOther) {
    auto& session = installed();
    auto killSwitch = track(session.setKillSwitch(false));
    auto onDemand = track(session.setConnectOnDemand(true));
    EXPECT_FALSE(session.isPrimaryActionEnabled());
    advance(2s);
    EXPECT_EQ(std::tuple(killSwitch->done, onDemand->done, session.isActing()),
              std::tuple(true, false, true));
    advance(2s);
    EXPECT_EQ(std::tuple(onDemand->done, session.isActing(), tunnels.maximumConcurrentOperations()),
              std::tuple(true, false, 1));
    EXPECT_EQ(std::tuple(installedKillSwitch(stored()), stored().onDemandEnabled,
                         stored().tunnelProvider()->includeAllNetworks, session.killSwitch(),
                         session.connectOnDemand(), preferences.boolean("tessaron.killSwitch")),
              std::tuple(std::optional(false), true, true, false, true, false));

    // A failed save reports and shows what the system holds.
    failNext(Operation::save);
    run(session.setKillSwitch(true));
    advance(2s);
    EXPECT_EQ(std::tuple(session.lastError(), session.killSwitch(),
                         preferences.boolean("tessaron.killSwitch"), session.isActing()),
              std::tuple(failedText, false, false, false));
}

TEST_F(SessionSettingsTest, AnUnchangedSettingTouchesNothingButTheMissingConfigurationCase) {
    auto& session = start();
    settle();
    track(session.setKillSwitch(true));
    EXPECT_FALSE(preferences.value("tessaron.killSwitch").isValid());
    // Without a configuration there is nothing to compare with, so the key is written again.
    track(session.setConnectOnDemand(false));
    EXPECT_EQ(std::tuple(preferences.boolean("tessaron.connectOnDemand"), tunnels.calls().isEmpty()),
              std::tuple(false, true));

    // Turning idle disconnect on forgets why the tunnel last stopped; turning it off does not.
    for (const bool on : {true, false}) {
        group.setValue("tessaron.tunnel.lastStop", "idle");
        session.setIdleDisconnect(on);
        EXPECT_EQ(group.value("tessaron.tunnel.lastStop").isValid(), !on);
    }
    EXPECT_EQ(preferences.boolean("tessaron.idleDisconnect"), false);
}

TEST_F(SessionSettingsTest, RemovingTheConfigurationWaitsForNoChangeAndStopsAtTheFirstFailedRemoval) {
    auto& session = installed();
    const auto second = installConfiguration(sampleProfile("Bergen"));
    // While another change runs, a removal does nothing.
    track(session.setKillSwitch(false));
    EXPECT_TRUE(track(session.removeSystemConfiguration())->done);
    advance(5s);
    ASSERT_EQ(tunnels.stored().size(), 2);

    track(session.removeSystemConfiguration());
    advance(2s);
    // The second removal is under way: it fails.
    failNext(Operation::remove);
    advance(1s);
    ASSERT_EQ(tunnels.stored().size(), 1);
    EXPECT_EQ(std::tuple(stored().identifier, session.isConfigurationInstalled(), session.lastError()),
              std::tuple(second, true, failedText));

    track(session.removeSystemConfiguration());
    advance(3s);
    EXPECT_EQ(std::tuple(tunnels.stored().size(), session.isConfigurationInstalled(),
                         session.includeAllNetworks(), session.lastError()),
              std::tuple(0, false, false, std::nullopt));
}

TEST_F(SessionSettingsTest, AFailedRemovalOfASavedConnectionsConfigurationStillUpdatesTheList) {
    const auto bergen = sampleProfile("Bergen");
    auto& session = startSelected({profile, bergen});
    run(session.connect());
    session.userStopTapped();
    settle();
    failNext(Operation::remove);
    run(session.removeSavedConnection(profile.id));
    ASSERT_EQ(session.summaries().size(), 1);
    EXPECT_EQ(std::tuple(session.summaries().first().id, session.lastError()),
              std::tuple(bergen.id, failedText));
}

} // namespace
