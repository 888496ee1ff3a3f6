#include "node_script.hpp"
#include "tunnel_harness.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/keychain_store.hpp"
#include "session/tunnel_configuration.hpp"
#include "support/run_task.hpp"
#include "support/thrown_error.hpp"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

constexpr int patienceMs = 10'000;

QList<VpnStatus> statusesOf(const QSignalSpy& spy) {
    QList<VpnStatus> statuses;
    for (const auto& arguments : spy)
        statuses.append(arguments.at(0).value<VpnStatus>());
    return statuses;
}

class TunnelTest : public ::testing::Test {
protected:
    // Writes the configuration the way the application does for a profile at server:port.
    QUuid install(LinuxTunnelManagers& managers, const QString& server, quint16 port) const {
        const auto profile = nodeProfile(QStringLiteral("Test node"), server, port);
        const auto data = TessaronKeychainStore::annotatedProfileData(profile, TessaronTransport::tcp);
        TunnelProviderManager manager;
        manager.enabled = true;
        manager.protocolConfiguration =
            tunnelProtocol(TessaronProfileSummary::summary(profile),
                           TessaronKeychainStore().storeItem(data, profile.id), true, data);
        return runTask(managers.save(manager));
    }

    static bool waitFor(const VpnConnection& connection, VpnStatus status) {
        return QTest::qWaitFor([&] { return connection.status() == status; }, patienceMs);
    }

    // What the tunnel wrote when the link last ended, without its date.
    QVariantMap lastStop() const {
        auto stop = harness_.groupPreferences().dictionary(tunnelLastStopKey).value_or(QVariantMap());
        stop.remove(QStringLiteral("date"));
        return stop;
    }

    TunnelHarness harness_;
};

// Quitting the application leaves the tunnel up: that is pinned through the session, which finds it again.
TEST_F(TunnelTest, ConnectsAnswersItsPhaseEveryInstanceFollowsItAndItReportsFailuresInItsDomain) {
    ASSERT_TRUE(harness_.launchTunnel());
    const auto serving = harness_.tunnelProcess();
    QProcess second;
    second.start(harness_.endpoint().program, {QStringLiteral("--socket"), harness_.endpoint().socketName});
    ASSERT_TRUE(second.waitForFinished(patienceMs));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(harness_.tunnelProcess(), serving) << "only one tunnel serves a socket";

    Node node;
    const auto app = harness_.openApplication();
    const auto identifier = install(*app, node.address(), node.port());
    auto& connection = app->connection(identifier);
    QSignalSpy changes(&connection, &VpnConnection::statusChanged);
    const auto startedAt = QDateTime::currentDateTimeUtc();
    ASSERT_NO_THROW(runTask(connection.startTunnel()));
    EXPECT_EQ(connection.status(), VpnStatus::connecting) << "the start's reply comes after its status";
    ASSERT_TRUE(waitFor(connection, VpnStatus::connected));
    EXPECT_TRUE(node.wasReached());

    // The routing line and the attempts are pinned through the session, over the same tunnel.
    const auto report =
        QJsonDocument::fromJson(runTask(connection.sendProviderMessage("phase")).value_or(""));
    EXPECT_EQ(report["phase"], QStringLiteral("connected"));
    EXPECT_TRUE(report["lastError"].isNull());
    EXPECT_NEAR(report["since"].toDouble(), double(startedAt.toMSecsSinceEpoch()) / 1000, 5.0);
    EXPECT_EQ(runTask(connection.sendProviderMessage("unknown")), std::nullopt);

    // Another instance follows the tunnel: its loading waits for the tunnel's state, as a launch does.
    const auto other = harness_.openApplication();
    ASSERT_EQ(runTask(other->loadAll()).size(), 1);
    auto& otherConnection = other->connection(identifier);
    EXPECT_EQ(otherConnection.status(), VpnStatus::connected);
    QSignalSpy otherChanges(&otherConnection, &VpnConnection::statusChanged);
    connection.stopTunnel();
    ASSERT_TRUE(waitFor(connection, VpnStatus::disconnected));
    EXPECT_EQ(statusesOf(changes), (QList{VpnStatus::connecting, VpnStatus::connected,
                                          VpnStatus::disconnecting, VpnStatus::disconnected}));
    EXPECT_EQ(runTask(connection.lastDisconnectError()), std::nullopt);
    EXPECT_EQ(lastStop(), (QVariantMap{{"reason", "stopped"}}));
    EXPECT_EQ(thrownError([&] { runTask(connection.sendProviderMessage("phase")); }),
              PlatformError::from(VpnError(VpnErrorKind::connectionFailed)));
    ASSERT_TRUE(waitFor(otherConnection, VpnStatus::disconnected));
    EXPECT_EQ(statusesOf(otherChanges), (QList{VpnStatus::disconnecting, VpnStatus::disconnected}));

    ASSERT_NO_THROW(runTask(otherConnection.startTunnel()));
    ASSERT_TRUE(waitFor(connection, VpnStatus::connected));
    // A tunnel that dies takes the link down, and the next start launches another.
    const auto firstProcess = harness_.tunnelProcess();
    harness_.killTunnel();
    ASSERT_TRUE(waitFor(otherConnection, VpnStatus::disconnected));
    EXPECT_EQ(runTask(otherConnection.lastDisconnectError()),
              PlatformError::from(VpnError(VpnErrorKind::connectionFailed)));
    ASSERT_NO_THROW(runTask(otherConnection.startTunnel()));
    ASSERT_TRUE(waitFor(connection, VpnStatus::connected));
    EXPECT_NE(harness_.tunnelProcess(), firstProcess);
    ASSERT_NO_THROW(runTask(other->remove(identifier)));
    EXPECT_TRUE(waitFor(connection, VpnStatus::disconnected)) << "removing a configuration stops its tunnel";

    const auto closedPort = node.port();
    node.close();
    const std::tuple<const char*, QString, quint16, qint64> failures[] = {
        {"closed port", QStringLiteral("127.0.0.2"), closedPort, tunnel_failure::serverUnreachable},
        {"unresolvable name", QStringLiteral("tessaron-node.invalid"), 443,
         tunnel_failure::serverNotResolved},
    };
    for (const auto& [name, server, port, code] : failures) {
        SCOPED_TRACE(name);
        auto& failing = app->connection(install(*app, server, port));
        QSignalSpy failingChanges(&failing, &VpnConnection::statusChanged);
        ASSERT_NO_THROW(runTask(failing.startTunnel()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return failingChanges.size() == 2; }, patienceMs));
        EXPECT_EQ(statusesOf(failingChanges), (QList{VpnStatus::connecting, VpnStatus::disconnected}));
        EXPECT_EQ(runTask(failing.lastDisconnectError()), PlatformError(tunnel_failure::domain, code));
        EXPECT_EQ(lastStop(), (QVariantMap{{"reason", "failed"}, {"code", code}}));
    }
}

