#pragma once

#include "platform/tunnel_provider_manager.hpp"
#include "platform/vpn_connection.hpp"

#include <QList>
#include <QUuid>

#include <optional>

#include <qcoro/qcorotask.h>

namespace tessaron {

// The system's store of this application's VPN configurations and their connections. Every operation
// throws VpnError when the store cannot be read or written.
class TunnelManagers {
public:
    virtual ~TunnelManagers() = default;

    // Every stored configuration, in the order they were first saved, as loading hands them back (see
    // asReloaded). Statuses read from their connections afterwards are current.
    virtual QCoro::Task<QList<TunnelProviderManager>> loadAll() = 0;
    // Stores the manager as applySave() describes and returns the identifier it is stored under.
    virtual QCoro::Task<QUuid> save(TunnelProviderManager manager) = 0;
    // The manager as stored now; VpnError configurationInvalid when it is not stored.
    virtual QCoro::Task<TunnelProviderManager> load(QUuid identifier) = 0;
    // Removes the configuration and stops its tunnel; nothing happens when it is not stored.
    virtual QCoro::Task<> remove(QUuid identifier) = 0;

    // The connection of a configuration: the same object for the same identifier, for as long as this
    // object lives. A null or unknown identifier gives a connection whose status is invalid.
    virtual VpnConnection& connection(const QUuid& identifier) = 0;

    // The configuration whose tunnel is up or on its way, whether or not a stored configuration still
    // describes it: a tunnel can outlive the file that held its configuration. Current after loadAll().
    virtual std::optional<QUuid> liveConfiguration() const = 0;
};

} // namespace tessaron
