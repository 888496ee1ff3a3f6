#include "platform/dbus_variant_call.hpp"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace tessaron {

void callForVariant(const QDBusConnection& bus, const QDBusMessage& request, QObject* context,
                    std::function<void(const QVariant&)> receive) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [receive = std::move(receive)](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<QDBusVariant> reply = *finished;
                         finished->deleteLater();
                         if (!reply.isError())
                             receive(reply.value().variant());
                     });
}

} // namespace tessaron
