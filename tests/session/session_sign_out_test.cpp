#include "session_harness.hpp"

#include "profiles/json_values.hpp"
#include "profiles/pending_redemption.hpp"

#include <QJsonArray>
#include <QJsonDocument>

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
    harness.preferences.setValue(
        QStringLiteral("tessaron.managedProfiles"),
        QJsonDocument(QJsonObject{{uuidText(oslo.id), QJsonArray{uuidText(bergen.id)}}})
            .toJson(QJsonDocument::Compact));
    harness.preferences.setValue(QStringLiteral("tessaron.rosterGeo"), QByteArray("{}"));
    TessaronPendingRedemption record;
    record.code = QStringLiteral("Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a");
    record.startedAt = harness.clock.now();
    TessaronPendingRedemptionStore(harness.keychain, harness.bundle).save(record);
    auto& session = harness.startSelected({oslo, bergen});
    harness.connectFully();

    auto& tunnel = harness.tunnel();
    harness.tunnels.setLatency(1s);

    auto wipe = track(session.resetForSignOut());
    // The link is stopped before its configuration goes, so that no tunnel runs without one.
    EXPECT_EQ(tunnel.stopCount(), 1);
    EXPECT_EQ(harness.tunnels.stored().size(), 1);
    harness.advance(5s);

    EXPECT_TRUE(wipe->done);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_TRUE(session.summaries().isEmpty());
    EXPECT_FALSE(session.selectedID());
    EXPECT_FALSE(session.isConfigurationInstalled());
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_FALSE(session.clientGeo());
    EXPECT_TRUE(session.nodeGeo().isEmpty());
    EXPECT_EQ(harness.keychain.itemCount(), 0);
    QStringList accountKeys;
    for (const auto& key : harness.preferences.keys()) {
        if (key.startsWith(QStringLiteral("tessaron.profilesRefreshedAt.")) ||
            key == QStringLiteral("tessaron.managedProfiles") ||
            key == QStringLiteral("tessaron.selectedProfileID") ||
            key == QStringLiteral("tessaron.rosterGeo"))
            accountKeys.append(key);
    }
    EXPECT_TRUE(accountKeys.isEmpty()) << accountKeys.join(' ').toStdString();
    // The consent belongs to the device, not to the account.
    EXPECT_TRUE(session.consentGranted());
}

} // namespace
