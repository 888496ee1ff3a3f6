#include "session/tunnel_configuration.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/json_values.hpp"

namespace tessaron {

namespace {

const QString killSwitchKey = QStringLiteral("killSwitch");
const QString profileKey = QStringLiteral("profile");

bool isOwnTunnel(const TunnelProviderManager& manager) {
    const auto* provider = manager.tunnelProvider();
    return provider && provider->providerBundleIdentifier == TessaronIdentifiers::tunnelExtensionBundle;
}

std::optional<ProviderValue> configurationValue(const TunnelProviderManager& manager, const QString& key) {
    const auto* provider = manager.tunnelProvider();
    if (!provider || !provider->providerConfiguration)
        return std::nullopt;
    const auto found = provider->providerConfiguration->constFind(key);
    if (found == provider->providerConfiguration->constEnd())
        return std::nullopt;
    return *found;
}

std::optional<QString> configurationText(const TunnelProviderManager& manager, const QString& key) {
    const auto value = configurationValue(manager, key);
    return value ? value->textValue() : std::nullopt;
}

// The system hands integers back as number objects once it has stored them.
std::optional<qint64> configurationInteger(const TunnelProviderManager& manager, const QString& key) {
    const auto value = configurationValue(manager, key);
    if (!value)
        return std::nullopt;
    if (const auto integer = value->integerValue())
        return integer;
    if (const auto number = value->numberValue())
        return number->integerValue();
    return std::nullopt;
}

} // namespace

TunnelProviderProtocol tunnelProtocol(const TessaronProfileSummary& summary,
                                      const QByteArray& passwordReference, bool killSwitch,
                                      const std::optional<QByteArray>& profileJSON) {
    TunnelProviderProtocol protocol;
    protocol.providerBundleIdentifier = TessaronIdentifiers::tunnelExtensionBundle;
    protocol.serverAddress = summary.server;
    protocol.passwordReference = passwordReference;
    protocol.includeAllNetworks = true;
    protocol.enforceRoutes = true;
    protocol.excludeLocalNetworks = true;
    ProviderConfiguration configuration{
        {TessaronIdentifiers::providerProfileIDKey, ProviderValue::text(uuidText(summary.id))},
        {TessaronIdentifiers::providerNameKey, ProviderValue::text(summary.name)},
        {TessaronIdentifiers::providerVersionKey, ProviderValue::integer(summary.version)},
        {killSwitchKey, ProviderValue::boolean(killSwitch)},
        {TessaronTunnelRoutingContract::routingModeKey,
         ProviderValue::text(TessaronTunnelRoutingContract::smart)},
    };
    if (profileJSON)
        configuration.insert(profileKey, ProviderValue::data(*profileJSON));
    protocol.providerConfiguration = std::move(configuration);
    return protocol;
}

void applyOnDemandRules(TunnelProviderManager& manager, bool enabled) {
    manager.onDemandRules = enabled ? QList<OnDemandRule>{OnDemandRule{}} : QList<OnDemandRule>{};
    manager.onDemandEnabled = enabled;
}

void setKillSwitchOnManager(TunnelProviderManager& manager, bool enabled) {
    auto* provider = manager.tunnelProvider();
    if (!provider)
        return;
    auto configuration = provider->providerConfiguration.value_or(ProviderConfiguration{});
    configuration.insert(killSwitchKey, ProviderValue::boolean(enabled));
    provider->providerConfiguration = std::move(configuration);
}

QList<TunnelProviderManager>
TessaronManagerSelection::ownManagers(const QList<TunnelProviderManager>& managers) {
    QList<TunnelProviderManager> own;
    for (const auto& manager : managers) {
        if (isOwnTunnel(manager))
            own.append(manager);
    }
    return own;
}

std::optional<TunnelProviderManager>
TessaronManagerSelection::preferred(const QList<TunnelProviderManager>& managers,
                                    const std::optional<QUuid>& profileID) {
    const auto own = ownManagers(managers);
    if (own.isEmpty())
        return std::nullopt;
    if (profileID) {
        const auto wanted = uuidText(*profileID);
        for (const auto& manager : own) {
            if (configurationText(manager, TessaronIdentifiers::providerProfileIDKey) == wanted)
                return manager;
        }
    }
    for (const auto& manager : own) {
        if (manager.enabled)
            return manager;
    }
    return own.first();
}

std::optional<QString>
TessaronManagerSelection::profileID(const std::optional<TunnelProviderManager>& manager) {
    return manager ? configurationText(*manager, TessaronIdentifiers::providerProfileIDKey) : std::nullopt;
}

bool installedConfigurationMatches(const TunnelProviderManager& manager,
                                   const TessaronProfileSummary& summary) {
    const auto* provider = manager.tunnelProvider();
    return provider && provider->providerBundleIdentifier == TessaronIdentifiers::tunnelExtensionBundle &&
           provider->includeAllNetworks && provider->serverAddress == summary.server &&
           configurationText(manager, TessaronIdentifiers::providerProfileIDKey) == uuidText(summary.id) &&
           configurationText(manager, TessaronIdentifiers::providerNameKey) == summary.name &&
           configurationInteger(manager, TessaronIdentifiers::providerVersionKey) == summary.version;
}

std::optional<bool> installedKillSwitch(const TunnelProviderManager& manager) {
    const auto value = configurationValue(manager, killSwitchKey);
    return value ? value->booleanValue() : std::nullopt;
}

std::optional<QString> trimmedNonEmpty(const QString& text) {
    auto trimmed = text.trimmed();
    return trimmed.isEmpty() ? std::nullopt : std::optional(std::move(trimmed));
}

std::optional<QString> sharedRoutingLine(const Preferences& groupPreferences) {
    const auto line = groupPreferences.text(TessaronTunnelRoutingContract::sharedRoutingKey);
    return line ? trimmedNonEmpty(*line) : std::nullopt;
}

} // namespace tessaron
