#pragma once

#include <QAccessible>
#include <QWidget>

#include <mutex>

namespace tessaron {

// Qt makes a widget's interface on the first event about it (enabling or naming it is one) and keeps it: one
// made before `factory` was installed, or before the widget could be told apart, is Qt's own and is made
// again. `factory` makes the `Interface`s and is installed once.
template <typename Interface>
void useAccessibleInterface(QWidget* widget, QAccessible::InterfaceFactory factory) {
    static std::once_flag installed;
    std::call_once(installed, [factory] { QAccessible::installFactory(factory); });
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget);
    if (made && !dynamic_cast<Interface*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace tessaron
