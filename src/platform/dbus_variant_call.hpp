#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>

namespace tessaron {

// Sends `request` without waiting; `receive` gets the variant a successful answer carries, while `context`
// lives. A failed call is dropped: a missing service leaves the caller's default in place.
void callForVariant(const QDBusConnection& bus, const QDBusMessage& request, QObject* context,
                    std::function<void(const QVariant&)> receive);

} // namespace tessaron
