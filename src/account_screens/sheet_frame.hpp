#pragma once

#include <QString>
#include <QWidget>

class QAbstractButton;
class QDialog;
class QVBoxLayout;

namespace tessaron {

// A dark sheet: a bar with the title (none where the column heads itself) and the cancel-place button over a
// column that scrolls only where the screen is too short for it. Escape does what that button does. A column
// with a maximum width stands centred in a wider sheet.
struct SheetFrame {
    QAbstractButton* cancelButton;
    QVBoxLayout* column;
};
SheetFrame buildSheetFrame(QDialog& sheet, const QString& title, const QString& cancelText,
                           const QString& cancelIdentifier, int columnSpacing,
                           int maximumColumnWidth = QWIDGETSIZE_MAX);

} // namespace tessaron
