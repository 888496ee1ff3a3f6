#include "screens/connection_log_row_text.hpp"

#include "widgets/tessaron_theme.hpp"

#include <QKeyEvent>

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
    setFont(font);
    document()->setDocumentMargin(0);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, TessaronTheme::background());
    colours.setColor(QPalette::Text, TessaronTheme::textPrimary());
    colours.setColor(QPalette::Highlight, withOpacity(TessaronTheme::textPrimary(), 0.3));
    colours.setColor(QPalette::HighlightedText, TessaronTheme::textPrimary());
    setPalette(colours);
}

void TessaronConnectionLogRowText::showRow(const QString& text, const QString& spoken) {
    if (toPlainText() != text)
        setPlainText(text);
    else
        setTextCursor(QTextCursor(document()));
    setAccessibleName(spoken);
}

void TessaronConnectionLogRowText::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        Q_EMIT leave();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace tessaron
