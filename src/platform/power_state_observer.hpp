#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace tessaron {

// Whether the host saves power: the power-profiles daemon's "power-saver" profile. Without the daemon it
// stays false. One instance serves the process.
class PowerStateObserver final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool lowPower READ lowPower NOTIFY lowPowerChanged)
public:
    // Follows the daemon on `systemBus`; the first reading arrives asynchronously.
    explicit PowerStateObserver(QDBusConnection systemBus, QObject* parent = nullptr);

    // Created on first use, on the system bus, and kept for the rest of the process.
    static PowerStateObserver& shared();

    bool lowPower() const { return lowPower_; }
    static bool isPowerSaver(const QString& activeProfile);

Q_SIGNALS:
    void lowPowerChanged(bool lowPower);

private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

private:
    void readActiveProfile();
    void assign(bool lowPower);

    QDBusConnection bus_;
    bool lowPower_ = false;
};

} // namespace tessaron
