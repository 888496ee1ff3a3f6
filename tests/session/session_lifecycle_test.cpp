#include "session_link_fixture.hpp"

#include "profiles/json_values.hpp"

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

using SessionLifecycleTest = SessionLinkTest;

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
    const auto profile = sampleProfile("Oslo");
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
    run(session.removeSavedConnection(profile.id));
    EXPECT_EQ(session.primaryTitle(), "Add invitation");
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

} // namespace
