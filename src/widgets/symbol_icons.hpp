#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace tessaron {

// A symbol of the application's resources ("checkmark", "xmark.circle.fill") drawn at `size` device
// pixels in one colour; an unknown symbol gives a null image.
QImage tintedSymbol(const QString& name, int size, const QColor& tint);

} // namespace tessaron
