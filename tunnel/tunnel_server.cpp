#include "tunnel_server.hpp"

#include "node_script.hpp"
#include "packet_tunnel.hpp"

#include "platform/private_files.hpp"
#include "platform/process_lock.hpp"
#include "platform/system_log.hpp"
#include "platform/tunnel_channel.hpp"
#include "platform/tunnel_messages.hpp"

#include <QFileInfo>
#include <QLocalSocket>

#include <unistd.h>

namespace tessaron {

namespace {

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("tunnel"));
    return log;
}

QJsonObject refusal(const QString& reason) {
    return {{tunnel_message::error, reason}};
}

} // namespace

TunnelServer::TunnelServer(PacketTunnel& tunnel, Clock& clock, QObject* parent)
    : QObject(parent)
    , tunnel_(tunnel)
    , clock_(clock) {
    connect(&server_, &QLocalServer::newConnection, this, &TunnelServer::accept);
    connect(&tunnel_, &PacketTunnel::stateChanged, this, &TunnelServer::broadcast);
    connect(&tunnel_, &PacketTunnel::stateChanged, this, &TunnelServer::reviewIdleness);
    reviewIdleness();
}

TunnelServer::~TunnelServer() {
    clock_.unschedule(idleTimer_);
}

TunnelServer::Listening TunnelServer::listen(const QString& socketName) {
    // Another user who could write to the folder could take the lock or the socket's name first.
    if (const auto problem = claimPrivateFolder(QFileInfo(socketName).absolutePath())) {
        log().error(QStringLiteral("refusing to serve the tunnel: %1").arg(*problem));
        return Listening::refused;
    }
    // The lock, not the socket, decides which tunnel serves: a socket file can outlive its tunnel.
    switch (lock_.take(socketName + QStringLiteral(".lock"))) {
    case ProcessLock::Outcome::taken:
        break;
    case ProcessLock::Outcome::heldElsewhere:
        return Listening::servedAlready;
    case ProcessLock::Outcome::failed:
        return Listening::refused;
    }
    QLocalServer::removeServer(socketName);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(socketName))
        return Listening::serving;
    log().error(QStringLiteral("cannot serve the tunnel at %1: %2").arg(socketName, server_.errorString()));
    return Listening::refused;
}

void TunnelServer::accept() {
    while (auto* socket = server_.nextPendingConnection()) {
        auto* channel = new TunnelChannel(socket, this);
        if (channel->peerUser() != getuid()) {
            channel->close();
            channel->deleteLater();
            continue;
        }
        channels_.append(channel);
        connect(channel, &TunnelChannel::received, this,
                [this, channel](const QJsonObject& request) { handle(channel, request); });
        connect(channel, &TunnelChannel::closed, this, [this, channel] {
            channels_.removeOne(channel);
            channel->deleteLater();
            reviewIdleness();
        });
        channel->send(tunnel_message::encodeState(tunnel_.state()));
    }
    reviewIdleness();
}

void TunnelServer::handle(TunnelChannel* channel, const QJsonObject& request) {
    auto reply = carryOut(request);
    reply.insert(tunnel_message::kind, tunnel_message::reply);
    reply.insert(tunnel_message::request, request.value(tunnel_message::request));
    channel->send(reply);
}

QJsonObject TunnelServer::carryOut(const QJsonObject& request) {
    const auto kind = request.value(tunnel_message::kind).toString();
    const auto configuration = tunnel_message::decodeIdentifier(request.value(tunnel_message::configuration));
    const auto runsConfiguration = !configuration.isNull() && configuration == tunnel_.state().configuration;
    if (kind == tunnel_message::start) {
        const auto protocol =
            TunnelProviderProtocol::fromJson(request.value(tunnel_message::protocol).toObject());
        if (configuration.isNull() || !protocol)
            return refusal(QStringLiteral("malformed start"));
        tunnel_.start(configuration, *protocol);
        return {};
    }
    if (kind == tunnel_message::stop) {
        if (runsConfiguration)
            tunnel_.stop();
        return {};
    }
    if (kind == tunnel_message::message) {
        const auto message = tunnel_message::decodeData(request.value(tunnel_message::data));
        if (!runsConfiguration || !isLive(tunnel_.state().status) || !message)
            return refusal(QStringLiteral("not running"));
        return {{tunnel_message::data, tunnel_message::encodeData(tunnel_.answer(*message))}};
    }
    if (kind == tunnel_message::script) {
        const auto node = request.value(tunnel_message::node).toString();
        const auto script = request.value(tunnel_message::script);
        auto parsed = NodeScript::fromJson(script.toObject());
        if (node.isEmpty() || (!script.isNull() && (!script.isObject() || !parsed)))
            return refusal(QStringLiteral("malformed script"));
        tunnel_.setScript(node, script.isNull() ? std::nullopt : parsed);
        return {};
    }
    return refusal(QStringLiteral("unknown request"));
}

void TunnelServer::broadcast() {
    const auto state = tunnel_message::encodeState(tunnel_.state());
    for (auto* channel : std::as_const(channels_))
        channel->send(state);
}

void TunnelServer::reviewIdleness() {
    const auto nothingNeedsIt = channels_.isEmpty() && !isLive(tunnel_.state().status);
    if (!nothingNeedsIt) {
        clock_.unschedule(std::exchange(idleTimer_, 0));
        return;
    }
    if (idleTimer_ == 0)
        idleTimer_ = clock_.schedule(clock_.monotonic() + idleLimit, Clock::Duration::zero(), [this] {
            idleTimer_ = 0;
            Q_EMIT idle();
        });
}

} // namespace tessaron
