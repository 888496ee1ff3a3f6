#include "widgets/secondary_button.hpp"

#include "widgets/button_styles.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QPainter>
#include <QPainterPath>

namespace tessaron {

namespace {

constexpr int horizontalPadding = 16;

} // namespace

TessaronSecondaryButton::TessaronSecondaryButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFont(TessaronTheme::buttonFont());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TessaronSecondaryButton::sizeHint() const {
    return {QFontMetrics(font()).horizontalAdvance(text()) + 2 * horizontalPadding,
            TessaronTheme::buttonHeight};
}

QSize TessaronSecondaryButton::minimumSizeHint() const {
    return {2 * horizontalPadding, TessaronTheme::buttonHeight};
}

void TessaronSecondaryButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isDown() ? 0.82 : 1);

    // Stroked inside the border: the pen's centre runs half a point in.
    const qreal half = TessaronTheme::hairlineWidth / 2.0;
    painter.setPen(QPen(TessaronTheme::stroke(), TessaronTheme::hairlineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half),
                            TessaronTheme::cornerRadius - half, TessaronTheme::cornerRadius - half);

    const int width = rect().width() - 2 * horizontalPadding;
    const FittedText label = fitText(text(), font(), width, 0.75);
    painter.setFont(label.font);
    painter.setPen(TessaronTheme::textPrimary());
    painter.drawText(rect(), Qt::AlignCenter, label.text);
}

} // namespace tessaron
