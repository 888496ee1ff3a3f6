#pragma once

#include <QPalette>

class QLabel;
class QString;
class QWidget;

namespace tessaron {

// The dark look with white accents that sheets and the Settings window take for ordinary controls.
QPalette tessaronDarkPalette();
void applyTessaronAppearance(QWidget& widget);

// A wrapping plain-text label: texts from the session, the log or a server never turn into markup.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);

} // namespace tessaron
