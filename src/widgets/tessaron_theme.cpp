#include "widgets/tessaron_theme.hpp"

#include <QFontDatabase>

namespace tessaron {

namespace {

QColor grey(double white) {
    return QColor::fromRgbF(static_cast<float>(white), static_cast<float>(white), static_cast<float>(white));
}

QColor rgb(double red, double green, double blue) {
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue));
}

} // namespace

namespace TessaronTheme {

// Function-local statics: built once on first use, thread-safe by the language.
const QColor& background() {
    static const QColor color(Qt::black);
    return color;
}
const QColor& textPrimary() {
    static const QColor color(Qt::white);
    return color;
}
const QColor& textSecondary() {
    static const QColor color = grey(0.64);
    return color;
}
const QColor& stroke() {
    static const QColor color = grey(0.2);
    return color;
}
const QColor& surface() {
    static const QColor color = grey(0.11);
    return color;
}
const QColor& buttonFill() {
    static const QColor color(Qt::white);
    return color;
}
const QColor& buttonText() {
    static const QColor color(Qt::black);
    return color;
}
const QColor& success() {
    static const QColor color = rgb(0.25, 0.72, 0.36);
    return color;
}
const QColor& warning() {
    static const QColor color = rgb(0.93, 0.67, 0.2);
    return color;
}
const QColor& danger() {
    static const QColor color = rgb(0.89, 0.25, 0.23);
    return color;
}
const QColor& flowOrange() {
    static const QColor color = rgb(1.0, 0.541, 0.239);
    return color;
}
const QColor& flowPink() {
    static const QColor color = rgb(1.0, 0.239, 0.545);
    return color;
}
const QColor& flowPurple() {
    static const QColor color = rgb(0.659, 0.333, 0.969);
    return color;
}
const QColor& flowBlue() {
    static const QColor color = rgb(0.231, 0.51, 0.965);
    return color;
}
const QColor& flowCyan() {
    static const QColor color = rgb(0.133, 0.827, 0.933);
    return color;
}

QFont font(qreal pointSize, QFont::Weight weight, bool monospaced) {
    QFont result = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                              : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    result.setPointSizeF(pointSize);
    result.setWeight(weight);
    return result;
}

const QFont& wordmarkFont() {
    static const QFont value = font(captionSize, QFont::DemiBold);
    return value;
}
const QFont& wordmarkCompactFont() {
    static const QFont value = font(caption2Size, QFont::DemiBold);
    return value;
}
const QFont& titleFont() {
    static const QFont value = font(largeTitleSize, QFont::DemiBold);
    return value;
}
const QFont& buttonFont() {
    static const QFont value = font(bodySize, QFont::Medium);
    return value;
}
const QFont& captionFont() {
    static const QFont value = font(captionSize);
    return value;
}

} // namespace TessaronTheme

QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

} // namespace tessaron
