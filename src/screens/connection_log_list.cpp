#include "screens/connection_log_list.hpp"

#include "screens/connection_log_model.hpp"
#include "widgets/string_table.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

namespace tessaron {

namespace {

// Past this many texts the cache is emptied: the log keeps 300, and dropped texts are never asked again.
constexpr qsizetype laidOutLimit = 2 * TessaronConnectionLog::capacity;

} // namespace

TessaronConnectionLogDelegate::TessaronConnectionLogDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
    , font_(TessaronTheme::font(TessaronTheme::captionSize, QFont::Normal, true)) {
    const QFontMetricsF metrics(font_);
    timeWidth_ = int(std::ceil(metrics.horizontalAdvance(QStringLiteral("88:88:88"))));
    lineHeight_ = int(std::ceil(metrics.height()));
}

bool TessaronConnectionLogDelegate::setRowWidth(int width) {
    if (width == rowWidth_)
        return false;
    rowWidth_ = width;
    laidOut_.clear();
    return true;
}

int TessaronConnectionLogDelegate::textWidth() const {
    return std::max(1, rowWidth_ - insets.left() - insets.right() - timeWidth_ - spacing);
}

const QStaticText& TessaronConnectionLogDelegate::laidOut(const QString& text) const {
    if (const auto found = laidOut_.constFind(text); found != laidOut_.cend())
        return *found;
    if (laidOut_.size() >= laidOutLimit)
        laidOut_.clear();
    QStaticText laid(text);
    // Shown verbatim; a run without spaces (an address, a redacted token) breaks anywhere rather than
    // running past the edge.
    laid.setTextFormat(Qt::PlainText);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    laid.setTextOption(option);
    laid.setTextWidth(textWidth());
    laid.setPerformanceHint(QStaticText::AggressiveCaching);
    laid.prepare(QTransform(), font_);
    return *laidOut_.insert(text, laid);
}

QSize TessaronConnectionLogDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const int text = int(std::ceil(laidOut(index.data().toString()).size().height()));
    return {rowWidth_, insets.top() + std::max(text, lineHeight_) + insets.bottom()};
}

QRect TessaronConnectionLogDelegate::timeRect(const QRect& row) const {
    return {row.left() + insets.left(), row.top() + insets.top(), timeWidth_, lineHeight_};
}

QRect TessaronConnectionLogDelegate::textRect(const QRect& row, const QModelIndex& index) const {
    const QSizeF size = laidOut(index.data().toString()).size();
    return {row.left() + insets.left() + timeWidth_ + spacing, row.top() + insets.top(),
            int(std::ceil(size.width())), std::max(int(std::ceil(size.height())), lineHeight_)};
}

void TessaronConnectionLogDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    painter->save();
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, withOpacity(TessaronTheme::textPrimary(), 0.16));
    painter->setFont(font_);
    const QString time = index.data(TessaronConnectionLogModel::TimeRole).toString();
    painter->setPen(TessaronTheme::textSecondary());
    painter->drawStaticText(timeRect(option.rect).topLeft(), laidOut(time));
    painter->setPen(TessaronTheme::textPrimary());
    painter->drawStaticText(textRect(option.rect, index).topLeft(), laidOut(index.data().toString()));
    // The row the keyboard stands on, while the list has the focus.
    if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Active)) {
        painter->setPen(QPen(withOpacity(TessaronTheme::textPrimary(), 0.5), 1));
        painter->drawRect(QRectF(option.rect).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    painter->restore();
}

TessaronConnectionLogList::TessaronConnectionLogList(TessaronConnectionLogModel& model, QWidget* parent)
    : QListView(parent)
    , model_(model)
    , delegate_(new TessaronConnectionLogDelegate(this)) {
    setObjectName(QStringLiteral("tessaron.connectionLog.list"));
    setAccessibleName(uiText("Connection log"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(false);
    setItemDelegate(delegate_);
    delegate_->setRowWidth(viewport()->width());
    setModel(&model_);
    // The list's own handlers only ask for a layout later; the anchor needs it at once, and once for a
    // line that both drops a row and inserts one.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this,
            &TessaronConnectionLogList::holdAnchor);
    connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, &TessaronConnectionLogList::holdAnchor);
    connect(&model_, &TessaronConnectionLogModel::settled, this, &TessaronConnectionLogList::keepAnchor);
}

// At the top the new event shows as it comes; further down the row at the top of the view stays put.
void TessaronConnectionLogList::holdAnchor() {
    if (anchor_.isValid() || verticalScrollBar()->value() == 0)
        return;
    executeDelayedItemsLayout();
    const QModelIndex top = indexAt(QPoint(0, 0));
    if (!top.isValid())
        return;
    anchor_ = top;
    anchorOffset_ = visualRect(top).top();
}

void TessaronConnectionLogList::keepAnchor() {
    // An anchor the change removed is simply let go.
    if (anchor_.isValid()) {
        doItemsLayout();
        auto* bar = verticalScrollBar();
        bar->setValue(bar->value() + visualRect(anchor_).top() - anchorOffset_);
    }
    anchor_ = QPersistentModelIndex();
}

void TessaronConnectionLogList::resizeEvent(QResizeEvent* event) {
    // Wrapped rows change height with the width; the list itself lays out again only when its height changes.
    if (delegate_->setRowWidth(viewport()->width()))
        scheduleDelayedItemsLayout();
    QListView::resizeEvent(event);
}

void TessaronConnectionLogList::paintEvent(QPaintEvent* event) {
    // A layout asked for and not yet done would paint the rows where they stood, or none on opening; the
    // tree view does the same.
    executeDelayedItemsLayout();
    QListView::paintEvent(event);
}

void TessaronConnectionLogList::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        QGuiApplication::clipboard()->setText(model_.copyText(selectionModel()->selectedRows()));
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

} // namespace tessaron
