#pragma once

class QColor;
class QFont;
class QLabel;
class QString;
class QWidget;

namespace tessaron {

// A wrapping plain-text label: texts from the session, the log or a server never turn into markup.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);
// The same in a font and colour of the theme.
QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

} // namespace tessaron
