#include "account_screens/code_field.hpp"

#include "platform/clock.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionFrame>

using namespace std::chrono_literals;

namespace tessaron {

namespace {

constexpr qreal pointSize = 34;
constexpr qreal tracking = 8;
// Qt's caret rectangle (`cursorRect()`) starts this far before the caret.
constexpr int caretRectLead = 5;

QFont roundedFont() {
    QFont font = TessaronTheme::font(pointSize, QFont::Normal, true);
    font.setFamilies({QStringLiteral("Quicksand"), font.family()});
    return font;
}

qreal widestDigit(const QFont& font) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    return widest;
}

// The fixed-pitch family, tracked so that every character takes the same cell.
QFont layoutFont(qreal cell) {
    QFont font = TessaronTheme::font(pointSize, QFont::Normal, true);
    font.setLetterSpacing(QFont::AbsoluteSpacing,
                          cell - QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')));
    return font;
}

} // namespace

TessaronCodeField::TessaronCodeField(Clock& clock, QWidget* parent)
    : QLineEdit(parent)
    , clock_(clock)
    , shown_(roundedFont()) {
    const QFont layout = layoutFont(widestDigit(shown_) + tracking);
    setFont(layout);
    // The pitch as the layout advances, trailing tracking and rounding included.
    const QFontMetricsF metrics(layout);
    cellWidth_ = (metrics.horizontalAdvance(QStringLiteral("0000")) -
                  metrics.horizontalAdvance(QStringLiteral("00"))) /
                 2;
    // The line edit's own text, placeholder, selection and caret are drawn, but unseen.
    setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: transparent; border: none;"
                                 " padding: 8px 0; selection-background-color: transparent;"
                                 " selection-color: transparent; }"));
    connect(this, &QLineEdit::cursorPositionChanged, this, &TessaronCodeField::showCaret);
    connect(this, &QLineEdit::selectionChanged, this, &TessaronCodeField::showCaret);
    connect(this, &QLineEdit::textChanged, this, &TessaronCodeField::showCaret);
}

TessaronCodeField::~TessaronCodeField() = default;

QRectF TessaronCodeField::line() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRectF contents =
        style()->subElementRect(QStyle::SE_LineEditContents, &option, this).marginsRemoved(textMargins());
    const qreal height = QFontMetricsF(shown_).height();
    return {contents.left(), contents.top() + (contents.height() - height) / 2, contents.width(), height};
}

QRectF TessaronCodeField::cell(int index) const {
    const qreal caret = cursorRect().left() + caretRectLead;
    const QRectF on = line();
    return {caret + (index - cursorPosition()) * cellWidth_, on.top(), cellWidth_, on.height()};
}

int TessaronCodeField::heightGain() const {
    return QFontMetrics(shown_).height() - fontMetrics().height();
}

QSize TessaronCodeField::sizeHint() const {
    return QLineEdit::sizeHint() + QSize(0, heightGain());
}

QSize TessaronCodeField::minimumSizeHint() const {
    return QLineEdit::minimumSizeHint() + QSize(0, heightGain());
}

void TessaronCodeField::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    const QColor ink = TessaronTheme::textPrimary();
    const QString shownText = text();
    if (shownText.isEmpty()) {
        QFont placeholder = shown_;
        placeholder.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
        painter.setFont(placeholder);
        painter.setPen(withOpacity(ink, 0.5));
        painter.drawText(line(), Qt::AlignCenter, placeholderText());
    }
    const QPalette selection = QApplication::palette(this);
    const int selectedFrom = selectionStart();
    const int selectedTo = selectedFrom + selectionLength();
    painter.setFont(shown_);
    const QFontMetricsF metrics(shown_);
    const qreal baseline = line().top() + metrics.ascent();
    for (int index = 0; index < shownText.size(); ++index) {
        const QRectF box = cell(index);
        const bool selected = selectedFrom >= 0 && index >= selectedFrom && index < selectedTo;
        if (selected)
            painter.fillRect(box, selection.color(QPalette::Highlight));
        painter.setPen(selected ? selection.color(QPalette::HighlightedText) : ink);
        // Centred in the cell, half the tracking either side: the caret stands between two digits, and a
        // selection frames them.
        const QString character = shownText.mid(index, 1);
        painter.drawText(QPointF(box.center().x() - metrics.horizontalAdvance(character) / 2, baseline),
                         character);
    }
    if (caretShown_ && hasFocus() && !hasSelectedText() && !isReadOnly()) {
        const QRectF at = cell(cursorPosition());
        const int width = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);
        painter.fillRect(QRectF(at.left(), at.top(), width, at.height()), ink);
    }
}

void TessaronCodeField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    showCaret();
}

void TessaronCodeField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    showCaret();
}

void TessaronCodeField::showCaret() {
    caretShown_ = hasFocus();
    blink_.reset();
    const std::chrono::milliseconds flash(QGuiApplication::styleHints()->cursorFlashTime() / 2);
    if (caretShown_ && flash > 0ms) {
        blink_ = clock_.repeat(flash, flash / 10, [this] {
            caretShown_ = !caretShown_;
            update();
        });
    }
    update();
}

} // namespace tessaron
