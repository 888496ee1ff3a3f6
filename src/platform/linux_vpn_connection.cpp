#include "platform/linux_vpn_connection.hpp"

#include "platform/tunnel_client.hpp"
#include "platform/tunnel_messages.hpp"
#include "platform/vpn_configuration_store.hpp"

#include <QPointer>

#include <algorithm>

namespace tessaron {

LinuxVpnConnection::LinuxVpnConnection(QUuid identifier, bool stored, TunnelClient& client,
                                       const VpnConfigurationStore& store, QObject* parent)
    : VpnConnection(parent)
    , identifier_(identifier)
    , stored_(stored && !identifier.isNull())
    , client_(client)
    , store_(store)
    , announced_(status()) {
    connect(&client_, &TunnelClient::stateChanged, this, &LinuxVpnConnection::announceStatus);
}

void LinuxVpnConnection::setStored(bool stored) {
    stored_ = stored && !identifier_.isNull();
    announceStatus();
}

VpnStatus LinuxVpnConnection::status() const {
    if (runsHere() && isLive(client_.state().status))
        return client_.state().status;
    return stored_ ? VpnStatus::disconnected : VpnStatus::invalid;
}

QCoro::Task<> LinuxVpnConnection::startTunnel() {
    const auto managers = store_.load();
    const auto manager = std::find_if(managers.begin(), managers.end(), [&](const auto& candidate) {
        return candidate.identifier == identifier_;
    });
    if (manager == managers.end() || !manager->tunnelProvider())
        throw VpnError(VpnErrorKind::configurationInvalid);
    if (!manager->enabled)
        throw VpnError(VpnErrorKind::configurationDisabled);
    const QJsonObject request{
        {tunnel_message::kind, tunnel_message::start},
        {tunnel_message::configuration, tunnel_message::encodeIdentifier(identifier_)},
        {tunnel_message::protocol, manager->tunnelProvider()->toJson()},
    };
    QPointer self(this);
    co_await client_.attachLaunching();
    if (!self)
        throw VpnError(VpnErrorKind::connectionFailed);
    co_await client_.request(request);
}

void LinuxVpnConnection::stopTunnel() {
    if (!runsHere() || !isLive(client_.state().status))
        return;
    client_.post({{tunnel_message::kind, tunnel_message::stop},
                  {tunnel_message::configuration, tunnel_message::encodeIdentifier(identifier_)}});
}

QCoro::Task<std::optional<PlatformError>> LinuxVpnConnection::lastDisconnectError() {
    QPointer self(this);
    co_await client_.attach();
    if (!self || !runsHere())
        co_return std::nullopt;
    co_return client_.state().lastError;
}

QCoro::Task<std::optional<QByteArray>> LinuxVpnConnection::sendProviderMessage(QByteArray message) {
    QPointer self(this);
    co_await client_.attach();
    if (!self || !runsHere() || !isLive(client_.state().status))
        throw VpnError(VpnErrorKind::connectionFailed);
    const QJsonObject request{
        {tunnel_message::kind, tunnel_message::message},
        {tunnel_message::configuration, tunnel_message::encodeIdentifier(identifier_)},
        {tunnel_message::data, tunnel_message::encodeData(message)},
    };
    const auto reply = co_await client_.request(request);
    co_return tunnel_message::decodeData(reply.value(tunnel_message::data));
}

bool LinuxVpnConnection::runsHere() const {
    return !identifier_.isNull() && client_.state().configuration == identifier_;
}

void LinuxVpnConnection::announceStatus() {
    const auto current = status();
    if (current == announced_)
        return;
    announced_ = current;
    Q_EMIT statusChanged(current);
}

} // namespace tessaron
