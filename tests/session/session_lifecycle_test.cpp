#include "session_harness.hpp"

#include "profiles/json_values.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionLifecycleTest : public ::testing::Test {
protected:
    SessionHarness harness;
};

TEST_F(SessionLifecycleTest, FirstLaunchStartsWithTheDefaultsAndWritesNothing) {
    harness.preferences.setValue(QStringLiteral("tessaron.failover.lastGood"), QByteArray("{}"));
    auto& session = harness.start();
    EXPECT_TRUE(session.killSwitch());
    EXPECT_TRUE(session.autoSelect());
    EXPECT_FALSE(session.idleDisconnect());
    // The last working node belongs to the run before, and is forgotten.
    EXPECT_TRUE(harness.preferences.keys().isEmpty());

    harness.run(session.bootstrap());
    EXPECT_EQ(session.primaryIntent(), TessaronPrimaryIntent::reviewPrivacy);
}

TEST_F(SessionLifecycleTest, StoredSettingsAreReadOnlyWhenTheyHaveTheirType) {
    struct Case {
        const char* name;
        QVariant killSwitch;
        QVariant autoSelect;
        QVariant consentVersion;
        bool expectedKillSwitch;
        bool expectedAutoSelect;
        bool expectedConsent;
    };
    const Case cases[] = {
        {"Booleans", false, false, QStringLiteral("tessaron-access-v1"), false, false, true},
        {"texts read as on", QStringLiteral("false"), QStringLiteral("false"),
         QStringLiteral("tessaron-access-v1"), true, true, true},
        {"another consent version", false, true, QStringLiteral("tessaron-access-v0"), false, true, false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        SessionHarness fresh;
        fresh.preferences.setValue(QStringLiteral("tessaron.killSwitch"), testCase.killSwitch);
        fresh.preferences.setValue(QStringLiteral("tessaron.autoSelect"), testCase.autoSelect);
        fresh.preferences.setValue(QStringLiteral("tessaron.privacyConsent"), true);
        fresh.preferences.setValue(QStringLiteral("tessaron.privacyConsentVersion"), testCase.consentVersion);
        auto& session = fresh.start();
        EXPECT_EQ(session.killSwitch(), testCase.expectedKillSwitch);
        EXPECT_EQ(session.autoSelect(), testCase.expectedAutoSelect);
        EXPECT_EQ(session.consentGranted(), testCase.expectedConsent);
    }
}

TEST_F(SessionLifecycleTest, BootstrapDropsASelectionThatNoLongerExists) {
    harness.save(sampleProfile(QStringLiteral("Oslo")));
    harness.preferences.setValue(QStringLiteral("tessaron.selectedProfileID"), uuidText(QUuid::createUuid()));
    auto& session = harness.launch();

    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_FALSE(session.selectedID());
    EXPECT_FALSE(harness.preferences.value(QStringLiteral("tessaron.selectedProfileID")).isValid());
}

TEST_F(SessionLifecycleTest, AnUnreadableSavedConnectionIsReportedOnce) {
    harness.save(sampleProfile(QStringLiteral("Oslo")));
    harness.keychain.setItem(QStringLiteral("test.tessaron.shared"),
                             QStringLiteral("com.hallmere.tessaron.profile"), uuidText(QUuid::createUuid()),
                             "not a profile");
    auto& session = harness.launch();
    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_EQ(session.lastError(), QStringLiteral("A saved connection could not be read."));
}

TEST_F(SessionLifecycleTest, ThePrimaryButtonFollowsTheFirstMissingStep) {
    const auto profile = sampleProfile(QStringLiteral("Oslo"));
    harness.save(profile);
    auto& session = harness.launch();

    harness.signIn.signedIn = false;
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Sign in"));
    harness.signIn.signedIn = true;
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Review privacy"));
    session.grantPrivacyConsent();
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Add invitation"));
    session.select(profile.id);
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Connect"));
    EXPECT_TRUE(session.isPrimaryActionEnabled());
}

TEST_F(SessionLifecycleTest, ConsentGrantedThroughThePrivacySheetRunsThePendingConnect) {
    const auto profile = sampleProfile(QStringLiteral("Oslo"));
    harness.save(profile);
    harness.stampRoster(profile.id, 10s);
    auto& session = harness.launch();
    session.select(profile.id);

    track(session.startSelectedConnection());
    EXPECT_EQ(session.activeSheet(), TessaronSheet::privacy);
    EXPECT_EQ(harness.activator.calls, 0);

    session.grantPrivacyConsent();
    harness.settle();
    EXPECT_FALSE(session.activeSheet());
    EXPECT_EQ(harness.preferences.text(QStringLiteral("tessaron.privacyConsentVersion")),
              QStringLiteral("tessaron-access-v1"));
    EXPECT_EQ(harness.activator.calls, 1);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
}

TEST_F(SessionLifecycleTest, AConnectionIsNotChangedWhileALinkIsUp) {
    const auto oslo = sampleProfile(QStringLiteral("Oslo"));
    const auto bergen = sampleProfile(QStringLiteral("Bergen"));
    auto& session = harness.startSelected({oslo, bergen});
    harness.run(session.connect());

    session.pickNode(bergen.id);
    EXPECT_FALSE(session.autoSelect());
    EXPECT_EQ(session.selectedID(), oslo.id);
    EXPECT_EQ(session.lastError(), QStringLiteral("Disconnect before removing the active connection."));

    session.presentInvitationImport();
    EXPECT_FALSE(session.activeSheet());
    EXPECT_EQ(session.lastError(), QStringLiteral("Disconnect before changing connections."));

    track(session.removeSavedConnection(oslo.id));
    EXPECT_EQ(session.summaries().size(), 2);
}

TEST_F(SessionLifecycleTest, TheHostGoingIdleAndBackIsLoggedOnceEach) {
    auto& session = harness.start();
    harness.host.send(HostActivitySource::Event::screenLocked);
    harness.host.send(HostActivitySource::Event::screensDidSleep);
    EXPECT_TRUE(session.hostIdle());
    harness.host.send(HostActivitySource::Event::screenUnlocked);
    EXPECT_TRUE(session.hostIdle());
    // The application coming to the front clears whatever idleness was missed.
    session.applicationResignedActive();
    session.applicationBecameActive(true);
    EXPECT_FALSE(session.hostIdle());
    EXPECT_EQ(harness.logLines(), (QStringList{QStringLiteral("host idle"), QStringLiteral("host active")}));
}

} // namespace
