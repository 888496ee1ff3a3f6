#include "session_harness.hpp"

#include "profiles/json_values.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

TEST(SessionSignOutTest, TheWipeLeavesNothingOfTheAccountBehind) {
    SessionHarness harness;
    const auto oslo = sampleProfile(QStringLiteral("Oslo"));
    const auto bergen = sampleProfile(QStringLiteral("Bergen"));
    harness.keychain.setItem(QStringLiteral("test.tessaron.shared"),
                             QStringLiteral("com.hallmere.tessaron.profile"), uuidText(QUuid::createUuid()),
                             "unreadable");
    harness.manage(oslo, {bergen});
    harness.preferences.setValue(QStringLiteral("tessaron.rosterGeo"), QByteArray("{}"));
    harness.leaveRedemption(0s);
    auto& session = harness.startSelected({oslo, bergen});
    harness.connectFully();
    harness.tunnels.setLatency(1s);
    // A change is running: the wipe waits for it rather than leave the configuration installed.
    track(session.setKillSwitch(false));
    ASSERT_TRUE(session.isActing());

    auto wipe = track(session.resetForSignOut());
    // The link is stopped before its configuration goes, so that no tunnel runs without one.
    EXPECT_EQ(harness.tunnel().stopCount(), 1);
    EXPECT_EQ(harness.tunnels.stored().size(), 1);
    harness.advance(5s);

    EXPECT_TRUE(wipe->done);
    EXPECT_EQ(std::tuple(session.phase(), session.summaries().size(), session.selectedID(),
                         session.isConfigurationInstalled(), session.clientGeo().has_value(),
                         session.nodeGeo().size()),
              std::tuple(TessaronLinkPhase::disconnected, qsizetype(0), std::optional<QUuid>(), false, false,
                         qsizetype(0)));
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_EQ(harness.keychain.itemCount(), 0);
    // The settings, the log and the consent belong to the device, not to the account.
    EXPECT_EQ(harness.preferences.keys(),
              (QStringList{"tessaron.connectOnDemand", "tessaron.connection.log", "tessaron.killSwitch",
                           "tessaron.privacyConsent", "tessaron.privacyConsentVersion"}));
    EXPECT_TRUE(session.consentGranted());
}

} // namespace
