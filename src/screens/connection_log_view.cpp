#include "screens/connection_log_view.hpp"

#include "screens/connection_log_list.hpp"
#include "screens/connection_log_model.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/string_table.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace tessaron {

TessaronConnectionLogView::TessaronConnectionLogView(TessaronConnectionLog& log, QWidget* parent)
    : QWidget(parent)
    , log_(log)
    , model_(new TessaronConnectionLogModel(log, this))
    , empty_(plainLabel(uiText("No events yet."), TessaronTheme::font(TessaronTheme::bodySize),
                        TessaronTheme::textPrimary(), this))
    , list_(new TessaronConnectionLogList(*model_, this)) {
    setObjectName(QStringLiteral("tessaron.connectionLog.page"));
    TessaronAppearanceHost::apply(*this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* caption =
        plainLabel(uiText("Stays on this device. Share it when a connection is slow."),
                   TessaronTheme::font(TessaronTheme::footnoteSize), TessaronTheme::textSecondary(), this);
    caption->setContentsMargins(24, 20, 24, 8);
    column->addWidget(caption);
    empty_->setObjectName(QStringLiteral("tessaron.connectionLog.empty"));
    empty_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    // A margin of the label itself, so that the hidden label leaves no gap above the list. Not its contents
    // margins: showing the label before the page is shown sets them back to none.
    empty_->setMargin(24);
    column->addWidget(empty_, 1);

    // A palette rather than a style sheet: a style sheet would reset the list to the application's look.
    QPalette rows = TessaronAppearanceHost::palette();
    rows.setColor(QPalette::Window, TessaronTheme::background());
    rows.setColor(QPalette::Base, TessaronTheme::background());
    rows.setColor(QPalette::Text, TessaronTheme::textPrimary());
    list_->setPalette(rows);
    column->addWidget(list_, 1);

    connect(model_, &QAbstractItemModel::rowsInserted, this, &TessaronConnectionLogView::showEmpty);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &TessaronConnectionLogView::showEmpty);
    connect(model_, &QAbstractItemModel::modelReset, this, &TessaronConnectionLogView::showEmpty);
    showEmpty();
}

void TessaronConnectionLogView::addActions(TessaronPageBar& bar) {
    auto* copy = bar.addTrailing(uiText("Copy"), QStringLiteral("tessaron.connectionLog.copy"));
    auto* clear = bar.addTrailing(uiText("Clear"), QStringLiteral("tessaron.connectionLog.clear"));
    connect(copy, &QAbstractButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(log_.exportText()); });
    connect(clear, &QAbstractButton::clicked, &log_, &TessaronConnectionLog::clear);
}

void TessaronConnectionLogView::showEmpty() {
    const bool empty = model_->rowCount() == 0;
    empty_->setVisible(empty);
    list_->setVisible(!empty);
}

} // namespace tessaron
