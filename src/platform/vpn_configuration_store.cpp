#include "platform/vpn_configuration_store.hpp"

#include "platform/private_files.hpp"
#include "platform/system_log.hpp"
#include "platform/vpn_error.hpp"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QStandardPaths>

#include <chrono>

namespace tessaron {

namespace {

const QString configurationsField = QStringLiteral("configurations");

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("vpn-configuration"));
    return log;
}

std::optional<QList<TunnelProviderManager>> decode(const QByteArray& bytes) {
    const auto document = QJsonDocument::fromJson(bytes);
    const auto stored = document.object().value(configurationsField);
    if (!document.isObject() || !stored.isArray())
        return std::nullopt;
    QList<TunnelProviderManager> managers;
    for (const auto& element : stored.toArray()) {
        auto manager = TunnelProviderManager::fromJson(element.toObject());
        if (!manager)
            return std::nullopt;
        managers.append(std::move(*manager));
    }
    return managers;
}

QByteArray encode(const QList<TunnelProviderManager>& managers) {
    QJsonArray stored;
    for (const auto& manager : managers)
        stored.append(manager.toJson());
    return QJsonDocument(QJsonObject{{configurationsField, stored}}).toJson();
}

} // namespace

VpnConfigurationStore::VpnConfigurationStore(QString path, const Clock& clock)
    : path_(std::move(path))
    , clock_(clock) {
    tightenPrivateFile(path_);
}

QString VpnConfigurationStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tessaron/vpn-configurations.json");
}

QList<TunnelProviderManager> VpnConfigurationStore::load() const {
    QFile file(path_);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        log().error(QStringLiteral("cannot read the VPN configurations"));
        throw VpnError(VpnErrorKind::configurationReadWriteFailed);
    }
    auto managers = decode(file.readAll());
    file.close();
    if (!managers) {
        keepDamagedFileAside();
        return {};
    }
    return *managers;
}

void VpnConfigurationStore::update(const std::function<void(QList<TunnelProviderManager>&)>& change) {
    makePrivateFolder(QFileInfo(path_).absolutePath());
    QLockFile lock(path_ + QStringLiteral(".lock"));
    // A writer that holds the lock this long is stuck; writing anyway beats losing the change.
    if (!lock.tryLock(std::chrono::seconds(5)))
        log().error(QStringLiteral("writing the VPN configurations without their lock"));
    auto managers = load();
    change(managers);
    if (!writePrivateFile(path_, encode(managers))) {
        log().error(QStringLiteral("cannot write the VPN configurations"));
        throw VpnError(VpnErrorKind::configurationReadWriteFailed);
    }
}

void VpnConfigurationStore::keepDamagedFileAside() const {
    if (const auto aside = moveAside(path_, clock_))
        log().error(
            QStringLiteral("kept damaged VPN configurations aside as %1").arg(QFileInfo(*aside).fileName()));
    else
        log().error(QStringLiteral("cannot move the damaged VPN configurations aside"));
}

} // namespace tessaron
