#include "widgets/fitted_label.hpp"

#include <QHelpEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace tessaron {

namespace {

// The lines of `text` wrapped at word boundaries to `width`; empty when a line is still too wide (a word
// longer than the width) or more than `maximumLines` are needed.
std::optional<QStringList> wrap(const QString& text, const QFont& font, int width, int maximumLines) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(maximumLines > 1 ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (line.naturalTextWidth() > width || lines.size() == maximumLines) {
            layout.endLayout();
            return std::nullopt;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

// The first lines that fit, a word too long for a line broken where it must, and the rest of the text
// elided into the last one.
QStringList elide(const QString& text, const QFont& font, int width, int maximumLines) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    int rest = 0;
    for (QTextLine line = layout.createLine(); line.isValid() && lines.size() < maximumLines - 1;
         line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
        rest = line.textStart() + line.textLength();
    }
    layout.endLayout();
    lines.append(QFontMetricsF(font).elidedText(text.mid(rest).trimmed(), Qt::ElideRight, width));
    return lines;
}

} // namespace

QFont scaledFont(const QFont& font, qreal scale) {
    QFont scaled = font;
    scaled.setPointSizeF(font.pointSizeF() * scale);
    if (font.letterSpacingType() == QFont::AbsoluteSpacing)
        scaled.setLetterSpacing(QFont::AbsoluteSpacing, font.letterSpacing() * scale);
    return scaled;
}

FittedLines fitLines(const QString& text, const QFont& font, int width, int maximumLines,
                     qreal minimumScale) {
    // One line starts from the proportional size; glyph widths do not scale exactly with the size, so it
    // steps down a hundredth at a time from there.
    const qreal natural = QFontMetricsF(font).horizontalAdvance(text);
    const qreal first = maximumLines == 1 && natural > width ? width / natural : 1;
    for (qreal scale = first; scale > minimumScale - 0.005; scale -= 0.01) {
        const qreal bounded = std::max(scale, minimumScale);
        const QFont candidate = scaledFont(font, bounded);
        if (const auto lines = wrap(text, candidate, width, maximumLines))
            return {candidate, *lines, bounded};
    }
    const QFont smallest = scaledFont(font, minimumScale);
    return {smallest, elide(text, smallest, width, maximumLines), minimumScale};
}

TessaronFittedLabel::TessaronFittedLabel(int maximumLines, qreal minimumScale, QWidget* parent)
    : QLabel(parent)
    , maximumLines_(maximumLines)
    , minimumScale_(minimumScale) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Expanding, maximumLines > 1 ? QSizePolicy::Preferred : QSizePolicy::Fixed);
}

FittedLines TessaronFittedLabel::fitted() const {
    return fitLines(text(), font(), contentsRect().width(), maximumLines_, minimumScale_);
}

bool TessaronFittedLabel::isCut() const {
    const auto lines = fitted().lines;
    QString shown = lines.join(QLatin1Char(' '));
    QString whole = text().simplified();
    // Lines broken inside a word lose no letters: only an ellipsis tells of a cut.
    shown.remove(QLatin1Char(' '));
    whole.remove(QLatin1Char(' '));
    return shown != whole;
}

bool TessaronFittedLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip || !tipWhenCut_)
        return QLabel::event(event);
    if (isCut())
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    else
        QToolTip::hideText();
    return true;
}

QSize TessaronFittedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const QMargins margins = contentsMargins();
    return {metrics.horizontalAdvance(text()) + margins.left() + margins.right() + 1,
            metrics.height() + margins.top() + margins.bottom()};
}

QSize TessaronFittedLabel::minimumSizeHint() const {
    // It can always shrink, and then cut.
    return {0, sizeHint().height()};
}

int TessaronFittedLabel::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    const auto fit =
        fitLines(text(), font(), width - margins.left() - margins.right(), maximumLines_, minimumScale_);
    const int lines = static_cast<int>(std::max<qsizetype>(1, fit.lines.size()));
    return static_cast<int>(std::ceil(lines * QFontMetricsF(fit.font).lineSpacing())) + margins.top() +
           margins.bottom();
}

void TessaronFittedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const auto fit = fitted();
    painter.setFont(fit.font);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetricsF metrics(fit.font);
    const QRectF area = contentsRect();
    const qreal height = fit.lines.size() * metrics.lineSpacing();
    qreal top = area.top();
    if (alignment() & Qt::AlignVCenter)
        top += (area.height() - height) / 2;
    else if (alignment() & Qt::AlignBottom)
        top += area.height() - height;
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    for (const auto& line : fit.lines) {
        painter.drawText(QRectF(area.left(), top, area.width(), metrics.lineSpacing()),
                         horizontal | Qt::AlignVCenter, line);
        top += metrics.lineSpacing();
    }
}

} // namespace tessaron
