#pragma once

#include "platform/vpn_connection.hpp"

#include <QUuid>

namespace tessaron {

class TunnelClient;
class VpnConfigurationStore;

// The connection of one stored configuration, through the tunnel process. Only one configuration's
// tunnel runs at a time: the others' connections read disconnected.
class LinuxVpnConnection final : public VpnConnection {
    Q_OBJECT
public:
    // `stored` tells whether the configuration is stored now; LinuxTunnelManagers keeps it current.
    LinuxVpnConnection(QUuid identifier, bool stored, TunnelClient& client,
                       const VpnConfigurationStore& store, QObject* parent = nullptr);

    void setStored(bool stored);

    VpnStatus status() const override;
    QCoro::Task<> startTunnel() override;
    void stopTunnel() override;
    QCoro::Task<std::optional<PlatformError>> lastDisconnectError() override;
    QCoro::Task<std::optional<QByteArray>> sendProviderMessage(QByteArray message) override;

private:
    bool runsHere() const;
    void announceStatus();

    QUuid identifier_;
    bool stored_;
    TunnelClient& client_;
    const VpnConfigurationStore& store_;
    VpnStatus announced_;
};

} // namespace tessaron
