#pragma once

#include "platform/provider_configuration.hpp"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

namespace tessaron {

// A rule that tells the system when to bring the tunnel up by itself. The application only ever writes
// one kind: connect, on any kind of network interface.
struct OnDemandRule {
    enum class Action { connect };
    enum class InterfaceTypeMatch { any };

    Action action = Action::connect;
    InterfaceTypeMatch interfaceTypeMatch = InterfaceTypeMatch::any;

    bool operator==(const OnDemandRule&) const = default;
};

// How the system reaches a packet-tunnel provider: which provider, where its server is, the Keychain
// item that holds its secret, how traffic is routed, and the provider's own settings.
struct TunnelProviderProtocol {
    std::optional<QString> providerBundleIdentifier;
    std::optional<QString> serverAddress;
    // The persistent reference of a Keychain item; the provider resolves it itself.
    std::optional<QByteArray> passwordReference;
    bool includeAllNetworks = false;
    bool enforceRoutes = false;
    bool excludeLocalNetworks = false;
    std::optional<ProviderConfiguration> providerConfiguration;

    bool operator==(const TunnelProviderProtocol&) const = default;

    QJsonObject toJson() const;
    static std::optional<TunnelProviderProtocol> fromJson(const QJsonObject& object);
};

// A protocol that the system carries out itself instead of a provider. The application never writes
// one; a configuration may still hold one.
struct BuiltInVpnProtocol {
    QString kind;
    std::optional<QString> serverAddress;

    bool operator==(const BuiltInVpnProtocol&) const = default;
};

// No protocol at all, a tunnel provider, or a built-in kind.
using VpnProtocolConfiguration = std::variant<std::monostate, TunnelProviderProtocol, BuiltInVpnProtocol>;

// One VPN configuration of this application, as the system keeps it.
struct TunnelProviderManager {
    // Null until the manager is first saved; stable from then on.
    QUuid identifier;
    QString localizedDescription;
    bool enabled = false;
    bool onDemandEnabled = false;
    QList<OnDemandRule> onDemandRules;
    VpnProtocolConfiguration protocolConfiguration;

    // The protocol when it is a tunnel provider protocol.
    const TunnelProviderProtocol* tunnelProvider() const {
        return std::get_if<TunnelProviderProtocol>(&protocolConfiguration);
    }
    TunnelProviderProtocol* tunnelProvider() {
        return std::get_if<TunnelProviderProtocol>(&protocolConfiguration);
    }

    bool operator==(const TunnelProviderManager&) const = default;

    QJsonObject toJson() const;
    static std::optional<TunnelProviderManager> fromJson(const QJsonObject& object);
};

// A save as the system applies it to the stored managers: a manager without an identifier is added under
// a new one, any other replaces the manager of its identifier (or is added again when that one is gone);
// an enabled manager disables every other one, because only one VPN configuration can be enabled at a
// time. Returns the identifier it is stored under.
QUuid applySave(QList<TunnelProviderManager>& stored, TunnelProviderManager manager);

// A stored manager as loading hands it back: the integers of its provider configuration have become
// number objects.
TunnelProviderManager asReloaded(TunnelProviderManager manager);

} // namespace tessaron
