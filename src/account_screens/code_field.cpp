#include "account_screens/code_field.hpp"

#include "platform/clock.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionFrame>
#include <QTextLayout>

using namespace std::chrono_literals;

namespace tessaron {

namespace {

constexpr qreal pointSize = 34;
constexpr qreal tracking = 8;
// Qt's caret rectangle (`cursorRect()`) starts this far before the caret.
constexpr int caretRectLead = 5;

// The line edit draws its caret inverting what lies beneath it, whatever the colour it is given: this style
// gives that caret no width. The field draws the caret itself.
class NoLineEditCaret final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        return metric == PM_TextCursorWidth ? 0 : QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// The placeholder is set in the shown font with the digits' tracking.
QFont trackedFont(const QFont& shown) {
    QFont font = shown;
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

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
    caretWidth_ = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);
    // The line edit's own text, placeholder and selection are drawn, but unseen; its caret is not drawn.
    setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: transparent; border: none;"
                                 " padding: 8px 0; selection-background-color: transparent;"
                                 " selection-color: transparent; }"));
    auto* noCaret = new NoLineEditCaret;
    noCaret->setParent(this);
    setStyle(noCaret);
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

QList<int> TessaronCodeField::edges() const {
    // The line edit keeps its layout to itself; laid out again as it lays it out (one line, its font, its
    // direction), the text stands at the same positions.
    const QString shownText = displayText();
    QTextLayout layout(shownText, font());
    QTextOption option;
    option.setTextDirection(layoutDirection());
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine laid = layout.createLine();
    layout.endLayout();
    QList<int> edges;
    for (int index = 0; index <= shownText.size(); ++index)
        edges.append(qRound(laid.cursorToX(index)));
    // Its caret says where the layout stands in the field, scrolled and aligned.
    const int origin = cursorRect().left() + caretRectLead - edges.value(cursorPosition());
    for (int& edge : edges)
        edge += origin;
    return edges;
}

QRectF TessaronCodeField::cellAt(const QList<int>& edges, int index) const {
    const int last = int(edges.size()) - 1;
    // Past the text the cells go on at the layout's pitch.
    const qreal left = index <= last ? edges[index] : edges[last] + (index - last) * cellWidth_;
    const qreal right = index < last ? edges[index + 1] : left + cellWidth_;
    const QRectF on = line();
    return {left, on.top(), right - left, on.height()};
}

QRectF TessaronCodeField::cell(int index) const {
    return cellAt(edges(), index);
}

QRectF TessaronCodeField::placeholderBox() const {
    const qreal width = QFontMetricsF(trackedFont(shown_)).horizontalAdvance(placeholderText()) - tracking;
    const QRectF on = line();
    return {on.center().x() - width / 2, on.top(), width, on.height()};
}

// Before the placeholder, which shows whole, in the middle of a gap as wide as the tracking, as between two
// digits; the line edit's caret stands in the placeholder's middle.
qreal TessaronCodeField::caretLeft(const QList<int>& edges) const {
    if (text().isEmpty() && !placeholderText().isEmpty())
        return qRound(placeholderBox().left() - tracking / 2);
    return cellAt(edges, cursorPosition()).left();
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
        const QFont placeholder = trackedFont(shown_);
        painter.setFont(placeholder);
        painter.setPen(withOpacity(ink, 0.5));
        const QRectF box = placeholderBox();
        painter.drawText(QPointF(box.left(), box.top() + QFontMetricsF(placeholder).ascent()),
                         placeholderText());
    }
    const QList<int> laidOut = edges();
    const QPalette selection = QApplication::palette(this);
    const int selectedFrom = selectionStart();
    const int selectedTo = selectedFrom + selectionLength();
    painter.setFont(shown_);
    const QFontMetricsF metrics(shown_);
    const qreal baseline = line().top() + metrics.ascent();
    for (int index = 0; index < shownText.size(); ++index) {
        const QRectF box = cellAt(laidOut, index);
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
        const QRectF on = line();
        painter.fillRect(QRectF(caretLeft(laidOut), on.top(), caretWidth_, on.height()), ink);
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
