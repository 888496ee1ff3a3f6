#include "screens/connection_log_list.hpp"

#include "screens/connection_log_model.hpp"
#include "screens/connection_log_row_text.hpp"
#include "widgets/string_table.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <climits>
#include <cmath>
#include <utility>

namespace tessaron {

namespace {

// Past this many texts the cache is emptied: the log keeps 300, and dropped texts are never asked again.
constexpr qsizetype laidOutLimit = 2 * TessaronConnectionLog::capacity;

// A new line moves the handle by a pixel or two, yet a scroll bar repaints whole at every change of its
// value, range or steps: as tall as the list, its fills are spread over Qt's thread pool, and waking it cost
// more than the rest of a line. The groove reads the same at every value, so only the handle's old and new
// places are painted again, with the few pixels of outline a style draws around it. A style may draw the
// arrows differently at either end of the range, so the bar repaints whole when it reaches or leaves one;
// at the top of a growing log it stays at its end, and only the handle grows or shrinks.
class HandleScrollBar final : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override {
        if (change == SliderOrientationChange || painted_.isNull() || ends() != paintedEnds_ ||
            style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this)) {
            QScrollBar::sliderChange(change);
            return;
        }
        if (const QRect now = handle(); now != painted_)
            update(QRegion(painted_.marginsAdded(outline)) + now.marginsAdded(outline));
    }

    void paintEvent(QPaintEvent* event) override {
        QScrollBar::paintEvent(event);
        painted_ = handle();
        paintedEnds_ = ends();
    }

private:
    static constexpr QMargins outline{3, 3, 3, 3};

    // Whether the bar stands at its minimum, and at its maximum.
    std::pair<bool, bool> ends() const { return {value() == minimum(), value() == maximum()}; }

    QRect handle() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    }

    QRect painted_;
    std::pair<bool, bool> paintedEnds_{true, true};
};

// Holds a widget's repaints off for a while without the whole repaint that setUpdatesEnabled(true) asks
// when it ends; for a change that leaves every pixel where it was.
class HeldRepaints {
public:
    explicit HeldRepaints(QWidget& widget)
        : widget_(widget.updatesEnabled() ? &widget : nullptr) {
        if (widget_)
            widget_->setAttribute(Qt::WA_UpdatesDisabled, true);
    }
    ~HeldRepaints() {
        if (widget_)
            widget_->setAttribute(Qt::WA_UpdatesDisabled, false);
    }
    HeldRepaints(const HeldRepaints&) = delete;
    HeldRepaints& operator=(const HeldRepaints&) = delete;

private:
    QWidget* widget_;
};

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

QRect TessaronConnectionLogDelegate::textColumn(const QRect& row) const {
    const int left = row.left() + insets.left() + timeWidth_ + spacing;
    return {left, row.top(), row.right() + 1 - left, row.height()};
}

QRect TessaronConnectionLogDelegate::textBox(const QRect& row) const {
    return {row.left() + insets.left() + timeWidth_ + spacing, row.top() + insets.top(), textWidth(),
            row.height() - insets.top() - insets.bottom()};
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
    setVerticalScrollBar(new HandleScrollBar(Qt::Vertical, this));
    setItemDelegate(delegate_);
    delegate_->setRowWidth(viewport()->width());
    // Before the list's own handlers, which throw its layout away at a removal: the anchor is read from
    // the layout as it stands, not from a second one made only for it.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this,
            &TessaronConnectionLogList::holdAnchor);
    connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, &TessaronConnectionLogList::dropRows);
    setModel(&model_);
    // The list's own handlers only ask for a layout later; the anchor needs it at once, and once for a
    // line that both drops a row and inserts one.
    connect(&model_, &TessaronConnectionLogModel::settled, this, &TessaronConnectionLogList::keepAnchor);
    connect(&model_, &TessaronConnectionLogModel::settled, this, &TessaronConnectionLogList::followRowText);
    // The pointer turns to a text cursor over the rows' text, as over any text a person can select.
    viewport()->setAttribute(Qt::WA_Hover);
}

// Further down, the row at the top of the view stays put. At the top the new event shows as it comes,
// and the rows in view move down by as much: their pixels are moved, not painted again.
void TessaronConnectionLogList::holdAnchor() {
    if (anchor_.isValid())
        return;
    anchorAtTop_ = verticalScrollBar()->value() == 0;
    executeDelayedItemsLayout();
    const QModelIndex top = indexAt(QPoint(0, 0));
    if (!top.isValid())
        return;
    anchor_ = top;
    anchorOffset_ = visualRect(top).top();
    removedTop_ = INT_MAX;
}

void TessaronConnectionLogList::dropRows(const QModelIndex&, int first, int) {
    holdAnchor();
    if (anchor_.isValid())
        removedTop_ = std::min(removedTop_, visualRect(model_.index(first, 0)).top());
}

void TessaronConnectionLogList::keepAnchor() {
    // An anchor the change removed is simply let go, and the list repaints as it lays out again.
    if (!anchor_.isValid())
        return;
    // Rows came and went out of view: those in view stay where they stand, and neither the relayout of
    // every row nor the scroll that holds them needs to paint them again.
    {
        const HeldRepaints held(*viewport());
        holding_ = true;
        doItemsLayout();
        if (!anchorAtTop_) {
            auto* bar = verticalScrollBar();
            bar->setValue(bar->value() + visualRect(anchor_).top() - anchorOffset_);
        }
        holding_ = false;
    }
    // At the top, and at the foot of the list where the bar cannot hold the row where it stood, what is in
    // view moves down by as much, and only the strip it leaves at the top is painted.
    const int shift = visualRect(anchor_).top() - anchorOffset_;
    if (shift != 0)
        QListView::scrollContentsBy(0, shift);
    // What stood below a removed row in view is gone.
    const QRect view = viewport()->rect();
    if (removedTop_ != INT_MAX && removedTop_ + shift <= view.bottom())
        viewport()->update(view.adjusted(0, std::max(0, removedTop_ + shift), 0, 0));
    anchor_ = QPersistentModelIndex();
}

