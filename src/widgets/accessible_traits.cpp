#include "widgets/accessible_traits.hpp"

#include "widgets/accessible_interface.hpp"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>

namespace tessaron {

namespace {

constexpr const char* traitsProperty = "tessaronAccessibleTraits";
constexpr const char* valueProperty = "tessaronAccessibleValue";

QAccessible::Role roleOf(const QWidget* widget) {
    const auto traits = accessibleTraits(widget);
    if (traits.heading)
        return QAccessible::Heading;
    if (traits.window)
        return QAccessible::Window;
    if (qobject_cast<const QLabel*>(widget) || traits.combined)
        return QAccessible::StaticText;
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
        state.pressed = button() && button()->isDown();
        return state;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return widget()->property(valueProperty).toString();
        const QString text = QAccessibleWidget::text(kind);
        // A line of text is named by its words, as Qt's own interface for it does.
        const auto* label = qobject_cast<const QLabel*>(widget());
        if (kind == QAccessible::Name && text.isEmpty() && label)
            return label->text();
        if (kind == QAccessible::Name && text.isEmpty() && widget()->isWindow())
            return widget()->windowTitle();
        return text;
    }

    // A button's labels and marks, and a combined element's parts, are read as its name, not one by one. A
    // shown modal child hides its siblings beneath it.
    int childCount() const override {
        if (single())
            return 0;
        const auto covering = coveringChildren();
        return covering.isEmpty() ? QAccessibleWidget::childCount() : int(covering.size());
    }
    QAccessibleInterface* child(int index) const override {
        if (single())
            return nullptr;
        const auto covering = coveringChildren();
        if (covering.isEmpty())
            return QAccessibleWidget::child(index);
        return index >= 0 && index < covering.size() ? QAccessible::queryAccessibleInterface(covering[index])
                                                     : nullptr;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        if (single())
            return nullptr;
        const auto covering = coveringChildren();
        if (covering.isEmpty())
            return QAccessibleWidget::childAt(x, y);
        for (QWidget* cover : covering)
            if (QRect(cover->mapToGlobal(QPoint()), cover->size()).contains(x, y))
                return QAccessible::queryAccessibleInterface(cover);
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (single())
            return -1;
        const auto covering = coveringChildren();
        if (covering.isEmpty())
            return QAccessibleWidget::indexOfChild(child);
        return int(covering.indexOf(child ? qobject_cast<QWidget*>(child->object()) : nullptr));
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (button() && button()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& name) override {
        if (name == pressAction() && button() && button()->isEnabled())
            button()->click();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QAbstractButton* button() const { return qobject_cast<QAbstractButton*>(widget()); }
    bool single() const { return button() || accessibleTraits(widget()).combined; }
    QList<QWidget*> coveringChildren() const {
        QList<QWidget*> covering;
        for (QWidget* child : widget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (!child->isWindow() && child->isVisible() && accessibleTraits(child).modal)
                covering.append(child);
        return covering;
    }
};

QAccessibleInterface* traitFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && (widget->property(traitsProperty).isValid() || widget->property(valueProperty).isValid()))
        return new TraitAccessible(widget);
    return nullptr;
}

// One made before the traits were set cannot report them.
void useTraitInterface(QWidget* widget) {
    useAccessibleInterface<TraitAccessible>(widget, traitFactory);
}

// Makes the interface the first time and tells assistive technologies which states changed.
void announceTraits(QWidget* widget, const QVariant& previous, const AccessibleTraits& before) {
    if (!previous.isValid())
        useTraitInterface(widget);
    const AccessibleTraits after = accessibleTraits(widget);
    QAccessible::State changed;
    changed.selected = before.selected != after.selected;
    changed.animated = before.animated != after.animated;
    changed.invisible = before.invisible != after.invisible;
    changed.modal = before.modal != after.modal;
    if (!(changed.selected || changed.animated || changed.invisible || changed.modal))
        return;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}

} // namespace

void setAccessibleTraits(QWidget* widget, AccessibleTraits traits) {
    const QVariant previous = widget->property(traitsProperty);
    const AccessibleTraits before = accessibleTraits(widget);
    const int bits = (traits.selected ? 1 : 0) | (traits.animated ? 2 : 0) | (traits.invisible ? 4 : 0) |
                     (traits.modal ? 8 : 0) | (traits.heading ? 16 : 0) | (traits.window ? 32 : 0) |
                     (traits.combined ? 64 : 0);
    widget->setProperty(traitsProperty, bits);
    announceTraits(widget, previous, before);
}

AccessibleTraits accessibleTraits(const QWidget* widget) {
    const int bits = widget->property(traitsProperty).toInt();
    return {(bits & 1) != 0,  (bits & 2) != 0,  (bits & 4) != 0, (bits & 8) != 0,
            (bits & 16) != 0, (bits & 32) != 0, (bits & 64) != 0};
}

void letModalChildrenCover(QWidget* host) {
    // Only the traits' own interface knows of covering children.
    if (!host->property(traitsProperty).isValid())
        setAccessibleTraits(host, {.window = host->isWindow()});
}

void setAccessibleValue(QWidget* widget, const QString& value) {
    const QVariant before = widget->property(valueProperty);
    if (before.isValid() && before.toString() == value)
        return;
    widget->setProperty(valueProperty, value);
    if (!before.isValid())
        useTraitInterface(widget);
    QAccessibleValueChangeEvent event(widget, value);
    QAccessible::updateAccessibility(&event);
}

} // namespace tessaron
