#pragma once

#include <QString>

class QAbstractButton;
class QDialog;
class QVBoxLayout;
class QWidget;

namespace tessaron {

// A dark sheet: a bar with the title and the cancel-place button over a column that scrolls only where the
// screen is too short for it. Escape does what that button does.
struct SheetFrame {
    QAbstractButton* cancelButton;
    QVBoxLayout* column;
};
SheetFrame buildSheetFrame(QDialog& sheet, const QString& title, const QString& cancelText,
                           const QString& cancelIdentifier, int columnSpacing);

} // namespace tessaron
