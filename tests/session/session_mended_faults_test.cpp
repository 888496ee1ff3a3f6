#include "session_harness.hpp"

#include "health/failover_candidate.hpp"
#include "platform/vpn_error.hpp"
#include "profiles/json_values.hpp"
#include "session/tunnel_configuration.hpp"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;
using Operation = FakeTunnelManagers::Operation;

namespace {

class MendedFaultTest : public ::testing::Test {
protected:
    QString installedTransport() {
        const auto& configuration = harness.tunnels.stored().first().tunnelProvider()->providerConfiguration;
        const auto profile = configuration->constFind(QStringLiteral("profile"))->dataValue();
        return QJsonDocument::fromJson(*profile).object().value(QStringLiteral("transport")).toString();
    }

    SessionHarness harness;
    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"), {}, true);
    const TessaronProfile bergen = sampleProfile(QStringLiteral("Bergen"));
};

// 1: a start without a transport takes the one that last worked on this node, and publishes it.
TEST_F(MendedFaultTest, TheTransportStartedIsTheActiveTransport) {
    auto& session = harness.startSelected({oslo});
    harness.preferences.setValue(
        QStringLiteral("tessaron.failover.lastGood"),
        QJsonDocument(FailoverCandidate{oslo.id, TessaronTransport::xhttp}.toJSON()).toJson());
    track(session.connect());
    harness.settle();
    EXPECT_EQ(session.activeTransport(), TessaronTransport::xhttp);
    EXPECT_EQ(installedTransport(), QStringLiteral("xhttp"));
}

// 2: a second connect while the first waits for the extension is refused.
TEST_F(MendedFaultTest, ASecondConnectWhileOneRunsIsRefused) {
    auto& session = harness.startSelected({oslo});
    harness.activator.holdNext();
    auto first = track(session.connect());
    auto second = track(session.connect());
    EXPECT_TRUE(second->done);
    EXPECT_EQ(session.lastError(), QStringLiteral("Wait for the current change to finish."));

    harness.activator.release(TessaronExtensionActivation::Kind::activated);
    harness.settle();
    EXPECT_TRUE(first->done);
    EXPECT_EQ(harness.activator.calls, 1);
    EXPECT_EQ(harness.tunnel().startCount(), 1);
}

// 3: the sign-out wipe waits for a running change instead of leaving the configuration installed.
TEST_F(MendedFaultTest, TheSignOutWipeRemovesTheConfigurationEvenWhileAChangeRuns) {
    auto& session = harness.startSelected({oslo});
    harness.connectFully();
    harness.tunnels.setLatency(1s);
    track(session.setKillSwitch(false));
    ASSERT_TRUE(session.isActing());

    auto wipe = track(session.resetForSignOut());
    harness.advance(5s);

    EXPECT_TRUE(wipe->done);
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_FALSE(session.isConfigurationInstalled());
}

// 4: overlapping changes run one after the other, and the session stays busy until the last ends.
TEST_F(MendedFaultTest, OverlappingConfigurationChangesDoNotInterleave) {
    auto& session = harness.startSelected({oslo});
    harness.connectFully();
    harness.tunnels.setLatency(1s);

    auto killSwitch = track(session.setKillSwitch(false));
    auto onDemand = track(session.setConnectOnDemand(true));
    harness.advance(2s);
    EXPECT_TRUE(killSwitch->done);
    EXPECT_TRUE(session.isActing());
    harness.advance(2s);

    EXPECT_TRUE(onDemand->done);
    EXPECT_FALSE(session.isActing());
    EXPECT_EQ(harness.tunnels.maximumConcurrentOperations(), 1);
    const auto& stored = harness.tunnels.stored().first();
    EXPECT_EQ(installedKillSwitch(stored), false);
    EXPECT_TRUE(stored.onDemandEnabled);
    EXPECT_TRUE(session.connectOnDemand());
}

// 5: an invitation redeemed while a link is up is stored without moving the selection.
TEST_F(MendedFaultTest, AnInvitationRedeemedWhileConnectedKeepsTheSelection) {
    auto& session = harness.startSelected({oslo});
    harness.connectFully();
    harness.pairing.enqueueRedeem(bergen);

    track(session.openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a"))));
    harness.settle();

    EXPECT_EQ(session.selectedID(), oslo.id);
    EXPECT_EQ(harness.preferences.text(QStringLiteral("tessaron.selectedProfileID")), uuidText(oslo.id));
    EXPECT_EQ(session.summaries().size(), 2);
    EXPECT_EQ(session.lastError(), QStringLiteral("Disconnect before changing connections."));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_FALSE(harness.pendingRecord());
}

// 6: a roster sync never blames the user for the connection it could not remove; it removes it later.
TEST_F(MendedFaultTest, ARosterSyncRemovesTheActiveConnectionOnlyOnceTheLinkHasEnded) {
    auto& session = harness.startSelected({oslo});
    TessaronRosterResponse both;
    both.profiles = {oslo, bergen};
    harness.pairing.setRoster(oslo.id, both);
    track(session.pullRoster(oslo.id));
    harness.settle();
    session.select(bergen.id);
    harness.connectFully();

    TessaronRosterResponse sourceOnly;
    sourceOnly.profiles = {oslo};
    harness.pairing.setRoster(oslo.id, sourceOnly);
    track(session.pullRoster(oslo.id));
    harness.settle();
    EXPECT_FALSE(session.lastError());
    EXPECT_EQ(session.summaries().size(), 2);

    session.userStopTapped();
    harness.settle();
    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_FALSE(session.selectedID());
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
}

// 7: a failed removal of the configuration still lists the saved connections as they now are.
TEST_F(MendedFaultTest, AFailedConfigurationRemovalStillUpdatesTheList) {
    auto& session = harness.startSelected({oslo, bergen});
    track(session.connect());
    harness.settle();
    session.userStopTapped();
    harness.settle();
    harness.tunnels.failNext(Operation::remove, VpnError(VpnErrorKind::configurationReadWriteFailed));

    track(session.removeSavedConnection(oslo.id));
    harness.settle();

    EXPECT_EQ(session.summaries().size(), 1);
    EXPECT_EQ(session.summaries().first().id, bergen.id);
    EXPECT_EQ(session.lastError(), QStringLiteral("The request failed (VpnError 3)."));
}

} // namespace
