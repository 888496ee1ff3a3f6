#include "screens/connection_log_view.hpp"
#include "screens/string_table.hpp"

#include "profiles/connection_log.hpp"
#include "screens/appearance_host.hpp"
#include "screens/page_bar.hpp"
#include "screens/plain_label.hpp"
#include "screens/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace tessaron {

namespace {

const QString timeFormat = QStringLiteral("HH:mm:ss");

QWidget* row(const TessaronConnectionLog::Entry& entry, QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setObjectName(QStringLiteral("tessaron.connectionLog.entry"));
    auto* line = new QHBoxLayout(widget);
    line->setContentsMargins(24, 6, 24, 6);
    line->setSpacing(10);
    const QFont mono = TessaronTheme::font(TessaronTheme::captionSize, QFont::Normal, true);
    auto* time =
        plainLabel(entry.at.toLocalTime().toString(timeFormat), mono, TessaronTheme::textSecondary(), widget);
    time->setObjectName(QStringLiteral("tessaron.connectionLog.time"));
    time->setWordWrap(false);
    auto* text = plainLabel(entry.text, mono, TessaronTheme::textPrimary(), widget);
    text->setObjectName(QStringLiteral("tessaron.connectionLog.text"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    line->addWidget(time, 0, Qt::AlignTop);
    line->addWidget(text, 1, Qt::AlignTop);
    return widget;
}

} // namespace

TessaronConnectionLogView::TessaronConnectionLogView(TessaronConnectionLog& log, QWidget* parent)
    : QWidget(parent)
    , log_(log)
    , empty_(plainLabel(uiText("No events yet."), TessaronTheme::font(TessaronTheme::bodySize),
                        TessaronTheme::textPrimary(), this))
    , list_(new QListWidget(this)) {
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
    // Margins of the label itself, so that the hidden label leaves no gap above the list.
    empty_->setContentsMargins(24, 24, 24, 24);
    column->addWidget(empty_, 1);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // A palette rather than a style sheet: a style sheet would reset the rows' labels to the
    // application's text colour.
    QPalette rows = TessaronAppearanceHost::palette();
    rows.setColor(QPalette::Base, TessaronTheme::background());
    list_->setPalette(rows);
    column->addWidget(list_, 1);
    connect(&log_, &TessaronConnectionLog::entriesChanged, this, &TessaronConnectionLogView::refresh);
    refresh();
}

void TessaronConnectionLogView::addActions(TessaronPageBar& bar) {
    auto* copy = bar.addTrailing(uiText("Copy"), QStringLiteral("tessaron.connectionLog.copy"));
    auto* clear = bar.addTrailing(uiText("Clear"), QStringLiteral("tessaron.connectionLog.clear"));
    connect(copy, &QAbstractButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(log_.exportText()); });
    connect(clear, &QAbstractButton::clicked, &log_, &TessaronConnectionLog::clear);
}

void TessaronConnectionLogView::refresh() {
    const auto& entries = log_.entries();
    empty_->setVisible(entries.isEmpty());
    list_->setVisible(!entries.isEmpty());
    list_->clear();
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry) {
        auto* item = new QListWidgetItem(list_);
        // The row's labels are painted over the item, so a screen reader reads the item's own text.
        item->setData(Qt::AccessibleTextRole,
                      entry->at.toLocalTime().toString(timeFormat) + QLatin1Char(' ') + entry->text);
        list_->setItemWidget(item, row(*entry, list_));
    }
    fitRows();
}

void TessaronConnectionLogView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitRows();
}

// A wrapped event is as tall as its lines at the list's width, and a one-line event no taller.
void TessaronConnectionLogView::fitRows() {
    const int width = list_->viewport()->width();
    for (int index = 0; index < list_->count(); ++index) {
        auto* item = list_->item(index);
        item->setSizeHint(QSize(width, list_->itemWidget(item)->heightForWidth(width)));
    }
}

} // namespace tessaron
