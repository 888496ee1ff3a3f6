#pragma once

#include <QPalette>

class QWidget;

namespace tessaron {

// The dark look with white accents that sheets and the Settings window take for ordinary controls.
class TessaronAppearanceHost {
public:
    static QPalette palette();
    static void apply(QWidget& content);
};

} // namespace tessaron