// Another local user must not be able to take the tunnel's socket: it is served only from a folder of
// this user's alone, and the shared temporary folder gets one.
TEST(TunnelSocketFolderTest, TheTunnelServesOnlyFromAFolderOfThisUsersAlone) {
    const QTemporaryDir scratch;
    const auto folder = scratch.filePath(QStringLiteral("sockets"));
    const auto name = QFile::encodeName(folder);
    const auto socketName = folder + QStringLiteral("/tunnel.socket");
    QProcess tunnel;
    const auto start = [&] {
        tunnel.start(TunnelEndpoint::defaultProgram(), {QStringLiteral("--socket"), socketName});
        return tunnel.waitForFinished(patienceMs) ? tunnel.exitCode() : -1;
    };
    ASSERT_TRUE(QDir().mkdir(folder) && ::chmod(name.constData(), 0755) == 0);
    EXPECT_EQ(start(), 1) << "open to others";
    // Only root can give a folder away.
    if (::getuid() == 0 && ::chmod(name.constData(), 0700) == 0 && ::chown(name.constData(), 65534, 0) == 0) {
        EXPECT_EQ(start(), 1) << "another user's";
    }
    ASSERT_TRUE(QDir(folder).removeRecursively() && QFile::link(scratch.path(), folder));
    EXPECT_EQ(start(), 1) << "a link";

    ASSERT_TRUE(QFile::remove(folder));
    const auto serves = [&] {
        QLocalSocket socket;
        socket.connectToServer(socketName);
        return socket.waitForConnected(100);
    };
    // Only a living tunnel holds the lock: neither an empty nor a garbage lock file left by a power loss
    // stops the next one from serving.
    for (const auto& contents : {std::optional<QByteArray>(), std::optional(QByteArray()),
                                 std::optional(QByteArray("\xff\x00not a lock\n", 14))}) {
        if (contents) {
            QFile lock(socketName + QStringLiteral(".lock"));
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate) && lock.write(*contents) >= 0);
        }
        tunnel.start(TunnelEndpoint::defaultProgram(), {QStringLiteral("--socket"), socketName});
        EXPECT_TRUE(QTest::qWaitFor(serves, patienceMs)) << (contents ? contents->size() : -1);
        tunnel.kill();
        tunnel.waitForFinished();
    }
    struct stat status {};
    EXPECT_EQ(::lstat(name.constData(), &status) == 0 ? status.st_mode & 07777 : 0, 0700u) << "made private";

    const auto runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TunnelEndpoint::defaultSocketName(),
              QDir::tempPath() + QStringLiteral("/tessaron-%1/tessaron-tunnel.socket").arg(::getuid()));
    qputenv("XDG_RUNTIME_DIR", runtime);
}

// A delay that is not finite, negative or beyond a day would overflow the tunnel's clock.
TEST(NodeScriptTest, BlockedAfterTakesOnlyDelaysUpToADayAndEncodesBackToItself) {
    for (const double seconds : {0.0, 0.5, 86'400.0})
        EXPECT_EQ(NodeScript::fromJson({{"blockedAfter", seconds}}).value().toJson(),
                  QJsonObject({{"blockedAfter", seconds}}));
    for (const double seconds : {86'400.001, -0.001, 1e300, std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(NodeScript::fromJson({{"blockedAfter", seconds}})) << seconds;
}

} // namespace
} // namespace tessaron::testing
