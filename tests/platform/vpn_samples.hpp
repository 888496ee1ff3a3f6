#pragma once

#include "platform/tunnel_provider_manager.hpp"

namespace tessaron::testing {

// A manager as the application writes one, with a value of every type in its provider configuration.
inline TunnelProviderManager sampleManager(qint64 version = 3) {
    TunnelProviderProtocol protocol;
    protocol.providerBundleIdentifier = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
    protocol.serverAddress = QStringLiteral("zrh.example.net");
    protocol.passwordReference = QByteArray("ref\0\xff", 5);
    protocol.includeAllNetworks = true;
    protocol.enforceRoutes = true;
    protocol.excludeLocalNetworks = true;
    protocol.providerConfiguration = ProviderConfiguration{
        {QStringLiteral("profileID"),
         ProviderValue::text(QStringLiteral("6F1C2B4A-9D3E-4F5A-8B7C-1D2E3F4A5B6C"))},
        {QStringLiteral("name"), ProviderValue::text(QStringLiteral("Zürich"))},
        {QStringLiteral("version"), ProviderValue::integer(version)},
        {QStringLiteral("killSwitch"), ProviderValue::boolean(false)},
        {QStringLiteral("routingMode"), ProviderValue::text(QStringLiteral("smart"))},
        {QStringLiteral("profile"), ProviderValue::data(QByteArray("{\"transport\":\"tcp\"}"))},
    };
    TunnelProviderManager manager;
    manager.localizedDescription = QStringLiteral("Tessaron");
    manager.enabled = true;
    manager.onDemandEnabled = true;
    manager.onDemandRules = {OnDemandRule{}};
    manager.protocolConfiguration = protocol;
    return manager;
}

} // namespace tessaron::testing
