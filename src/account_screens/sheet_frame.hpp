#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QAbstractButton;
class QDialog;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace tessaron {

// A dark sheet: a bar with the title and the cancel-place button over a scrolling column. Escape presses
// that button.
struct SheetFrame {
    QAbstractButton* cancelButton;
    QVBoxLayout* column;
};
SheetFrame buildSheetFrame(QDialog& sheet, const QString& title, const QString& cancelText,
                           const QString& cancelIdentifier, int columnSpacing);

// A wrapping label in the theme's colours; plain text, never markup.
QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

} // namespace tessaron
