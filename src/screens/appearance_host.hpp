#pragma once

#include <QPalette>

class QWidget;

namespace tessaron {

// The dark look with white accents that sheets and the Settings window take for ordinary controls.
QPalette tessaronDarkPalette();
void applyTessaronAppearance(QWidget& widget);

} // namespace tessaron
