// The whole way a new user goes: an invitation link of the local service, redeemed through the session,
// its roster of several nodes adopted, and a node reached through the real tunnel; and, on the system
// clock, a node's failure followed through the tunnel process to another node.
#include "local_service_process.hpp"
#include "session_application.hpp"
#include "tunnel_harness.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/access_input.hpp"
#include "profiles/json_values.hpp"
#include "session/session_keys.hpp"
#include "support/run_task.hpp"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

class SessionEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
        ASSERT_TRUE(service_.isRunning()) << service_.startError().toStdString();
    }

    TessaronSession& launch(bool realTime = false) {
        app_.emplace(harness_,
                     PairingService{QUrl(service_.baseURL()), QSslCertificate::fromPath(service_.caFile())},
                     realTime);
        app_->grantConsent();
        return app_->launch();
    }

    QUrl invitationLink(const QString& group) const {
        const auto lines =
            service_.linesMatching(QStringLiteral("^invitation code for %1 .*: (\\S+)$").arg(group));
        if (lines.isEmpty())
            return {};
        return TessaronAccessInput::invitationConnectURL(lines.front().captured(1), QUrl(service_.baseURL()))
            .value_or(QUrl());
    }

    // The saved connection the tunnel was configured for.
    std::optional<QString> configuredServer() const {
        const auto saved = app_->savedConfigurations();
        if (saved.size() != 1 || !saved.first().tunnelProvider())
            return std::nullopt;
        return saved.first().tunnelProvider()->serverAddress;
    }

    static std::optional<TessaronProfileSummary> summaryNamed(const TessaronSession& session,
                                                              const QString& name) {
        const auto& summaries = session.summaries();
        const auto found = std::ranges::find(summaries, name, &TessaronProfileSummary::name);
        return found == summaries.end() ? std::nullopt : std::optional(*found);
    }

    bool reachesThroughTheTunnel(TessaronSession& session, const TessaronProfileSummary& node) {
        if (!SessionApplication::waitFor([&] { return session.vpnStatus() == VpnStatus::connected; }))
            return false;
        const auto expected = QStringLiteral("smart routing via %1:%2 over tcp, kill switch on")
                                  .arg(node.server)
                                  .arg(node.port);
        EXPECT_EQ(configuredServer(), node.server);
        EXPECT_EQ(app_->ask(TessaronTunnelRoutingContract::message), expected.toUtf8());
        return true;
    }

    bool logged(const QString& prefix) const {
        return std::ranges::any_of(app_->logLines(),
                                   [&](const auto& line) { return line.startsWith(prefix); });
    }
    std::string logText() const { return app_->logLines().join(QStringLiteral("\n")).toStdString(); }

    bool stopAndWait(TessaronSession& session) {
        session.userStopTapped();
        return SessionApplication::waitFor(
            [&] { return session.phase() == TessaronLinkPhase::disconnected; });
    }

    LocalServiceProcess service_;
    TunnelHarness harness_;
    std::optional<SessionApplication> app_;
};

TEST_F(SessionEndToEndTest, AnInvitationLinkGivesTheRosterAndItsNodesConnectThroughTheTunnel) {
    auto& session = launch();
    ASSERT_TRUE(session.summaries().isEmpty());
    const auto link = invitationLink(QStringLiteral("Europe"));
    ASSERT_TRUE(link.isValid());

    // The redemption stores the group's primary, pulls its roster and starts the tunnel for it.
    runTask(session.openInvitationLink(link), 15s);
    EXPECT_EQ(session.lastError(), std::nullopt);
    ASSERT_EQ(session.summaries().size(), 3);
    const auto primary = session.selectedSummary();
    ASSERT_TRUE(primary);
    EXPECT_EQ(session.rosterSourceIDs(), QList{primary->id});
    EXPECT_EQ(session.nodeHealth().size(), 3);
    EXPECT_EQ(session.nodeGeo().size(), 3);
    EXPECT_TRUE(session.dataUsage());
    EXPECT_TRUE(app_->preferences.date(session_keys::profilesRefreshedAtPrefix + uuidText(primary->id)));
    ASSERT_TRUE(reachesThroughTheTunnel(session, *primary));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);

    // Another node of the roster, picked by hand, goes through the same configuration.
    ASSERT_TRUE(stopAndWait(session));
    const auto other = summaryNamed(session, QStringLiteral("Frankfurt"));
    ASSERT_TRUE(other);
    session.pickNode(other->id);
    ASSERT_EQ(session.selectedID(), other->id);
    runTask(session.connect(), 10s);
    ASSERT_TRUE(reachesThroughTheTunnel(session, *other));
    ASSERT_TRUE(stopAndWait(session));
}

TEST_F(SessionEndToEndTest, ABlockedNodeIsLeftForTheNextOneThroughTheRealTunnel) {
    const auto link = invitationLink(QStringLiteral("Americas"));
    ASSERT_TRUE(link.isValid());
    auto& session = launch(true);

    // The redemption stores the group's nodes, selects its first one and connects; the check passes.
    session.openInvitationLink(link);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return session.phase() == TessaronLinkPhase::connected && session.verifiedAt(); }, 15'000))
        << logText() << "\n"
        << session.lastError().value_or(QString()).toStdString();
    ASSERT_EQ(session.summaries().size(), 3);
    const auto failing = *session.selectedSummary();

    // From now on the tunnel reports the node's link blocked; 8 s later failover gives the node up.
    ASSERT_TRUE(harness_.script(failing.server, QJsonObject{{QStringLiteral("blockedAfter"), 0}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(QStringLiteral("switched to ")); }, 15'000)) << logText();
    EXPECT_TRUE(logged(QStringLiteral("tunnel phase: blocked")));
    EXPECT_TRUE(logged(QStringLiteral("failover: blocked \u2192 "))) << logText();

    const auto next = *session.selectedSummary();
    EXPECT_NE(next.id, failing.id);
    EXPECT_TRUE(logged(QStringLiteral("switched to ") + next.name));
    ASSERT_TRUE(SessionApplication::waitFor([&] { return session.phase() == TessaronLinkPhase::connected; }))
        << logText();
    // The tunnel process now carries the link through the new node.
    EXPECT_TRUE(app_->group.text(TessaronTunnelRoutingContract::sharedRoutingKey)
                    .value_or(QString())
                    .contains(next.server));
    ASSERT_TRUE(stopAndWait(session));
}

} // namespace
} // namespace tessaron::testing
