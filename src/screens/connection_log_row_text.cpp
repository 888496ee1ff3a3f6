#include "screens/connection_log_row_text.hpp"

#include "screens/connection_log_row_text_accessible.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleHints>
#include <QWheelEvent>

namespace tessaron {

TessaronConnectionLogRowText::TessaronConnectionLogRowText(const QFont& font, QWidget* parent)
    : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("tessaron.connectionLog.text"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // A click or the row's Return puts the focus here; Tab passes by, as it passes the other rows.
    setFocusPolicy(Qt::ClickFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The editor is as tall and as wide as its row's text, yet the plain text edit counts a last line that
    // ends on its last pixel as out of view, and its document a cursor wider than its lines: left a range,
    // a drag past the edge or the cursor keys would scroll the text by a line or a few pixels in its row.
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
        connect(bar, &QAbstractSlider::rangeChanged, bar, [bar] { bar->setRange(0, 0); });
    setFont(font);
    document()->setDocumentMargin(0);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, TessaronTheme::background());
    colours.setColor(QPalette::Text, TessaronTheme::textPrimary());
    colours.setColor(QPalette::Highlight, withOpacity(TessaronTheme::textPrimary(), 0.3));
    colours.setColor(QPalette::HighlightedText, TessaronTheme::textPrimary());
    setPalette(colours);
    useRowTextAccessible(this);
}

void TessaronConnectionLogRowText::showRow(const QString& text, const QString& spoken) {
    // Named first: readers hear of the new text and its selection as the new row's.
    setAccessibleName(spoken);
    if (toPlainText() != text)
        setPlainText(text);
    else
        setTextCursor(QTextCursor(document()));
}

void TessaronConnectionLogRowText::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Q_EMIT leave();
        return;
    }
    // The page keys page through the rows: ignored here, they go on to the list.
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

// The first press of a double click lands on the list, which lays this editor over the row and hands it
// that press; the second lands here, and the window, which saw the two presses go to different widgets,
// reports it as a plain press: it is taken as the double click it is.
void TessaronConnectionLogRowText::mousePressEvent(QMouseEvent* event) {
    const bool doubleClick = endsDoubleClick(*event);
    handedPress_.reset();
    if (!event->spontaneous())
        handedPress_ = HandedPress{event->timestamp(), event->position(), event->button()};
    QPlainTextEdit::mousePressEvent(event);
    if (!doubleClick)
        return;
    QMouseEvent twice(QEvent::MouseButtonDblClick, event->position(), event->scenePosition(),
                      event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                      event->pointingDevice());
    QPlainTextEdit::mouseDoubleClickEvent(&twice);
}

bool TessaronConnectionLogRowText::endsDoubleClick(const QMouseEvent& press) const {
    if (!press.spontaneous() || !handedPress_ || press.button() != handedPress_->button)
        return false;
    const QStyleHints& hints = *QGuiApplication::styleHints();
    return press.timestamp() - handedPress_->timestamp < quint64(hints.mouseDoubleClickInterval()) &&
           (press.position() - handedPress_->position).manhattanLength() < hints.startDragDistance();
}

// The wheel goes on to the list, which scrolls as over any row; Ctrl with it would zoom the text out of
// line with its row.
void TessaronConnectionLogRowText::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

} // namespace tessaron
