#pragma once

#include "platform/host_activity_source.hpp"

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QVariantMap>

namespace tessaron {

// Host activity over D-Bus: sleep and wake from logind's PrepareForSleep, the screens' sleep and wake
// from the screen saver's ActiveChanged (the freedesktop and the GNOME service), the screen lock from the
// user session's Lock and Unlock, and the session's switch away and back from its Active property.
// Services that are missing never report; only the service's current owner is listened to.
class LinuxHostActivitySource final : public QObject, public HostActivitySource {
    Q_OBJECT
public:
    // logind lives on the system bus, the screen saver on the session bus.
    LinuxHostActivitySource(QDBusConnection systemBus, QDBusConnection sessionBus, QObject* parent = nullptr);
    LinuxHostActivitySource(const LinuxHostActivitySource&) = delete;
    LinuxHostActivitySource& operator=(const LinuxHostActivitySource&) = delete;

    std::unique_ptr<Observation> observe(Observer observer) override;

private Q_SLOTS:
    void onPrepareForSleep(bool start);
    void onScreenSaverActiveChanged(bool active);
    void onSessionLock();
    void onSessionUnlock();
    void onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated);

private:
    class Registration;

    void findUserSession();
    void watchUserSession(const QString& sessionPath);
    void publish(Event event);

    QDBusConnection systemBus_;
    QDBusConnection sessionBus_;
    QMap<quint64, Observer> observers_;
    quint64 nextObserverId_ = 1;
};

} // namespace tessaron
