#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace tessaron::testing {

// Lays the widget out at `size`, renders it offscreen and saves the picture as <name>.png in the build's
// screenshot folder, printing the path so that a person can look at it.
QImage capture(QWidget& widget, const QSize& size, const QString& name);

// Renders without saving.
QImage render(QWidget& widget, const QSize& size);

// The grey levels of what the widget itself draws (no background) over black, as the dark pages show it:
// the brightest pixel and the sum of all.
struct Greys {
    int brightest = 0;
    qint64 total = 0;
};
Greys drawnGreys(QWidget& widget);

} // namespace tessaron::testing
