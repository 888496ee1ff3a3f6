#include "screens/accessible_traits.hpp"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QVariant>

#include <mutex>

namespace tessaron {

namespace {

constexpr const char* traitsProperty = "tessaronAccessibleTraits";

QAccessible::Role roleOf(const QWidget* widget) {
    if (accessibleTraits(widget).heading)
        return QAccessible::Heading;
    return qobject_cast<const QAbstractButton*>(widget) ? QAccessible::Button : QAccessible::Client;
}

class TraitAccessible final : public QAccessibleWidget {
public:
    explicit TraitAccessible(QWidget* widget)
        : QAccessibleWidget(widget, roleOf(widget)) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        const auto traits = accessibleTraits(widget());
        state.selected = state.selected || traits.selected;
        state.animated = state.animated || traits.animated;
        state.invisible = state.invisible || traits.invisible;
        state.modal = state.modal || traits.modal;
        return state;
    }
};

QAccessibleInterface* traitFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(traitsProperty).isValid())
        return new TraitAccessible(widget);
    return nullptr;
}

} // namespace

void setAccessibleTraits(QWidget* widget, AccessibleTraits traits) {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(traitFactory); });
    const int bits = (traits.selected ? 1 : 0) | (traits.animated ? 2 : 0) | (traits.invisible ? 4 : 0) |
                     (traits.modal ? 8 : 0) | (traits.heading ? 16 : 0);
    widget->setProperty(traitsProperty, bits);
}

AccessibleTraits accessibleTraits(const QWidget* widget) {
    const int bits = widget->property(traitsProperty).toInt();
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0, (bits & 16) != 0};
}

} // namespace tessaron
