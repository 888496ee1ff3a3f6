#include "vpn_samples.hpp"

#include "platform/tunnel_contract.hpp"
#include "support/fake_tunnel_managers.hpp"
#include "support/manual_clock.hpp"
#include "support/run_task.hpp"
#include "support/thrown_error.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

// The session's tests lean on these fakes behaving like the system; a fake that drifts would let them pass
// against behaviour the real services never show.

QList<VpnStatus> statusesOf(const QSignalSpy& spy) {
    QList<VpnStatus> statuses;
    for (const auto& arguments : spy)
        statuses.append(arguments.at(0).value<VpnStatus>());
    return statuses;
}

TEST(FakeVpnConnectionTest, PlaysStepsOnTheClockAndANewStartDropsTheOldOnes) {
    ManualClock clock;
    FakeVpnConnection connection(clock, VpnStatus::disconnected);
    QSignalSpy changes(&connection, &VpnConnection::statusChanged);
    connection.setStartSteps({{0s, VpnStatus::connecting}, {2s, VpnStatus::connected}});

    runTask(connection.startTunnel());
    EXPECT_EQ(connection.status(), VpnStatus::connecting)
        << "steps due at once are applied before the start returns";
    clock.advance(1999ms);
    EXPECT_EQ(connection.status(), VpnStatus::connecting);
    clock.advance(1ms);
    EXPECT_EQ(connection.status(), VpnStatus::connected);

    const PlatformError unreachable(tunnel_failure::domain, tunnel_failure::serverUnreachable);
    connection.setStartSteps({{0s, VpnStatus::connecting}, {5s, VpnStatus::disconnected, unreachable}});
    runTask(connection.startTunnel());
    connection.setStartSteps({{0s, VpnStatus::connecting}});
    runTask(connection.startTunnel());
    clock.advance(10s);
    EXPECT_EQ(connection.status(), VpnStatus::connecting) << "the failure of the replaced start never lands";
    EXPECT_EQ(runTask(connection.lastDisconnectError()), std::nullopt);

    connection.setStopSteps({{0s, VpnStatus::disconnecting}, {1s, VpnStatus::disconnected, unreachable}});
    connection.stopTunnel();
    clock.advance(1s);
    EXPECT_EQ(runTask(connection.lastDisconnectError()), unreachable);
    EXPECT_EQ(statusesOf(changes), (QList{VpnStatus::connecting, VpnStatus::connected, VpnStatus::connecting,
                                          VpnStatus::disconnecting, VpnStatus::disconnected}));
    EXPECT_EQ(connection.startCount(), 3);
    EXPECT_EQ(connection.stopCount(), 1);
}

TEST(FakeVpnConnectionTest, RepliesOnlyWhileTheTunnelIsLive) {
    ManualClock clock;
    FakeVpnConnection connection(clock, VpnStatus::connected);
    connection.setReply("phase", QByteArray(R"({"phase":"blocked"})"));
    EXPECT_EQ(runTask(connection.sendProviderMessage("phase")), QByteArray(R"({"phase":"blocked"})"));
    EXPECT_EQ(runTask(connection.sendProviderMessage("routing")), std::nullopt);
    connection.setStatus(VpnStatus::disconnected);
    EXPECT_EQ(thrownError([&] { runTask(connection.sendProviderMessage("phase")); }),
              PlatformError::from(VpnError(VpnErrorKind::connectionFailed)));
    EXPECT_EQ(connection.sentMessages(), (QList<QByteArray>{"phase", "routing", "phase"}));
}

TEST(FakeTunnelManagersTest, ReloadsAsTheSystemDoesAndDropsTheConfigurationWhenAsked) {
    ManualClock clock;
    FakeTunnelManagers managers(clock);
    managers.dropConfigurationOnNextSaves(1);

    const auto dropped = runTask(managers.save(sampleManager()));
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(runTask(managers.load(dropped)).protocolConfiguration));

    const auto kept = runTask(managers.save(sampleManager()));
    const auto reloaded = runTask(managers.load(kept));
    const auto version =
        reloaded.tunnelProvider()->providerConfiguration->constFind(QStringLiteral("version"));
    EXPECT_EQ(version->integerValue(), std::nullopt);
    EXPECT_EQ(version->numberValue(), ProviderNumber(qint64(3)));
    EXPECT_EQ(managers.connection(kept).status(), VpnStatus::disconnected);

    runTask(managers.remove(kept));
    EXPECT_EQ(managers.connection(kept).status(), VpnStatus::invalid);
    EXPECT_EQ(thrownError([&] { runTask(managers.load(kept)); }),
              PlatformError::from(VpnError(VpnErrorKind::configurationInvalid)));
}

} // namespace
} // namespace tessaron::testing
