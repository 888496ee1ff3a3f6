#include "session_harness.hpp"

#include "health/failover_candidate.hpp"
#include "profiles/json_values.hpp"
#include "session/system_extension_activator.hpp"
#include "support/fake_system_extension_requests.hpp"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

class SessionConnectTest : public ::testing::Test {
protected:
    TessaronSession& ready(const TessaronProfile& profile = sampleProfile(QStringLiteral("Oslo"))) {
        return harness.startSelected({profile});
    }

    SessionHarness harness;
};

TEST_F(SessionConnectTest, AConnectInstallsTheConfigurationStartsTheTunnelAndFollowsItsStatus) {
    const auto profile = sampleProfile(QStringLiteral("Oslo"), {}, true);
    auto& session = ready(profile);
    // Without a transport asked for, the start takes the one that last worked on this node.
    harness.preferences.setValue(
        QStringLiteral("tessaron.failover.lastGood"),
        QJsonDocument(FailoverCandidate{profile.id, TessaronTransport::xhttp}.toJSON()).toJson());

    harness.run(session.connect());
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
    ASSERT_EQ(harness.tunnels.stored().size(), 1);
    const auto& configuration = harness.tunnels.stored().first().tunnelProvider()->providerConfiguration;
    const auto annotated =
        QJsonDocument::fromJson(*configuration->constFind(QStringLiteral("profile"))->dataValue());
    EXPECT_EQ(annotated.object().value(QStringLiteral("transport")).toString(), QStringLiteral("xhttp"));
    EXPECT_EQ(session.activeTransport(), TessaronTransport::xhttp);

    harness.tunnel().setStatus(VpnStatus::connected);
    harness.settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);
    EXPECT_EQ(session.tunnelUpSince(), harness.clock.now());
    EXPECT_EQ(session.primaryTitle(), QStringLiteral("Disconnect"));

    session.userStopTapped();
    harness.settle();
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    EXPECT_FALSE(session.tunnelUpSince());
    // The stop's passing statuses reach the session as one change: it reads the status when told.
    EXPECT_EQ(harness.logLines().mid(0, 6),
              (QStringList{"connect tapped", "tunnel status: connecting", "tunnel status: connected",
                           "check #1: success 0.00 s", "stop tapped", "tunnel status: disconnected"}));
}

TEST_F(SessionConnectTest, AConfigurationTheSystemDropsOnceIsWrittenAgainAndTwiceIsReported) {
    for (const int drops : {1, 2}) {
        SCOPED_TRACE(drops);
        SessionHarness fresh;
        auto& session = fresh.startSelected({sampleProfile(QStringLiteral("Oslo"))});
        fresh.tunnels.dropConfigurationOnNextSaves(drops);
        fresh.run(session.connect());
        EXPECT_EQ(std::tuple(session.phase(), fresh.tunnel().startCount(), session.lastError()),
                  drops == 1 ? std::tuple(TessaronLinkPhase::connecting, 1, std::optional<QString>())
                             : std::tuple(TessaronLinkPhase::disconnected, 0,
                                          std::optional(QStringLiteral(
                                              "The VPN configuration did not save completely."))));
        EXPECT_FALSE(session.isActing());
    }
}

// Only a selected roster source whose roster is 15 minutes old waits for it, and for three seconds at most.
TEST_F(SessionConnectTest, AStaleRosterSourceIsGivenThreeSecondsBeforeTheConnectGoesOn) {
    const auto profile = sampleProfile(QStringLiteral("Oslo"));
    const auto managed = sampleProfile(QStringLiteral("Bergen"));
    harness.grantConsent();
    harness.save(profile);
    harness.save(managed);
    harness.manage(profile, {managed});
    harness.preferences.setValue(QStringLiteral("tessaron.autoSelect"), false);
    auto& session = harness.launch();
    EXPECT_FALSE(session.profileNeedingRosterBeforeConnect());
    session.select(managed.id);
    EXPECT_FALSE(session.profileNeedingRosterBeforeConnect());
    session.select(profile.id);
    harness.stampRoster(profile.id, 899s);
    EXPECT_FALSE(session.profileNeedingRosterBeforeConnect());
    harness.stampRoster(profile.id, 900s);
    EXPECT_EQ(session.profileNeedingRosterBeforeConnect(), profile.id);

    harness.log.clear();
    harness.pairing.setRoster(profile.id,
                              TessaronRosterResponse{{profile}, {}, {}, std::nullopt, std::nullopt});
    harness.pairing.setDelay(5s);
    track(session.connect());
    harness.advance(2999ms);
    EXPECT_EQ(harness.activator.calls, 0);
    harness.advance(1ms);
    EXPECT_EQ(harness.activator.calls, 1);
    harness.advance(2s);
    EXPECT_EQ(harness.logLines().mid(0, 2),
              (QStringList{"connect tapped", "roster refresh: still running, connecting anyway"}));
    EXPECT_TRUE(harness.logLines().contains(QStringLiteral("roster refresh: done 5.0 s")));
    EXPECT_EQ(
        harness.preferences.date(QStringLiteral("tessaron.profilesRefreshedAt.") + uuidText(profile.id)),
        harness.clock.now());
}

