#include "platform/reduce_motion_observer.hpp"

#include "platform/dbus_variant_call.hpp"

#include <QDBusArgument>
#include <QDBusMessage>

namespace tessaron {

namespace {

const QString portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString group = QStringLiteral("org.gnome.desktop.interface");
const QString key = QStringLiteral("enable-animations");

} // namespace

ReduceMotionObserver::ReduceMotionObserver(QDBusConnection sessionBus, QObject* parent)
    : QObject(parent)
    , bus_(std::move(sessionBus)) {
    if (!bus_.isConnected())
        return;
    bus_.connect(portal, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                 SLOT(settingChanged(QString, QString, QDBusVariant)));
    read();
}

std::optional<bool> ReduceMotionObserver::animationsEnabled(const QVariant& value) {
    QVariant inner = value;
    for (int depth = 0; depth < 4; ++depth) {
        if (inner.canConvert<QDBusVariant>() && inner.userType() == qMetaTypeId<QDBusVariant>())
            inner = qvariant_cast<QDBusVariant>(inner).variant();
        else if (inner.userType() == qMetaTypeId<QDBusArgument>())
            inner = qvariant_cast<QDBusArgument>(inner).asVariant();
        else
            break;
    }
    if (inner.typeId() != QMetaType::Bool)
        return std::nullopt;
    return inner.toBool();
}

void ReduceMotionObserver::read() {
    auto request =
        QDBusMessage::createMethodCall(portal, portalPath, settingsInterface, QStringLiteral("Read"));
    request << group << key;
    callForVariant(bus_, request, this, [this](const QVariant& value) { assign(value); });
}

void ReduceMotionObserver::settingChanged(const QString& changedGroup, const QString& changedKey,
                                          const QDBusVariant& value) {
    if (changedGroup == group && changedKey == key)
        assign(value.variant());
}

void ReduceMotionObserver::assign(const QVariant& value) {
    const auto enabled = animationsEnabled(value);
    const bool reduce = enabled.has_value() && !*enabled;
    if (reduce == reduceMotion_)
        return;
    reduceMotion_ = reduce;
    Q_EMIT reduceMotionChanged(reduce);
}

} // namespace tessaron
