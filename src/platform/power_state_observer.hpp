#pragma once

#include "platform/power_state.hpp"

#include <QDBusConnection>
#include <QString>

namespace tessaron {

// Whether the host saves power: the power-profiles daemon's "power-saver" profile. Without the daemon it
// stays false. One instance serves the process.
class PowerStateObserver final : public PowerState {
    Q_OBJECT
public:
    // Follows the daemon on `systemBus`; the first reading arrives asynchronously.
    explicit PowerStateObserver(QDBusConnection systemBus, QObject* parent = nullptr);

    // Created on first use, on the system bus, and kept for the rest of the process.
    static PowerStateObserver& shared();

    bool lowPower() const override { return lowPower_; }
    static bool isPowerSaver(const QString& activeProfile);

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
