#include "screens/connection_log_view.hpp"
#include "widgets/string_table.hpp"

#include "widgets/appearance_host.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaron {

namespace {

const QString timeFormat = QStringLiteral("HH:mm:ss");

QWidget* row(const TessaronConnectionLog::Entry& entry, QWidget* parent) {
    auto* widget = new QWidget(parent);
    widget->setObjectName(QStringLiteral("tessaron.connectionLog.entry"));
    const QString time = entry.at.toLocalTime().toString(timeFormat);
    // The row reads as one line: its time, then its text.
    widget->setAccessibleName(time + QLatin1Char(' ') + entry.text);
    auto* line = new QHBoxLayout(widget);
    line->setContentsMargins(24, 6, 24, 6);
    line->setSpacing(10);
    const QFont mono = TessaronTheme::font(TessaronTheme::captionSize, QFont::Normal, true);
    auto* stamp = plainLabel(time, mono, TessaronTheme::textSecondary(), widget);
    stamp->setObjectName(QStringLiteral("tessaron.connectionLog.time"));
    stamp->setWordWrap(false);
    auto* text = plainLabel(entry.text, mono, TessaronTheme::textPrimary(), widget);
    text->setObjectName(QStringLiteral("tessaron.connectionLog.text"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    line->addWidget(stamp, 0, Qt::AlignTop);
    line->addWidget(text, 1, Qt::AlignTop);
    return widget;
}

// How many of the shown entries, oldest first, the log has dropped: the rest of them start the log.
std::optional<qsizetype> droppedFromStart(const TessaronConnectionLog::Entries& shown,
                                          const TessaronConnectionLog::Entries& now) {
    for (qsizetype dropped = 0; dropped <= shown.size(); ++dropped) {
        const qsizetype kept = shown.size() - dropped;
        if (kept <= now.size() && std::equal(shown.begin() + dropped, shown.end(), now.begin()))
            return dropped;
    }
    return std::nullopt;
}

} // namespace

TessaronConnectionLogView::TessaronConnectionLogView(TessaronConnectionLog& log, QWidget* parent)
    : QWidget(parent)
    , log_(log)
    , empty_(plainLabel(uiText("No events yet."), TessaronTheme::font(TessaronTheme::bodySize),
                        TessaronTheme::textPrimary(), this))
    , list_(new QScrollArea(this)) {
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

    list_->setObjectName(QStringLiteral("tessaron.connectionLog.list"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setWidgetResizable(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A palette rather than a style sheet: a style sheet would reset the rows' labels to the
    // application's text colour.
    QPalette rows = TessaronAppearanceHost::palette();
    rows.setColor(QPalette::Window, TessaronTheme::background());
    rows.setColor(QPalette::Base, TessaronTheme::background());
    list_->setPalette(rows);
    auto* content = new QWidget();
    content->setPalette(rows);
    rows_ = new QVBoxLayout(content);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    rows_->addStretch(1);
    list_->setWidget(content);
    column->addWidget(list_, 1);

    auto* bar = list_->verticalScrollBar();
    // The rows settle after the layout's pass: the row being read is put back where it stood.
    connect(bar, &QScrollBar::rangeChanged, this, &TessaronConnectionLogView::keepAnchor);
    connect(bar, &QScrollBar::valueChanged, this, [this] {
        if (!keeping_)
            anchor_.reset();
    });
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
    holdAnchor();
    // Newest first: the layout holds the rows of shown_ reversed, then its closing stretch.
    const auto dropped = droppedFromStart(shown_, entries);
    const qsizetype kept = dropped ? shown_.size() - *dropped : 0;
    for (qsizetype gone = shown_.size() - kept; gone > 0; --gone) {
        auto* item = rows_->takeAt(rows_->count() - 2);
        delete item->widget();
        delete item;
    }
    for (qsizetype index = kept; index < entries.size(); ++index) {
        auto* added = row(entries[index], rows_->parentWidget());
        rows_->insertWidget(0, added);
        // First among its siblings too: a screen reader reads the rows in the order they are shown.
        added->lower();
        added->show();
    }
    shown_ = entries;
    keepAnchor();
}

// At the top the newest event shows as it comes; further down the rows being read stay put.
void TessaronConnectionLogView::holdAnchor() {
    const int top = list_->verticalScrollBar()->value();
    if ((anchor_ && anchor_->row) || top == 0)
        return;
    for (int index = 0; index + 1 < rows_->count(); ++index) {
        QWidget* candidate = rows_->itemAt(index)->widget();
        if (candidate->geometry().bottom() >= top) {
            anchor_ = Anchor{candidate, candidate->y() - top};
            candidate->installEventFilter(this);
            return;
        }
    }
}

void TessaronConnectionLogView::keepAnchor() {
    if (!anchor_ || !anchor_->row)
        return;
    keeping_ = true;
    list_->verticalScrollBar()->setValue(anchor_->row->y() - anchor_->offset);
    keeping_ = false;
}

bool TessaronConnectionLogView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move && anchor_ && watched == anchor_->row)
        keepAnchor();
    return QWidget::eventFilter(watched, event);
}

} // namespace tessaron
