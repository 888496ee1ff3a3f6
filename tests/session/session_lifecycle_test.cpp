#include "session_harness.hpp"

#include "profiles/json_values.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

TEST(SessionLifecycleTest, StoredSettingsAreReadOnlyWhenTheyHaveTheirTypeAndNothingIsWritten) {
    struct Case {
        const char* name;
        QVariant killSwitch, autoSelect, consentVersion;
        std::tuple<bool, bool, bool> expected; // kill switch, automatic selection, consent
    };
    const Case cases[] = {
        {"nothing stored", {}, {}, {}, {true, true, false}},
        {"Booleans", false, false, QStringLiteral("tessaron-access-v1"), {false, false, true}},
        {"texts read as on",
         QStringLiteral("false"),
         QStringLiteral("false"),
         QStringLiteral("tessaron-access-v1"),
         {true, true, true}},
        {"another consent version", false, true, QStringLiteral("tessaron-access-v0"), {false, true, false}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        SessionHarness harness;
        const std::pair<const char*, QVariant> stored[] = {
            {"tessaron.killSwitch", example.killSwitch},
            {"tessaron.autoSelect", example.autoSelect},
            {"tessaron.privacyConsent", true},
            {"tessaron.privacyConsentVersion", example.consentVersion}};
        for (const auto& [key, value] : stored) {
            if (value.isValid())
                harness.preferences.setValue(QString::fromLatin1(key), value);
        }
        const auto keys = harness.preferences.keys();
        // The last working node belongs to the run before, and is forgotten.
        harness.preferences.setValue(QStringLiteral("tessaron.failover.lastGood"), QByteArray("{}"));
        auto& session = harness.start();
        EXPECT_EQ(std::tuple(session.killSwitch(), session.autoSelect(), session.consentGranted()),
                  example.expected);
        EXPECT_FALSE(session.idleDisconnect());
        EXPECT_EQ(harness.preferences.keys(), keys);
    }
}

TEST(SessionLifecycleTest, ALaunchShowsTheFirstMissingStepAndConsentRunsThePendingConnect) {
    SessionHarness harness;
    const auto profile = sampleProfile(QStringLiteral("Oslo"));
    harness.save(profile);
    harness.stampRoster(profile.id, 10s);
    // The bootstrap drops a selection that no longer exists and reports an unreadable connection once.
    harness.keychain.setItem(QStringLiteral("test.tessaron.shared"),
                             QStringLiteral("com.hallmere.tessaron.profile"), uuidText(QUuid::createUuid()),
                             "not a profile");
    harness.preferences.setValue(QStringLiteral("tessaron.selectedProfileID"), uuidText(QUuid::createUuid()));
    auto& session = harness.launch();
    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_FALSE(session.selectedID());
    EXPECT_FALSE(harness.preferences.value(QStringLiteral("tessaron.selectedProfileID")).isValid());
    EXPECT_EQ(session.lastError(), QStringLiteral("A saved connection could not be read."));
    harness.signIn.signedIn = false;
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Sign in"));
    harness.signIn.signedIn = true;
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Review privacy"));

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

    session.userStopTapped();
    harness.settle();
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Connect"));
    EXPECT_TRUE(session.isPrimaryActionEnabled());
    harness.run(session.removeSavedConnection(profile.id));
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Add invitation"));
}

} // namespace