// What the user is shown when the extension is not activated, or the node is at this machine's own address.
TEST_F(SessionConnectTest, AConnectThatCannotStartShowsWhy) {
    using Kind = TessaronExtensionActivation::Kind;
    struct Case {
        TessaronExtensionActivation outcome;
        std::optional<TessaronExtensionApproval> approval;
        std::optional<TessaronExtensionNotice> notice;
        std::optional<QString> error;
        QString server;
    };
    const Case cases[] = {
        {Kind::notInApplications, std::nullopt, TessaronExtensionNotice::notInApplications, std::nullopt, {}},
        {Kind::needsReboot, TessaronExtensionApproval::needsReboot, std::nullopt, std::nullopt, {}},
        {Kind::timedOut, TessaronExtensionApproval::retry, std::nullopt, std::nullopt, {}},
        {Kind::cancelled, std::nullopt, std::nullopt, std::nullopt, {}},
        {TessaronExtensionActivation::failed(QStringLiteral("Nope.")),
         std::nullopt,
         std::nullopt,
         QStringLiteral("Nope."),
         {}},
        {Kind::activated, std::nullopt, std::nullopt,
         QStringLiteral("Use another device. This Mac cannot send all traffic through its own address."),
         QStringLiteral("127.0.0.2")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(static_cast<int>(testCase.outcome.kind()));
        SessionHarness fresh;
        fresh.interfaces.entries =
            QList<InterfaceAddress>{FakeInterfaceAddresses::entry(QStringLiteral("127.0.0.2"))};
        auto& session = fresh.startSelected({sampleProfile(QStringLiteral("Oslo"), testCase.server)});
        fresh.activator.enqueue(testCase.outcome);
        fresh.run(session.connect());
        EXPECT_EQ(std::tuple(session.extensionApproval(), session.extensionNotice(), session.lastError()),
                  std::tuple(testCase.approval, testCase.notice, testCase.error));
        EXPECT_TRUE(fresh.tunnels.stored().isEmpty());
        EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);
    }
}

// The real activator, answered by a scripted system: the 300 s cap of an activation the user never
// approves.
TEST_F(SessionConnectTest,
       AnActivationTheUserNeverApprovesHoldsOffASecondConnectAndEndsAfterFiveMinutesWithARetry) {
    FakeSystemExtensionRequests system;
    const ApplicationLocation location{QStringLiteral("/opt/apps/tessaron/bin/tessaron"),
                                       QStringLiteral("/opt/apps")};
    SystemExtensionActivator activator(system, harness.clock, harness.log, location);
    harness.activation = &activator;
    auto& session = ready();
    system.enqueue({FakeSystemExtensionRequests::NeedsApproval{}});

    auto connecting = harness.run(session.connect());
    EXPECT_EQ(session.extensionApproval(), TessaronExtensionApproval::waiting);
    EXPECT_EQ(system.settingsOpened(), 1);
    // A second connect while the first waits is refused without a second activation.
    EXPECT_TRUE(harness.run(session.connect())->done);
    EXPECT_EQ(session.lastError(), QStringLiteral("Wait for the current change to finish."));
    harness.advance(299s);
    EXPECT_FALSE(connecting->done);
    harness.advance(1s);
    EXPECT_TRUE(connecting->done);
    EXPECT_EQ(session.extensionApproval(), TessaronExtensionApproval::retry);
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_GT(system.submitted().size(), 50);

    system.enqueue({SystemExtensionRequestResult::completed});
    session.retryConnect();
    harness.settle();
    EXPECT_FALSE(session.extensionApproval());
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
    EXPECT_EQ(harness.tunnel().startCount(), 1);
}

} // namespace
