#include "widgets/page_bar.hpp"

#include "widgets/tessaron_theme.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace tessaron {

namespace {

QPushButton* barButton(const QString& text, const QString& objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFlat(true);
    // Return in a sheet belongs to its fields.
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(TessaronTheme::font(TessaronTheme::bodySize, QFont::Medium));
    button->setStyleSheet(QStringLiteral("QPushButton { color: white; border: none; padding: 4px 8px; }"
                                         "QPushButton:disabled { color: rgba(255, 255, 255, 90); }"));
    return button;
}

} // namespace

TessaronPageBar::TessaronPageBar(const QString& title, QWidget* parent)
    : QWidget(parent)
    , title_(new QLabel(title, this))
    , leading_(new QHBoxLayout)
    , trailing_(new QHBoxLayout) {
    title_->setTextFormat(Qt::PlainText);
    title_->setAlignment(Qt::AlignCenter);
    title_->setFont(TessaronTheme::font(TessaronTheme::title3Size, QFont::DemiBold));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 10, 12, 10);
    // Controls gather at the outer edges.
    leading_->addStretch(1);
    trailing_->addStretch(1);
    // The title spans the whole bar so that it stays centred whatever the sides hold.
    grid->addWidget(title_, 0, 0, 1, 2);
    grid->addLayout(leading_, 0, 0);
    grid->addLayout(trailing_, 0, 1);
    setMinimumHeight(44);
}

QAbstractButton* TessaronPageBar::addLeading(const QString& text, const QString& objectName) {
    auto* button = barButton(text, objectName, this);
    leading_->insertWidget(leading_->count() - 1, button);
    return button;
}

QAbstractButton* TessaronPageBar::addTrailing(const QString& text, const QString& objectName) {
    auto* button = barButton(text, objectName, this);
    trailing_->addWidget(button);
    return button;
}

QString TessaronPageBar::title() const {
    return title_->text();
}

} // namespace tessaron
