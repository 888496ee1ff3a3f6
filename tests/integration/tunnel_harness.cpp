#include "tunnel_harness.hpp"

#include "platform/system_clock.hpp"
#include "platform/tunnel_channel.hpp"
#include "platform/tunnel_messages.hpp"
#include "platform/vpn_configuration_store.hpp"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

namespace tessaron::testing {

namespace {

using namespace std::chrono_literals;

constexpr auto patience = 5s;

// A blocking exchange with the tunnel: the test waits on it anyway.
class BlockingLink {
public:
    explicit BlockingLink(const QString& socketName) {
        socket_.connectToServer(socketName);
        if (socket_.waitForConnected(1000))
            greeting_ = readLine();
    }

    bool isOpen() const { return greeting_.has_value(); }

    std::optional<pid_t> peerProcess() {
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (!isOpen() ||
            getsockopt(int(socket_.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
            return std::nullopt;
        return credentials.pid;
    }

    std::optional<QJsonObject> request(QJsonObject message) {
        message.insert(tunnel_message::request, 1);
        socket_.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
        socket_.flush();
        while (auto line = readLine()) {
            if (line->value(tunnel_message::kind) == tunnel_message::reply)
                return line;
        }
        return std::nullopt;
    }

private:
    std::optional<QJsonObject> readLine() {
        const QDeadlineTimer deadline(patience);
        while (!socket_.canReadLine()) {
            if (deadline.hasExpired() || !socket_.waitForReadyRead(int(deadline.remainingTime())))
                return std::nullopt;
        }
        return QJsonDocument::fromJson(socket_.readLine()).object();
    }

    QLocalSocket socket_;
    std::optional<QJsonObject> greeting_;
};

} // namespace

TunnelHarness::TunnelHarness()
    : endpoint_{directory_.filePath(QStringLiteral("tessaron-tunnel.socket")),
                TunnelEndpoint::defaultProgram()} {
    qputenv("XDG_CONFIG_HOME", directory_.filePath(QStringLiteral("config")).toLocal8Bit());
    // The tunnel finds its profiles in the Secret Service, which only the wrapper provides to tests.
    EXPECT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
        << "run this suite through tests/support/with-keyring.sh";
}

TunnelHarness::~TunnelHarness() {
    killTunnel();
}

std::unique_ptr<LinuxTunnelManagers> TunnelHarness::openApplication() const {
    return std::make_unique<LinuxTunnelManagers>(VpnConfigurationStore::defaultPath(), endpoint_,
                                                 SystemClock::shared());
}

JsonFilePreferences TunnelHarness::groupPreferences() const {
    return JsonFilePreferences(preferencesFilePath(Preferences::applicationGroup), SystemClock::shared());
}

bool TunnelHarness::launchTunnel() const {
    return endpoint_.launch() && QTest::qWaitFor([this] { return isServing(); }, int(patience / 1ms));
}

bool TunnelHarness::isServing() const {
    return BlockingLink(endpoint_.socketName).isOpen();
}

std::optional<pid_t> TunnelHarness::tunnelProcess() const {
    return BlockingLink(endpoint_.socketName).peerProcess();
}

void TunnelHarness::killTunnel() const {
    const auto process = tunnelProcess();
    if (!process)
        return;
    ::kill(*process, SIGKILL);
    if (!QTest::qWaitFor([this] { return !isServing(); }, int(patience / 1ms)))
        qWarning("the tunnel still serves after it was killed");
}

bool TunnelHarness::script(const QString& server, const QJsonValue& script) const {
    BlockingLink link(endpoint_.socketName);
    const auto reply = link.request({
        {tunnel_message::kind, tunnel_message::script},
        {tunnel_message::node, server},
        {tunnel_message::script, script},
    });
    return reply && !reply->contains(tunnel_message::error);
}

TessaronProfile nodeProfile(const QString& name, const QString& server, quint16 port) {
    return TessaronProfile::fromJSON(QJsonObject{
        {"version", 1},
        {"id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
        {"name", name},
        {"server", server},
        {"port", port},
        {"userID", "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"},
        {"security", "tls"},
        {"serverName", "node.example.net"},
        {"flow", "xtls-rprx-vision"},
    });
}

} // namespace tessaron::testing
