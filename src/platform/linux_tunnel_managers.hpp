#pragma once

#include "platform/tunnel_endpoint.hpp"
#include "platform/tunnel_managers.hpp"
#include "platform/vpn_configuration_store.hpp"

#include <QSet>

#include <map>
#include <memory>

namespace tessaron {

class Clock;
class LinuxVpnConnection;
class TunnelClient;

// The VPN configurations in this user's JSON file, and their connections through the tunnel process.
// The tunnel outlives the application: a new instance finds it running, with its status.
class LinuxTunnelManagers final : public TunnelManagers {
public:
    LinuxTunnelManagers(QString storePath, TunnelEndpoint endpoint, Clock& clock);
    ~LinuxTunnelManagers() override;

    QCoro::Task<QList<TunnelProviderManager>> loadAll() override;
    QCoro::Task<QUuid> save(TunnelProviderManager manager) override;
    QCoro::Task<TunnelProviderManager> load(QUuid identifier) override;
    QCoro::Task<> remove(QUuid identifier) override;
    VpnConnection& connection(const QUuid& identifier) override;
    std::optional<QUuid> liveConfiguration() const override;

private:
    // Keeps every connection's idea of whether its configuration is stored current.
    void noteStored(const QList<TunnelProviderManager>& managers);

    VpnConfigurationStore store_;
    std::unique_ptr<TunnelClient> client_;
    // Declared after the client they watch, so they go first.
    std::map<QUuid, std::unique_ptr<LinuxVpnConnection>> connections_;
    QSet<QUuid> stored_;
};

} // namespace tessaron
