#include "account_screens/sheet_frame.hpp"

#include "widgets/plain_label.hpp"
#include "widgets/sheet_dialog.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tessaron {

SheetFrame buildSheetFrame(QDialog& sheet, const QString& title, const QString& cancelText,
                           const QString& cancelIdentifier, int columnSpacing, int maximumColumnWidth) {
    sheet.setWindowTitle(title);
    sheet.setAutoFillBackground(true);
    QPalette palette = sheet.palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    palette.setColor(QPalette::Base, TessaronTheme::background());
    palette.setColor(QPalette::WindowText, TessaronTheme::textPrimary());
    palette.setColor(QPalette::Text, TessaronTheme::textPrimary());
    palette.setColor(QPalette::ButtonText, TessaronTheme::textPrimary());
    sheet.setPalette(palette);

    auto* outer = new QVBoxLayout(&sheet);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(16, 10, 16, 6);
    auto* cancel = new QPushButton(cancelText);
    cancel->setObjectName(cancelIdentifier);
    cancel->setFlat(true);
    cancel->setAutoDefault(false);
    cancel->setFont(TessaronTheme::font(TessaronTheme::bodySize));
    cancel->setCursor(Qt::PointingHandCursor);
    // Escape rejects the dialog; the button is its visible twin.
    QObject::connect(cancel, &QAbstractButton::clicked, &sheet, &QDialog::reject);
    bar->addWidget(cancel);
    if (title.isEmpty()) {
        // A sheet whose column heads itself: an empty line beside the button would be read as a nameless one.
        bar->addStretch(1);
    } else {
        auto* heading = plainLabel(title, TessaronTheme::font(TessaronTheme::bodySize, QFont::DemiBold),
                                   TessaronTheme::textPrimary());
        heading->setWordWrap(false);
        heading->setAlignment(Qt::AlignCenter);
        bar->addWidget(heading, 1);
        // Keeps the title centred against the button.
        bar->addSpacing(cancel->sizeHint().width());
    }
    outer->addLayout(bar);

    auto* scroll = new TessaronSheetScrollArea;
    scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 70); border-radius: 2px; min-height: "
        "24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    auto* content = new QWidget;
    auto* centring = new QHBoxLayout(content);
    centring->setContentsMargins(0, 0, 0, 0);
    auto* columnBox = new QWidget(content);
    columnBox->setMaximumWidth(maximumColumnWidth);
    centring->addStretch(0);
    centring->addWidget(columnBox, 1);
    centring->addStretch(0);
    auto* column = new QVBoxLayout(columnBox);
    column->setSpacing(columnSpacing);
    column->setAlignment(Qt::AlignTop);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);
    return {cancel, column};
}

} // namespace tessaron
