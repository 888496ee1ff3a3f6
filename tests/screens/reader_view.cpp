#include "screens/reader_view.hpp"

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace tessaron::testing {

namespace {

bool isContainer(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Client:
    case QAccessible::Pane:
    case QAccessible::LayeredPane:
    case QAccessible::Grouping:
    case QAccessible::ScrollBar:
    case QAccessible::Window:
    case QAccessible::Dialog:
        return true;
    default:
        return false;
    }
}

QString describe(const ReadElement& element) {
    return QStringLiteral("%1 %2 (%3) at %4,%5")
        .arg(QString::number(element.role, 16),
             element.name.isEmpty() ? QStringLiteral("<unnamed>") : element.name, element.id)
        .arg(element.place.x())
        .arg(element.place.y());
}

// The object's name, or its class where it has none.
QString idOf(const QAccessibleInterface& reader) {
    const QObject* object = reader.object();
    if (!object)
        return {};
    return object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                          : object->objectName();
}

void collect(QAccessibleInterface* reader, QList<ReadElement>& elements) {
    if (!reader || !reader->isValid() || reader->state().invisible)
        return;
    if (const auto* widget = qobject_cast<const QWidget*>(reader->object()); widget && !widget->isVisible())
        return;
    if (!isContainer(reader->role()))
        elements.append({reader->role(), reader->text(QAccessible::Name), reader->rect(), idOf(*reader)});
    for (int index = 0; index < reader->childCount(); ++index)
        collect(reader->child(index), elements);
}

} // namespace

QList<ReadElement> readElements(QWidget& root) {
    QList<ReadElement> elements;
    collect(QAccessible::queryAccessibleInterface(&root), elements);
    return elements;
}

QStringList readAgainstScreenOrder(const QList<ReadElement>& elements) {
    QStringList against;
    for (qsizetype index = 1; index < elements.size(); ++index) {
        const QRect before = elements[index - 1].place;
        const QRect now = elements[index].place;
        const bool above = now.bottom() < before.top();
        const bool sameLine = now.top() <= before.bottom() && before.top() <= now.bottom();
        const bool leftOf = sameLine && now.right() < before.left();
        if (above || leftOf)
            against.append(describe(elements[index]) + QStringLiteral(" after ") +
                           describe(elements[index - 1]));
    }
    return against;
}

QStringList readWithoutName(const QList<ReadElement>& elements) {
    QStringList unnamed;
    for (const auto& element : elements)
        if (element.name.trimmed().isEmpty())
            unnamed.append(describe(element));
    return unnamed;
}

QList<QWidget*> tabRound(QWidget& window, int limit) {
    QList<QWidget*> stops;
    for (int step = 0; step < limit && window.focusWidget(); ++step) {
        QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
        QWidget* now = window.focusWidget();
        if (!now || stops.contains(now))
            break;
        stops.append(now);
    }
    return stops;
}

QStringList containerStops(const QList<QWidget*>& stops) {
    QStringList containers;
    for (QWidget* stop : stops) {
        const auto* reader = QAccessible::queryAccessibleInterface(stop);
        if (isContainer(reader->role()))
            containers.append(QStringLiteral("%1 %2 (%3)")
                                  .arg(QString::fromLatin1(stop->metaObject()->className()),
                                       reader->text(QAccessible::Name), stop->objectName()));
    }
    return containers;
}

} // namespace tessaron::testing
