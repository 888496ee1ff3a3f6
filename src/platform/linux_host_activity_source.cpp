#include "platform/linux_host_activity_source.hpp"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>

namespace tessaron {

namespace {

const QString loginService = QStringLiteral("org.freedesktop.login1");
const QString loginManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString loginManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString loginSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

struct ScreenSaverService {
    QString service;
    QString path;
};

const ScreenSaverService screenSavers[] = {
    {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver")},
    {QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver")},
};

} // namespace

// Harmless when it outlives its source.
class LinuxHostActivitySource::Registration final : public Observation {
public:
    Registration(LinuxHostActivitySource* source, quint64 id)
        : source_(source)
        , id_(id) {}
    ~Registration() override {
        if (source_)
            source_->observers_.remove(id_);
    }

private:
    QPointer<LinuxHostActivitySource> source_;
    quint64 id_;
};

LinuxHostActivitySource::LinuxHostActivitySource(QDBusConnection systemBus, QDBusConnection sessionBus,
                                                 QObject* parent)
    : QObject(parent)
    , systemBus_(std::move(systemBus))
    , sessionBus_(std::move(sessionBus)) {
    systemBus_.connect(loginService, loginManagerPath, loginManagerInterface,
                       QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    for (const auto& saver : screenSavers)
        sessionBus_.connect(saver.service, saver.path, saver.service, QStringLiteral("ActiveChanged"), this,
                            SLOT(onScreenSaverActiveChanged(bool)));
    findUserSession();
}

std::unique_ptr<HostActivitySource::Observation> LinuxHostActivitySource::observe(Observer observer) {
    const auto id = nextObserverId_++;
    observers_.insert(id, std::move(observer));
    return std::make_unique<Registration>(this, id);
}

// "auto" names the session this process belongs to, or else the user's graphical session.
void LinuxHostActivitySource::findUserSession() {
    auto request = QDBusMessage::createMethodCall(loginService, loginManagerPath, loginManagerInterface,
                                                  QStringLiteral("GetSession"));
    request << QStringLiteral("auto");
    auto* watcher = new QDBusPendingCallWatcher(systemBus_.asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isValid())
            watchUserSession(reply.value().path());
        finished->deleteLater();
    });
}

void LinuxHostActivitySource::watchUserSession(const QString& sessionPath) {
    systemBus_.connect(loginService, sessionPath, loginSessionInterface, QStringLiteral("Lock"), this,
                       SLOT(onSessionLock()));
    systemBus_.connect(loginService, sessionPath, loginSessionInterface, QStringLiteral("Unlock"), this,
                       SLOT(onSessionUnlock()));
    systemBus_.connect(loginService, sessionPath, propertiesInterface, QStringLiteral("PropertiesChanged"),
                       this, SLOT(onSessionPropertiesChanged(QString, QVariantMap, QStringList)));
}

void LinuxHostActivitySource::onPrepareForSleep(bool start) {
    publish(start ? Event::systemWillSleep : Event::systemDidWake);
}

void LinuxHostActivitySource::onScreenSaverActiveChanged(bool active) {
    publish(active ? Event::screensDidSleep : Event::screensDidWake);
}

void LinuxHostActivitySource::onSessionLock() {
    publish(Event::screenLocked);
}

void LinuxHostActivitySource::onSessionUnlock() {
    publish(Event::screenUnlocked);
}

void LinuxHostActivitySource::onSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                         const QStringList&) {
    const auto active = changed.value(QStringLiteral("Active"));
    if (interface != loginSessionInterface || active.typeId() != QMetaType::Bool)
        return;
    publish(active.toBool() ? Event::sessionBecameActive : Event::sessionResignedActive);
}

// An observer may end its own observation while it is told.
void LinuxHostActivitySource::publish(Event event) {
    const auto observers = observers_;
    for (auto it = observers.begin(); it != observers.end(); ++it) {
        if (observers_.contains(it.key()))
            it.value()(event);
    }
}

} // namespace tessaron
