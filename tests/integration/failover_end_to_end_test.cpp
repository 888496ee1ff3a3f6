// A session built on the real Linux stand-ins follows a node's failure through the tunnel process to
// another node: the local service redeems the invitation and plays the nodes and the reachability page,
// the tunnel stand-in carries the link, and the test makes the selected node fail through the tunnel's
// control channel.
#include "local_service_process.hpp"
#include "tunnel_harness.hpp"

#include "health/latency_monitor.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/linux_interface_addresses.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/secret_service_keychain.hpp"
#include "platform/system_clock.hpp"
#include "profiles/upgrade_gate.hpp"
#include "session/tessaron_session.hpp"
#include "support/fake_host_activity_source.hpp"
#include "support/fake_path_monitor.hpp"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

const QString accessGroup = QStringLiteral("test.tessaron.end-to-end");

// The extension is the tunnel process itself: there is nothing to approve.
class ActiveExtension final : public TessaronSystemExtensionActivating {
public:
    QCoro::Task<TessaronExtensionActivation> ensureActivated(std::function<void()>) override {
        co_return TessaronExtensionActivation::Kind::activated;
    }
    void cancel() override {}
    void openExtensionSettings() override {}
};

// Redemptions need someone signed in; the account itself plays no part here.
class SignedIn final : public TessaronSignInState {
public:
    bool isSignedIn() const override { return true; }
    QCoro::Task<> linkProfileIfSignedIn(TessaronSession*) override { co_return; }
};

class FailoverEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
        ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
        ASSERT_TRUE(tunnel.launchTunnel());
        preferences.setValue(QStringLiteral("tessaron.privacyConsent"), true);
        preferences.setValue(QStringLiteral("tessaron.privacyConsentVersion"),
                             QStringLiteral("tessaron-access-v1"));
        session = std::make_unique<TessaronSession>(services());
    }

    void TearDown() override {
        if (session && session->phase() != TessaronLinkPhase::disconnected) {
            session->userStopTapped();
            EXPECT_TRUE(QTest::qWaitFor(
                [this] { return session->phase() == TessaronLinkPhase::disconnected; }, 5'000));
        }
        session.reset();
    }

    TessaronSessionServices services() {
        return TessaronSessionServices{
            .clock = clock,
            .preferences = preferences,
            .groupPreferences = group,
            .keychain = keychain,
            .keychainStore = TessaronKeychainStore(keychain, bundle),
            .pendingRedemptions = TessaronPendingRedemptionStore(keychain, bundle),
            .installationID = [] { return installation; },
            .pairingClient =
                [this] {
                    return TessaronPairingClient(TessaronPairingOrigin(QUrl(service.baseURL())), transport,
                                                 gate, bundle);
                },
            .tunnelManagers = *managers,
            .activator = extension,
            .latencyMonitor = latency,
            .reachability = ConnectionHealthChecker(
                transport, clock, [this](const QString& line) { log.append(line); },
                QUrl(service.baseURL() + QStringLiteral("/success.txt"))),
            .lowPowerMode = {},
            .hostActivity = host,
            .pathMonitors = paths.factory(),
            .interfaceAddresses = interfaces,
            .connectionLog = log,
            .signIn = signIn,
            .revealApplication = {},
            .startCrashReporting = {},
        };
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

    static inline const QUuid installation = QUuid::createUuid();

    // The tunnel harness first: it points XDG_CONFIG_HOME at a folder of its own before anything reads it.
    TunnelHarness tunnel;
    LocalServiceProcess service;
    SystemClock& clock = SystemClock::shared();
    QTemporaryDir folder;
    JsonFilePreferences preferences{folder.filePath(QStringLiteral("preferences.json")), clock};
    JsonFilePreferences group = tunnel.groupPreferences();
    SecretServiceKeychain keychain;
    BundleInfo bundle{QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), accessGroup}},
                      ProgramLocations{}};
    QtHttpTransport transport{
        QtHttpTransportOptions{.trustedAuthorities = QSslCertificate::fromPath(service.caFile())}};
    TessaronServerUpgradeGate gate{preferences};
    std::unique_ptr<LinuxTunnelManagers> managers = tunnel.openApplication();
    ActiveExtension extension;
    TcpConnectProbe probe{clock};
    LatencyMonitor latency{probe, clock};
    FakeHostActivitySource host;
    FakePathMonitors paths{PathMonitor::Status::satisfied};
    LinuxInterfaceAddresses interfaces;
    TessaronConnectionLog log{preferences, clock};
    SignedIn signIn;
    std::unique_ptr<TessaronSession> session;
};

TEST_F(FailoverEndToEndTest, ABlockedNodeIsLeftForTheNextOneThroughTheRealTunnel) {
    const auto codes = service.linesMatching(QStringLiteral("^invitation code for Americas .*: (\\S+)$"));
    ASSERT_FALSE(codes.isEmpty());
    QUrl link(QStringLiteral("tessaron://connect"));
    link.setQuery(QStringLiteral("code=") + codes.first().captured(1));

    // The redemption stores the group's nodes, selects its first one and connects.
    session->openInvitationLink(link);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return session->phase() == TessaronLinkPhase::connected && session->verifiedAt(); }, 10'000))
        << logText() << "\n"
        << session->lastError().value_or(QString()).toStdString();
    ASSERT_EQ(session->summaries().size(), 3);
    const auto failing = *session->selectedSummary();

    ASSERT_TRUE(tunnel.script(failing.server, QJsonObject{{QStringLiteral("blockedAfter"), 0}}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return logged(QStringLiteral("switched to ")); }, 15'000))
        << logText();
    EXPECT_TRUE(logged(QStringLiteral("tunnel phase: blocked")));
    EXPECT_TRUE(logged(QStringLiteral("failover: blocked \u2192 "))) << logText();

    const auto next = *session->selectedSummary();
    EXPECT_NE(next.id, failing.id);
    EXPECT_TRUE(logged(QStringLiteral("switched to ") + next.name));
    ASSERT_TRUE(QTest::qWaitFor([this] { return session->phase() == TessaronLinkPhase::connected; }, 5'000))
        << logText();
    // The tunnel process now carries the link through the new node.
    EXPECT_TRUE(
        group.text(QStringLiteral("tessaron.tunnel.routing")).value_or(QString()).contains(next.server));
}

} // namespace
} // namespace tessaron::testing
