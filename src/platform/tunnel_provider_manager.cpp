#include "platform/tunnel_provider_manager.hpp"

#include <QJsonArray>

#include <algorithm>

namespace tessaron {

namespace {

const QString kindField = QStringLiteral("kind");
const QString tunnelProviderKind = QStringLiteral("tunnelProvider");

std::optional<QString> optionalText(const QJsonObject& object, const QString& key) {
    const auto value = object.value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

void insertText(QJsonObject& object, const QString& key, const std::optional<QString>& text) {
    if (text)
        object.insert(key, *text);
}

// Absent and false read the same, so only a value of another type is malformed.
std::optional<bool> flag(const QJsonObject& object, const QString& key) {
    const auto value = object.value(key);
    if (value.isUndefined())
        return false;
    return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
}

QJsonArray encodeRules(const QList<OnDemandRule>& rules) {
    QJsonArray encoded;
    for (qsizetype i = 0; i < rules.size(); ++i)
        encoded.append(QJsonObject{{QStringLiteral("action"), QStringLiteral("connect")},
                                   {QStringLiteral("interfaceTypeMatch"), QStringLiteral("any")}});
    return encoded;
}

std::optional<QList<OnDemandRule>> decodeRules(const QJsonValue& value) {
    QList<OnDemandRule> rules;
    for (const auto& element : value.toArray()) {
        const auto rule = element.toObject();
        if (rule.value(QStringLiteral("action")) != QStringLiteral("connect") ||
            rule.value(QStringLiteral("interfaceTypeMatch")) != QStringLiteral("any"))
            return std::nullopt;
        rules.append(OnDemandRule{});
    }
    return rules;
}

QJsonValue encodeProtocol(const VpnProtocolConfiguration& configuration) {
    if (const auto* provider = std::get_if<TunnelProviderProtocol>(&configuration)) {
        auto object = provider->toJson();
        object.insert(kindField, tunnelProviderKind);
        return object;
    }
    if (const auto* builtIn = std::get_if<BuiltInVpnProtocol>(&configuration)) {
        QJsonObject object{{kindField, builtIn->kind}};
        insertText(object, QStringLiteral("serverAddress"), builtIn->serverAddress);
        return object;
    }
    return QJsonValue::Null;
}

std::optional<VpnProtocolConfiguration> decodeProtocol(const QJsonValue& value) {
    if (value.isNull() || value.isUndefined())
        return VpnProtocolConfiguration{};
    const auto object = value.toObject();
    const auto kind = object.value(kindField).toString();
    if (kind.isEmpty())
        return std::nullopt;
    if (kind == tunnelProviderKind) {
        auto provider = TunnelProviderProtocol::fromJson(object);
        return provider ? std::optional<VpnProtocolConfiguration>(*provider) : std::nullopt;
    }
    return VpnProtocolConfiguration(
        BuiltInVpnProtocol{kind, optionalText(object, QStringLiteral("serverAddress"))});
}

} // namespace

QJsonObject TunnelProviderProtocol::toJson() const {
    QJsonObject object{
        {QStringLiteral("includeAllNetworks"), includeAllNetworks},
        {QStringLiteral("enforceRoutes"), enforceRoutes},
        {QStringLiteral("excludeLocalNetworks"), excludeLocalNetworks},
    };
    insertText(object, QStringLiteral("providerBundleIdentifier"), providerBundleIdentifier);
    insertText(object, QStringLiteral("serverAddress"), serverAddress);
    if (passwordReference)
        object.insert(QStringLiteral("passwordReference"),
                      QString::fromLatin1(passwordReference->toBase64()));
    if (providerConfiguration)
        object.insert(QStringLiteral("providerConfiguration"), tessaron::toJson(*providerConfiguration));
    return object;
}

std::optional<TunnelProviderProtocol> TunnelProviderProtocol::fromJson(const QJsonObject& object) {
    TunnelProviderProtocol protocol;
    protocol.providerBundleIdentifier = optionalText(object, QStringLiteral("providerBundleIdentifier"));
    protocol.serverAddress = optionalText(object, QStringLiteral("serverAddress"));
    if (const auto reference = object.value(QStringLiteral("passwordReference")); !reference.isUndefined()) {
        auto bytes = QByteArray::fromBase64Encoding(reference.toString().toLatin1(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
        if (!reference.isString() || !bytes)
            return std::nullopt;
        protocol.passwordReference = *bytes;
    }
    const auto includeAll = flag(object, QStringLiteral("includeAllNetworks"));
    const auto enforce = flag(object, QStringLiteral("enforceRoutes"));
    const auto excludeLocal = flag(object, QStringLiteral("excludeLocalNetworks"));
    if (!includeAll || !enforce || !excludeLocal)
        return std::nullopt;
    protocol.includeAllNetworks = *includeAll;
    protocol.enforceRoutes = *enforce;
    protocol.excludeLocalNetworks = *excludeLocal;
    if (const auto stored = object.value(QStringLiteral("providerConfiguration")); !stored.isUndefined()) {
        protocol.providerConfiguration = providerConfigurationFromJson(stored.toObject());
        if (!stored.isObject() || !protocol.providerConfiguration)
            return std::nullopt;
    }
    return protocol;
}

QJsonObject TunnelProviderManager::toJson() const {
    return {
        {QStringLiteral("identifier"), identifier.toString(QUuid::WithoutBraces)},
        {QStringLiteral("localizedDescription"), localizedDescription},
        {QStringLiteral("enabled"), enabled},
        {QStringLiteral("onDemandEnabled"), onDemandEnabled},
        {QStringLiteral("onDemandRules"), encodeRules(onDemandRules)},
        {QStringLiteral("protocolConfiguration"), encodeProtocol(protocolConfiguration)},
    };
}

std::optional<TunnelProviderManager> TunnelProviderManager::fromJson(const QJsonObject& object) {
    TunnelProviderManager manager;
    manager.identifier = QUuid::fromString(object.value(QStringLiteral("identifier")).toString());
    manager.localizedDescription = object.value(QStringLiteral("localizedDescription")).toString();
    const auto enabled = flag(object, QStringLiteral("enabled"));
    const auto onDemandEnabled = flag(object, QStringLiteral("onDemandEnabled"));
    auto rules = decodeRules(object.value(QStringLiteral("onDemandRules")));
    auto protocol = decodeProtocol(object.value(QStringLiteral("protocolConfiguration")));
    if (manager.identifier.isNull() || !enabled || !onDemandEnabled || !rules || !protocol)
        return std::nullopt;
    manager.enabled = *enabled;
    manager.onDemandEnabled = *onDemandEnabled;
    manager.onDemandRules = std::move(*rules);
    manager.protocolConfiguration = std::move(*protocol);
    return manager;
}

QUuid applySave(QList<TunnelProviderManager>& stored, TunnelProviderManager manager) {
    if (manager.identifier.isNull())
        manager.identifier = QUuid::createUuid();
    auto existing = std::find_if(stored.begin(), stored.end(), [&](const auto& candidate) {
        return candidate.identifier == manager.identifier;
    });
    if (manager.enabled) {
        for (auto& other : stored)
            other.enabled = false;
    }
    const auto identifier = manager.identifier;
    if (existing != stored.end())
        *existing = std::move(manager);
    else
        stored.append(std::move(manager));
    return identifier;
}

TunnelProviderManager asReloaded(TunnelProviderManager manager) {
    if (auto* provider = manager.tunnelProvider(); provider && provider->providerConfiguration)
        provider->providerConfiguration = asReloaded(*provider->providerConfiguration);
    return manager;
}

} // namespace tessaron
