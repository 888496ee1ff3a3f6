#include "vpn_samples.hpp"

#include "platform/linux_tunnel_managers.hpp"
#include "platform/system_log.hpp"
#include "support/manual_clock.hpp"
#include "support/run_task.hpp"
#include "support/thrown_error.hpp"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// The managers with no tunnel running: everything here is decided by the configuration file alone.
class LinuxTunnelManagersTest : public ::testing::Test {
protected:
    std::unique_ptr<LinuxTunnelManagers> open() const {
        const TunnelEndpoint endpoint{directory_.filePath(QStringLiteral("tunnel.socket")),
                                      directory_.filePath(QStringLiteral("no-such-program"))};
        return std::make_unique<LinuxTunnelManagers>(directory_.filePath(QStringLiteral("vpn.json")),
                                                     endpoint, clock_);
    }

    QTemporaryDir directory_;
    mutable ManualClock clock_;
    SystemLog::Capture log_;
};

TEST_F(LinuxTunnelManagersTest, LoadingHandsIntegersBackAsNumberObjectsAndKeepsEveryOtherType) {
    auto manager = sampleManager((qint64(1) << 53) + 1);
    auto& configuration = *manager.tunnelProvider()->providerConfiguration;
    configuration.insert(QStringLiteral("fraction"), ProviderValue::number(ProviderNumber(0.1)));
    configuration.insert(QStringLiteral("textNumber"), ProviderValue::text(QStringLiteral("5")));
    configuration.insert(QStringLiteral("empty"), ProviderValue::data({}));
    manager.identifier = runTask(open()->save(manager));

    // A new instance reads what the first one wrote, as the next launch would.
    const auto loaded = runTask(open()->load(manager.identifier));
    configuration.insert(QStringLiteral("version"),
                         ProviderValue::number(ProviderNumber((qint64(1) << 53) + 1)));
    EXPECT_EQ(loaded, manager);
    EXPECT_EQ(runTask(open()->loadAll()), QList{loaded});
}

TEST_F(LinuxTunnelManagersTest, AConnectionIsInvalidUntilItsConfigurationIsStoredAndAgainOnceRemoved) {
    const auto managers = open();
    EXPECT_EQ(managers->connection(QUuid::createUuid()).status(), VpnStatus::invalid);

    const auto identifier = runTask(managers->save(sampleManager()));
    auto& connection = managers->connection(identifier);
    EXPECT_EQ(connection.status(), VpnStatus::disconnected);
    EXPECT_EQ(open()->connection(identifier).status(), VpnStatus::disconnected)
        << "a new instance knows it too";
    // Without a running tunnel messages fail, no disconnect error is known and a stop changes nothing.
    EXPECT_EQ(thrownError([&] { runTask(connection.sendProviderMessage("phase")); }),
              PlatformError::from(VpnError(VpnErrorKind::connectionFailed)));
    EXPECT_EQ(runTask(connection.lastDisconnectError()), std::nullopt);
    connection.stopTunnel();
    EXPECT_EQ(connection.status(), VpnStatus::disconnected);

    QSignalSpy changes(&connection, &VpnConnection::statusChanged);
    EXPECT_NO_THROW(runTask(managers->remove(identifier)));
    EXPECT_EQ(changes, QList<QVariantList>{{QVariant::fromValue(VpnStatus::invalid)}});
    EXPECT_NO_THROW(runTask(managers->remove(identifier))) << "removing what is gone is no error";
    EXPECT_EQ(thrownError([&] { runTask(managers->load(identifier)); }),
              PlatformError::from(VpnError(VpnErrorKind::configurationInvalid)));
}

TEST_F(LinuxTunnelManagersTest, OnlyAStoredEnabledTunnelProviderConfigurationStarts) {
    const auto managers = open();
    auto disabled = sampleManager();
    disabled.enabled = false;
    auto builtIn = sampleManager();
    builtIn.protocolConfiguration = BuiltInVpnProtocol{QStringLiteral("ikev2"), std::nullopt};
    const std::tuple<const char*, QUuid, VpnErrorKind> cases[] = {
        {"not stored", QUuid::createUuid(), VpnErrorKind::configurationInvalid},
        {"built-in protocol", runTask(managers->save(builtIn)), VpnErrorKind::configurationInvalid},
        {"disabled", runTask(managers->save(disabled)), VpnErrorKind::configurationDisabled},
    };
    for (const auto& [name, identifier, kind] : cases) {
        EXPECT_EQ(thrownError([&] { runTask(managers->connection(identifier).startTunnel()); }),
                  PlatformError::from(VpnError(kind)))
            << name;
    }
}

} // namespace
} // namespace tessaron::testing
