#include "session_link_fixture.hpp"

#include "platform/vpn_error.hpp"
#include "profiles/json_values.hpp"
#include "session/tunnel_configuration.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Operation = FakeTunnelManagers::Operation;
const QString failedText = "The request failed (VpnError 3).";

class SessionLifecycleTest : public SessionLinkTest {
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
using SessionSettingsTest = SessionLifecycleTest;

TEST_F(SessionLifecycleTest, StoredSettingsAreReadOnlyWhenTheyHaveTheirTypeAndNothingIsWritten) {
    const QString v1 = "tessaron-access-v1";
    const struct {
        const char* name;
        QVariant killSwitch, autoSelect, consentVersion;
        std::tuple<bool, bool, bool> expected; // kill switch, automatic selection, consent
    } cases[] = {
        {"nothing stored", {}, {}, {}, {true, true, false}},
        {"Booleans", false, false, v1, {false, false, true}},
        {"texts read as on", "false", "false", v1, {true, true, true}},
        {"another consent version", false, true, "tessaron-access-v0", {false, true, false}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SessionHarness h;
        const std::pair<const char*, QVariant> stored[] = {
            {"tessaron.killSwitch", row.killSwitch},
            {"tessaron.autoSelect", row.autoSelect},
            {"tessaron.privacyConsent", true},
            {"tessaron.privacyConsentVersion", row.consentVersion}};
        for (const auto& [key, value] : stored) {
            if (value.isValid())
                h.preferences.setValue(key, value);
        }
        const auto keys = h.preferences.keys();
        // The last working node belongs to the run before, and is forgotten.
        h.preferences.setValue("tessaron.failover.lastGood", QByteArray("{}"));
        auto& session = h.start();
        EXPECT_EQ(std::tuple(session.killSwitch(), session.autoSelect(), session.consentGranted()),
                  row.expected);
        EXPECT_EQ(std::tuple(session.idleDisconnect(), h.preferences.keys()), std::tuple(false, keys));
    }
}

TEST_F(SessionLifecycleTest, ALaunchShowsTheFirstMissingStepAndConsentRunsThePendingConnect) {
    save(profile);
    stampRoster(profile.id, 10s);
    // The bootstrap drops a selection that no longer exists and reports an unreadable connection once.
    saveUnreadable();
    preferences.setValue("tessaron.selectedProfileID", uuidText(QUuid::createUuid()));
    auto& session = launch();
    EXPECT_EQ(std::tuple(session.summaries().size(), session.selectedID(),
                         preferences.value("tessaron.selectedProfileID").isValid(), session.lastError()),
              std::tuple(1, std::nullopt, false, "A saved connection could not be read."));
    signIn.signedIn = false;
    EXPECT_EQ(session.primaryTitle(), "Sign in");
    signIn.signedIn = true;
    EXPECT_EQ(session.primaryTitle(), "Review privacy");

    session.select(profile.id);
    track(session.startSelectedConnection());
    EXPECT_EQ(std::tuple(session.activeSheet(), activator.calls), std::tuple(TessaronSheet::privacy, 0));
    session.grantPrivacyConsent();
    settle();
    EXPECT_EQ(std::tuple(session.activeSheet(), preferences.text("tessaron.privacyConsentVersion"),
                         activator.calls, session.phase()),
              std::tuple(std::nullopt, "tessaron-access-v1", 1, TessaronLinkPhase::connecting));

    session.userStopTapped();
    settle();
    EXPECT_EQ(std::tuple(session.primaryTitle(), session.isPrimaryActionEnabled()),
              std::tuple("Connect", true));
    // A failed removal of the connection's configuration still updates the list.
    failNext(Operation::remove);
    run(session.removeSavedConnection(profile.id));
    EXPECT_EQ(std::tuple(session.summaries().size(), session.lastError(), session.primaryTitle()),
              std::tuple(0, failedText, "Add invitation"));
}

TEST_F(SessionLifecycleTest, TheSignOutWipeLeavesNothingOfTheAccountBehind) {
    const auto oslo = sampleProfile("Oslo"), bergen = sampleProfile("Bergen");
    saveUnreadable();
    manage(oslo, {bergen});
    preferences.setValue("tessaron.rosterGeo", QByteArray("{}"));
    leaveRedemption(0s);
    auto& session = startSelected({oslo, bergen});
    connectFully();
    tunnels.setLatency(1s);
    // A change is running: the wipe waits for it rather than leave the configuration installed.
    track(session.setKillSwitch(false));
    ASSERT_TRUE(session.isActing());

    auto wipe = track(session.resetForSignOut());
    // The link is stopped before its configuration goes, so that no tunnel runs without one.
    EXPECT_EQ(std::tuple(tunnel().stopCount(), tunnels.stored().size()), std::tuple(1, 1));
    advance(5s);
    EXPECT_TRUE(wipe->done);
    EXPECT_EQ(std::tuple(session.phase(), session.summaries().size(), session.selectedID(),
                         session.isConfigurationInstalled(), session.clientGeo().has_value(),
                         session.nodeGeo().size(), tunnels.stored().size(), keychain.itemCount()),
              std::tuple(TessaronLinkPhase::disconnected, 0, std::nullopt, false, false, 0, 0, 0));
    // The settings, the log and the consent belong to the device, not to the account.
    EXPECT_EQ(preferences.keys(),
              (QStringList{"tessaron.connectOnDemand", "tessaron.connection.log", "tessaron.killSwitch",
                           "tessaron.privacyConsent", "tessaron.privacyConsentVersion"}));
    EXPECT_TRUE(session.consentGranted());
}

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

} // namespace
