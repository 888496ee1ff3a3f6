#include "account_screens/link_text.hpp"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace tessaron {

TessaronLinkText::TessaronLinkText(const QFont& font, const QColor& color, int maximumLines, QWidget* parent)
    : QPlainTextEdit(parent)
    , maximumLines_(maximumLines) {
    setFont(font);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setWordWrapMode(QTextOption::WrapAnywhere);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    document()->setDocumentMargin(0);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::transparent);
    colours.setColor(QPalette::Text, color);
    setPalette(colours);
    viewport()->setAutoFillBackground(false);
    fitHeight();
}

TessaronLinkText* TessaronLinkText::address(const QFont& font, const QColor& color, QWidget* parent) {
    constexpr int enoughLines = 6;
    auto* text = new TessaronLinkText(font, color, enoughLines, parent);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text->setFocusPolicy(Qt::ClickFocus);
    return text;
}

void TessaronLinkText::setLink(const QString& text) {
    if (toPlainText() == text)
        return;
    setPlainText(text);
    setAccessibleName(text);
    fitHeight();
}

void TessaronLinkText::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    fitHeight();
}

void TessaronLinkText::fitHeight() {
    // A plain-text layout measures its height in lines.
    const auto lines = static_cast<int>(std::ceil(document()->documentLayout()->documentSize().height()));
    const int shown = std::clamp(lines, 1, maximumLines_);
    setFixedHeight(shown * QFontMetrics(font()).lineSpacing() + 2 * frameWidth() + 2);
}

} // namespace tessaron
