#pragma once

#include <QAccessible>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

namespace tessaron::testing {

// One element as a screen reader meets it, where it stands on the screen.
struct ReadElement {
    QAccessible::Role role;
    QString name;
    QRect place;
    // The widget's object name, to tell which element a failure means.
    QString id;
};

// The elements a reader speaks under `root`, in the order it meets them: depth first through the
// accessibility tree, without what is hidden or marked invisible. Containers (plain widgets, panes, stacks,
// scroll areas and their bars) are passed through, not spoken.
QList<ReadElement> readElements(QWidget& root);
// Each element read right after one that it stands above, or left of on the same line: the reading order
// leaving the screen's.
QStringList readAgainstScreenOrder(const QList<ReadElement>& elements);
// The elements read without a name.
QStringList readWithoutName(const QList<ReadElement>& elements);

// The widgets Tab stops on from the window's focus widget, once round (the focus widget itself only if Tab
// comes back to it), at most `limit`.
QList<QWidget*> tabRound(QWidget& window, int limit = 60);
// Those of the stops that are no control: a column, a form, a scroll area.
QStringList containerStops(const QList<QWidget*>& stops);

} // namespace tessaron::testing
