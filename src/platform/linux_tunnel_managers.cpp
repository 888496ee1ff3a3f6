#include "platform/linux_tunnel_managers.hpp"

#include "platform/linux_vpn_connection.hpp"
#include "platform/tunnel_client.hpp"
#include "platform/tunnel_messages.hpp"

#include <algorithm>

namespace tessaron {

LinuxTunnelManagers::LinuxTunnelManagers(QString storePath, TunnelEndpoint endpoint, Clock& clock)
    : store_(std::move(storePath), clock)
    , client_(std::make_unique<TunnelClient>(std::move(endpoint), clock)) {
    try {
        noteStored(store_.load());
    } catch (const VpnError&) {
        // Nothing counts as stored until the store can be read; loading reports the failure.
    }
}

LinuxTunnelManagers::~LinuxTunnelManagers() = default;

QCoro::Task<QList<TunnelProviderManager>> LinuxTunnelManagers::loadAll() {
    // Attached first, so the statuses the caller reads next are the tunnel's.
    co_await client_->attach();
    auto managers = store_.load();
    noteStored(managers);
    std::transform(managers.begin(), managers.end(), managers.begin(),
                   [](TunnelProviderManager manager) { return asReloaded(std::move(manager)); });
    co_return managers;
}

QCoro::Task<QUuid> LinuxTunnelManagers::save(TunnelProviderManager manager) {
    QUuid identifier;
    QList<TunnelProviderManager> saved;
    store_.update([&](QList<TunnelProviderManager>& managers) {
        identifier = applySave(managers, std::move(manager));
        saved = managers;
    });
    noteStored(saved);
    co_return identifier;
}

QCoro::Task<TunnelProviderManager> LinuxTunnelManagers::load(QUuid identifier) {
    co_await client_->attach();
    const auto managers = store_.load();
    noteStored(managers);
    const auto found = std::find_if(managers.begin(), managers.end(),
                                    [&](const auto& manager) { return manager.identifier == identifier; });
    if (found == managers.end())
        throw VpnError(VpnErrorKind::configurationInvalid);
    co_return asReloaded(*found);
}

QCoro::Task<> LinuxTunnelManagers::remove(QUuid identifier) {
    QList<TunnelProviderManager> remaining;
    store_.update([&](QList<TunnelProviderManager>& managers) {
        managers.removeIf([&](const auto& manager) { return manager.identifier == identifier; });
        remaining = managers;
    });
    connection(identifier).stopTunnel();
    noteStored(remaining);
    co_return;
}

VpnConnection& LinuxTunnelManagers::connection(const QUuid& identifier) {
    auto& connection = connections_[identifier];
    if (!connection)
        connection =
            std::make_unique<LinuxVpnConnection>(identifier, stored_.contains(identifier), *client_, store_);
    return *connection;
}

std::optional<QUuid> LinuxTunnelManagers::liveConfiguration() const {
    const auto& state = client_->state();
    if (state.configuration.isNull() || !isLive(state.status))
        return std::nullopt;
    return state.configuration;
}

void LinuxTunnelManagers::noteStored(const QList<TunnelProviderManager>& managers) {
    stored_.clear();
    for (const auto& manager : managers)
        stored_.insert(manager.identifier);
    for (const auto& [identifier, connection] : connections_)
        connection->setStored(stored_.contains(identifier));
}

} // namespace tessaron
