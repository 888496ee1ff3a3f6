#include "platform/power_state_observer.hpp"

#include "platform/dbus_variant_call.hpp"

#include <QCoreApplication>
#include <QDBusMessage>

namespace tessaron {

namespace {

const QString service = QStringLiteral("net.hadess.PowerProfiles");
const QString path = QStringLiteral("/net/hadess/PowerProfiles");
const QString interfaceName = QStringLiteral("net.hadess.PowerProfiles");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString activeProfile = QStringLiteral("ActiveProfile");

} // namespace

PowerStateObserver::PowerStateObserver(QDBusConnection systemBus, QObject* parent)
    : PowerState(parent)
    , bus_(std::move(systemBus)) {
    if (!bus_.isConnected())
        return;
    bus_.connect(service, path, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                 SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    readActiveProfile();
}

PowerStateObserver& PowerStateObserver::shared() {
    static PowerStateObserver* instance = new PowerStateObserver(QDBusConnection::systemBus(), qApp);
    return *instance;
}

bool PowerStateObserver::isPowerSaver(const QString& profile) {
    return profile == QStringLiteral("power-saver");
}

void PowerStateObserver::readActiveProfile() {
    auto request = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
    request << interfaceName << activeProfile;
    // A missing daemon leaves the host in normal power.
    callForVariant(bus_, request, this,
                   [this](const QVariant& profile) { assign(isPowerSaver(profile.toString())); });
}

void PowerStateObserver::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                           const QStringList& invalidated) {
    if (interface != interfaceName)
        return;
    if (changed.contains(activeProfile))
        assign(isPowerSaver(changed.value(activeProfile).toString()));
    else if (invalidated.contains(activeProfile))
        readActiveProfile();
}

void PowerStateObserver::assign(bool lowPower) {
    if (lowPower_ == lowPower)
        return;
    lowPower_ = lowPower;
    Q_EMIT lowPowerChanged(lowPower_);
}

} // namespace tessaron