void TessaronConnectionLogList::scrollContentsBy(int dx, int dy) {
    // While the anchor is held the rows in view are where they were: nothing to move.
    if (holding_)
        return;
    QListView::scrollContentsBy(dx, dy);
    followRowText();
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
        // With no row selected, what the person copied before stays on the clipboard.
        if (const auto rows = selectionModel()->selectedRows(); !rows.isEmpty())
            QGuiApplication::clipboard()->setText(model_.copyText(rows));
        event->accept();
        return;
    }
    const bool opensText =
        event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_F2;
    if (opensText && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        openRowText(currentIndex());
        rowText_->setFocus(Qt::OtherFocusReason);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

QModelIndex TessaronConnectionLogList::rowOfTextAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid() || !delegate_->textColumn(visualRect(index)).contains(point))
        return {};
    return index;
}

// A plain press on a row's text starts a text selection in it; with Shift or Ctrl, or on the time, the
// list selects rows as it always does.
bool TessaronConnectionLogList::pressOnText(QMouseEvent* event) {
    const QModelIndex index = rowOfTextAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || event->modifiers() != Qt::NoModifier || !index.isValid())
        return false;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::Clear);
    openRowText(index);
    rowText_->setFocus(Qt::MouseFocusReason);
    selectingText_ = true;
    forwardToRowText(event);
    return true;
}

void TessaronConnectionLogList::mousePressEvent(QMouseEvent* event) {
    if (!pressOnText(event))
        QListView::mousePressEvent(event);
}

void TessaronConnectionLogList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!pressOnText(event))
        QListView::mouseDoubleClickEvent(event);
}

void TessaronConnectionLogList::mouseMoveEvent(QMouseEvent* event) {
    if (selectingText_)
        forwardToRowText(event);
    else
        QListView::mouseMoveEvent(event);
}

void TessaronConnectionLogList::mouseReleaseEvent(QMouseEvent* event) {
    if (!selectingText_) {
        QListView::mouseReleaseEvent(event);
        return;
    }
    selectingText_ = false;
    forwardToRowText(event);
}

// The press landed on the list, which keeps the pointer until the release: the editor hears it all as if
// it had been pressed itself.
void TessaronConnectionLogList::forwardToRowText(QMouseEvent* event) {
    QWidget* target = rowText_->viewport();
    QMouseEvent forwarded(event->type(), target->mapFrom(viewport(), event->position()),
                          event->scenePosition(), event->globalPosition(), event->button(), event->buttons(),
                          event->modifiers(), event->pointingDevice());
    forwarded.setTimestamp(event->timestamp());
    QCoreApplication::sendEvent(target, &forwarded);
    event->setAccepted(forwarded.isAccepted());
}

bool TessaronConnectionLogList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::HoverMove || event->type() == QEvent::HoverEnter) {
        const auto position = static_cast<QHoverEvent*>(event)->position().toPoint();
        if (rowOfTextAt(position).isValid())
            viewport()->setCursor(Qt::IBeamCursor);
        else
            viewport()->unsetCursor();
    }
    return QListView::viewportEvent(event);
}

void TessaronConnectionLogList::openRowText(const QModelIndex& index) {
    // Made when a person first selects text: most openings of the page only read it.
    if (!rowText_) {
        rowText_ = new TessaronConnectionLogRowText(delegate_->font(), viewport());
        connect(rowText_, &TessaronConnectionLogRowText::leave, this, [this] {
            setFocus(Qt::OtherFocusReason);
            closeRowText();
        });
    }
    rowTextIndex_ = index;
    rowText_->showRow(index.data().toString(), index.data(Qt::AccessibleTextRole).toString());
    followRowText();
}

void TessaronConnectionLogList::closeRowText() {
    rowTextIndex_ = QPersistentModelIndex();
    selectingText_ = false;
    if (rowText_->hasFocus())
        setFocus(Qt::OtherFocusReason);
    rowText_->hide();
}

void TessaronConnectionLogList::followRowText() {
    // While the rows in view are held they have not moved; the change's end places the editor once.
    if (holding_)
        return;
    if (!rowTextIndex_.isValid()) {
        if (rowText_ && rowText_->isVisible())
            closeRowText();
        return;
    }
    const QRect box = delegate_->textBox(visualRect(rowTextIndex_));
    if (rowText_->geometry() != box)
        rowText_->setGeometry(box);
    rowText_->show();
}

void TessaronConnectionLogList::updateGeometries() {
    QListView::updateGeometries();
    followRowText();
}

// The keyboard's row moved on, or rows were selected whole: the text selection gives way.
void TessaronConnectionLogList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (rowTextIndex_.isValid() && current != rowTextIndex_)
        closeRowText();
}

void TessaronConnectionLogList::selectionChanged(const QItemSelection& selected,
                                                 const QItemSelection& deselected) {
    QListView::selectionChanged(selected, deselected);
    if (rowTextIndex_.isValid() && !selected.isEmpty())
        closeRowText();
}

} // namespace tessaron
