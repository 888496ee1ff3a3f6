// A session built as the application builds it, on the system clock, follows a node's failure through the
// tunnel process to another node: the local service redeems the invitation and plays the nodes and the
// reachability page, the tunnel stand-in carries the link, and the test makes the selected node fail
// through the tunnel's control channel.
#include "local_service_process.hpp"
#include "tunnel_harness.hpp"

#include "platform/keychain.hpp"
#include "platform/linux_system_extension_requests.hpp"
#include "platform/system_clock.hpp"
#include "platform/tunnel_contract.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/access_input.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/upgrade_gate.hpp"
#include "session/assumed_sign_in.hpp"
#include "session/linux_session_services.hpp"
#include "session/session_keys.hpp"
#include "session/system_extension_activator.hpp"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

class FailoverEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
        ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
        preferences.setValue(session_keys::privacyConsent, true);
        preferences.setValue(session_keys::privacyConsentVersion, TessaronIdentifiers::consentVersion);
        parts = std::make_unique<LinuxSessionServices>(
            SessionSurroundings{
                .clock = clock,
                .preferences = preferences,
                .groupPreferences = group,
                .keychain = systemKeychain(),
                .bundle = bundle,
                .upgradeGate = gate,
                .connectionLog = log,
                .activator = activator,
                .tunnel = tunnel.endpoint(),
                .configurationsPath = VpnConfigurationStore::defaultPath(),
                .http = {.trustedAuthorities = QSslCertificate::fromPath(service.caFile())},
            },
            signIn);
        session = std::make_unique<TessaronSession>(parts->services());
    }

    void TearDown() override {
        if (session && session->phase() != TessaronLinkPhase::disconnected) {
            session->userStopTapped();
            EXPECT_TRUE(waitFor([this] { return session->phase() == TessaronLinkPhase::disconnected; }, 5s));
        }
        session.reset();
        parts.reset();
    }

    static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds patience) {
        return QTest::qWaitFor(condition, int(patience.count()));
    }

    BundleInfo bundleForService() const {
        auto locations = ProgramLocations::builtIn();
        locations.reachabilityPage = QUrl(service.baseURL() + QStringLiteral("/success.txt"));
        return BundleInfo(QVariantMap{{TessaronIdentifiers::keychainAccessGroupInfoKey,
                                       QStringLiteral("test.tessaron.failover")},
                                      {QStringLiteral("TessaronPairingBaseURL"), service.baseURL()}},
                          locations);
    }

    QUrl invitationLink(const QString& group) const {
        const auto lines =
            service.linesMatching(QStringLiteral("^invitation code for %1 .*: (\\S+)$").arg(group));
        if (lines.isEmpty())
            return {};
        return TessaronAccessInput::invitationConnectURL(lines.front().captured(1), QUrl(service.baseURL()))
            .value_or(QUrl());
    }

    bool logged(const QString& prefix) const {
        return std::ranges::any_of(log.entries(),
                                   [&](const auto& entry) { return entry.text.startsWith(prefix); });
    }
    std::string logText() const {
        QStringList lines;
        for (const auto& entry : log.entries())
            lines.append(entry.text);
        return lines.join(QStringLiteral("\n")).toStdString();
    }

    // The tunnel harness first: it points XDG_CONFIG_HOME at a folder of its own before anything reads it.
    TunnelHarness tunnel;
    LocalServiceProcess service;
    SystemClock& clock = SystemClock::shared();
    JsonFilePreferences preferences{preferencesFilePath(standardPreferencesSuite), clock};
    JsonFilePreferences group{preferencesFilePath(Preferences::applicationGroup), clock};
    BundleInfo bundle = bundleForService();
    TessaronServerUpgradeGate gate{preferences};
    TessaronConnectionLog log{preferences, clock};
    // The test program runs beside the tunnel, in the folder that plays the applications folder.
    LinuxSystemExtensionRequests extensions{TessaronIdentifiers::tunnelExtensionBundle,
                                            TunnelEndpoint::defaultProgram()};
    SystemExtensionActivator activator{
        extensions, clock, log,
        ApplicationLocation{QCoreApplication::applicationFilePath(), QCoreApplication::applicationDirPath()}};
    AssumedSignIn signIn;
    std::unique_ptr<LinuxSessionServices> parts;
    std::unique_ptr<TessaronSession> session;
};

TEST_F(FailoverEndToEndTest, ABlockedNodeIsLeftForTheNextOneThroughTheRealTunnel) {
    const auto link = invitationLink(QStringLiteral("Americas"));
    ASSERT_TRUE(link.isValid());

    // The redemption stores the group's nodes, selects its first one and connects; the check passes.
    session->openInvitationLink(link);
    ASSERT_TRUE(waitFor(
        [this] { return session->phase() == TessaronLinkPhase::connected && session->verifiedAt(); }, 15s))
        << logText() << "\n"
        << session->lastError().value_or(QString()).toStdString();
    ASSERT_EQ(session->summaries().size(), 3);
    const auto failing = *session->selectedSummary();

    // From now on the tunnel reports the node's link blocked; 8 s later failover gives the node up.
    ASSERT_TRUE(tunnel.script(failing.server, QJsonObject{{QStringLiteral("blockedAfter"), 0}}));
    ASSERT_TRUE(waitFor([this] { return logged(QStringLiteral("switched to ")); }, 15s)) << logText();
    EXPECT_TRUE(logged(QStringLiteral("tunnel phase: blocked")));
    EXPECT_TRUE(logged(QStringLiteral("failover: blocked \u2192 "))) << logText();

    const auto next = *session->selectedSummary();
    EXPECT_NE(next.id, failing.id);
    EXPECT_TRUE(logged(QStringLiteral("switched to ") + next.name));
    ASSERT_TRUE(waitFor([this] { return session->phase() == TessaronLinkPhase::connected; }, 10s))
        << logText();
    // The tunnel process now carries the link through the new node.
    EXPECT_TRUE(group.text(TessaronTunnelRoutingContract::sharedRoutingKey)
                    .value_or(QString())
                    .contains(next.server));
}

} // namespace
} // namespace tessaron::testing
