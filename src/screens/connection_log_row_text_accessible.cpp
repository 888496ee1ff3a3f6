#include "screens/connection_log_row_text_accessible.hpp"

#include "screens/connection_log_row_text.hpp"
#include "widgets/accessible_interface.hpp"

#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QTextCursor>

#include <algorithm>

namespace tessaron {

namespace {

// Qt's own interface reads the editor as an anonymous text entry inside a filler that no reader reaches
// from the list. This one is the row's text: a label with the row's name, whose text interface reads and
// selects what the editor shows.
class RowTextAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit RowTextAccessible(TessaronConnectionLogRowText* text)
        : QAccessibleWidget(text, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The list, past the viewport the editor lies in.
    QAccessibleInterface* parent() const override {
        QWidget* viewport = widget()->parentWidget();
        QWidget* list = viewport ? viewport->parentWidget() : nullptr;
        return QAccessible::queryAccessibleInterface(list ? list : viewport);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.selectableText = true;
        state.multiLine = true;
        return state;
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        const QTextCursor cursor = edit()->textCursor();
        const bool selected = selectionIndex == 0 && cursor.hasSelection();
        *startOffset = selected ? cursor.selectionStart() : 0;
        *endOffset = selected ? cursor.selectionEnd() : 0;
    }
    int selectionCount() const override { return edit()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { select(startOffset, endOffset); }
    void removeSelection(int selectionIndex) override {
        if (selectionIndex == 0)
            select(cursorPosition(), cursorPosition());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override {
        if (selectionIndex == 0)
            select(startOffset, endOffset);
    }

    int cursorPosition() const override { return edit()->textCursor().position(); }
    void setCursorPosition(int position) override { select(position, position); }

    QString text(int startOffset, int endOffset) const override {
        return edit()->toPlainText().mid(startOffset, endOffset - startOffset);
    }
    using QAccessibleWidget::text;
    int characterCount() const override { return int(edit()->toPlainText().size()); }

    QRect characterRect(int offset) const override {
        const QString shown = edit()->toPlainText();
        if (offset < 0 || offset >= shown.size())
            return {};
        QTextCursor at(edit()->document());
        at.setPosition(offset);
        const QRect caret = edit()->cursorRect(at);
        const int width = QFontMetrics(edit()->font()).horizontalAdvance(shown.at(offset));
        return {edit()->viewport()->mapToGlobal(caret.topLeft()), QSize(width, caret.height())};
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = edit()->viewport()->mapFromGlobal(point);
        return edit()->viewport()->rect().contains(local) ? edit()->cursorForPosition(local).position() : -1;
    }

    // The text never moves inside its row.
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    TessaronConnectionLogRowText* edit() const {
        return static_cast<TessaronConnectionLogRowText*>(widget());
    }

    void select(int anchor, int position) {
        const int end = characterCount();
        QTextCursor cursor(edit()->document());
        cursor.setPosition(std::clamp(anchor, 0, end));
        cursor.setPosition(std::clamp(position, 0, end), QTextCursor::KeepAnchor);
        edit()->setTextCursor(cursor);
    }
};

QAccessibleInterface* rowTextFactory(const QString&, QObject* object) {
    auto* text = qobject_cast<TessaronConnectionLogRowText*>(object);
    return text ? new RowTextAccessible(text) : nullptr;
}

} // namespace

void useRowTextAccessible(TessaronConnectionLogRowText* text) {
    // An interface made while the editor was still being built is the plain text edit's.
    useAccessibleInterface<RowTextAccessible>(text, rowTextFactory);
}

} // namespace tessaron
