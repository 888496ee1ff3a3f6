#pragma once

#include <QFont>
#include <QHash>
#include <QListView>
#include <QStaticText>
#include <QStyledItemDelegate>

#include <climits>

namespace tessaron {

class TessaronConnectionLogModel;
class TessaronConnectionLogRowText;

// A row of the log: its time in grey, then its text in white, wrapped to the rest of the width, both in the
// monospaced caption font. Rows are as tall as their text's lines.
class TessaronConnectionLogDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr QMargins insets{24, 6, 24, 6};
    static constexpr int spacing = 10;

    explicit TessaronConnectionLogDelegate(QObject* parent = nullptr);

    // The width rows are laid out at, the list's viewport's; true when it changed, and the rows must be laid
    // out again.
    bool setRowWidth(int width);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    const QFont& font() const { return font_; }

    // Where a row standing at `row` draws its time and its text.
    QRect timeRect(const QRect& row) const;
    QRect textRect(const QRect& row, const QModelIndex& index) const;
    // The part of the row that belongs to its text, right of the time: a press there selects text.
    QRect textColumn(const QRect& row) const;
    // Where the row's selectable text stands: the text's place, as wide as the text may run.
    QRect textBox(const QRect& row) const;

private:
    const QStaticText& laidOut(const QString& text) const;
    int textWidth() const;

    QFont font_;
    int timeWidth_;
    int lineHeight_;
    int rowWidth_ = 0;
    // Each text laid out once at the current width: the list asks every row's height at every change of
    // rows, and paints the rows in view at every frame.
    mutable QHash<QString, QStaticText> laidOut_;
};

// The log's rows in a list that lays out and paints only what is in view. A new row comes in without a
// jump: scrolled down, the row being read stays where it stands; at the top the new row shows.
//
// A row's text is selected in part through one editor that the list lays over the row a person presses
// in (or opens with Return on the keyboard's row); a press on the time selects whole rows. Copy takes the
// selected rows, and nothing when none is.
class TessaronConnectionLogList final : public QListView {
    Q_OBJECT
public:
    TessaronConnectionLogList(TessaronConnectionLogModel& model, QWidget* parent = nullptr);

    TessaronConnectionLogDelegate& rowDelegate() const { return *delegate_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void holdAnchor();
    void dropRows(const QModelIndex& parent, int first, int last);
    void keepAnchor();

    // The row whose text the pointer stands on, if any.
    QModelIndex rowOfTextAt(const QPoint& point) const;
    bool pressOnText(QMouseEvent* event);
    void openRowText(const QModelIndex& index);
    void closeRowText();
    // Keeps the editor over its row as rows come, go and scroll; closes it when its row is gone.
    void followRowText();
    void forwardToRowText(QMouseEvent* event);

    TessaronConnectionLogModel& model_;
    TessaronConnectionLogDelegate* delegate_;
    TessaronConnectionLogRowText* rowText_ = nullptr;
    QPersistentModelIndex rowTextIndex_;
    // A press on a row's text went to the editor: the moves and the release that follow go there too.
    bool selectingText_ = false;
    // The top row in view, and how far its top stands above the viewport's, while rows change above it.
    QPersistentModelIndex anchor_;
    int anchorOffset_ = 0;
    // The list stood at its top: the new rows show there, and the rows in view move down.
    bool anchorAtTop_ = false;
    // Where the highest row the change removed stood in the viewport; below the viewport's foot when none
    // of them was in view.
    int removedTop_ = INT_MAX;
    // While the rows in view are held, the list's own relayout neither repaints nor moves them.
    bool holding_ = false;
};

} // namespace tessaron
