#include "widgets/button_styles.hpp"

#include "widgets/accessible_traits.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/frame_driver.hpp"
#include "widgets/spinner.hpp"
#include "widgets/symbol_icons.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tessaron {

namespace {

constexpr qreal horizontalPadding = 16;
constexpr qreal verticalPadding = 12;
constexpr qreal minimumTextScale = 0.75;
constexpr int spinnerSize = 16;
constexpr int spinnerSpacing = 10;
constexpr int iconHitSize = 44;

} // namespace

PrimaryButtonPaint primaryButtonPaint(bool enabled, bool hovering, bool pressed) {
    if (!enabled)
        return {withOpacity(TessaronTheme::buttonFill(), 0.45), 0.55, 1};
    const QColor fill = hovering ? QColor::fromRgbF(0.9f, 0.9f, 0.9f) : TessaronTheme::buttonFill();
    return {fill, 1, pressed ? 0.82 : 1};
}

FittedText fitText(const QString& text, const QFont& font, int width, qreal minimumScale) {
    const auto fitted = fitLines(text, font, width, 1, minimumScale);
    return {fitted.font, fitted.lines.value(0)};
}

TessaronPrimaryButton::TessaronPrimaryButton(QWidget* parent)
    : QAbstractButton(parent)
    , frames_(new FrameDriver(this)) {
    setFont(TessaronTheme::buttonFont());
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TessaronPrimaryButton::setShowsSpinner(bool shows) {
    if (showsSpinner_ == shows)
        return;
    showsSpinner_ = shows;
    frames_->setAnimates(showsSpinner_ && animates_);
    update();
}

void TessaronPrimaryButton::setAnimates(bool animates) {
    animates_ = animates;
    frames_->setAnimates(showsSpinner_ && animates_);
}

QSize TessaronPrimaryButton::sizeHint() const {
    const QFontMetrics metrics(font());
    const int spinner = showsSpinner_ ? spinnerSize + spinnerSpacing : 0;
    const int width = metrics.horizontalAdvance(text()) + spinner + 2 * static_cast<int>(horizontalPadding);
    return {width, TessaronTheme::buttonHeight};
}

QSize TessaronPrimaryButton::minimumSizeHint() const {
    return {2 * static_cast<int>(horizontalPadding), TessaronTheme::buttonHeight};
}

void TessaronPrimaryButton::paintEvent(QPaintEvent*) {
    const PrimaryButtonPaint look = primaryButtonPaint(isEnabled(), hovering_, isDown());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), TessaronTheme::cornerRadius, TessaronTheme::cornerRadius);
    painter.fillPath(shape, look.fill);

    const QRectF content =
        QRectF(rect()).adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const int spinner = showsSpinner_ ? spinnerSize + spinnerSpacing : 0;
    const FittedText label =
        fitText(text(), font(), static_cast<int>(content.width()) - spinner, minimumTextScale);
    const qreal textWidth = QFontMetricsF(label.font).horizontalAdvance(label.text);
    const qreal left = content.center().x() - (textWidth + spinner) / 2;

    const QColor ink = withOpacity(TessaronTheme::buttonText(), look.textOpacity);
    if (showsSpinner_) {
        const QRectF box(left, content.center().y() - spinnerSize / 2.0, spinnerSize, spinnerSize);
        paintSpinner(painter, box, ink, animates_ ? currentFrameDate() : 0);
    }
    painter.setFont(label.font);
    painter.setPen(ink);
    painter.drawText(QRectF(left + spinner, content.top(), textWidth + 1, content.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, label.text);
}

void TessaronPrimaryButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TessaronPrimaryButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

TessaronIconButton::TessaronIconButton(const QString& symbol, QWidget* parent)
    : QAbstractButton(parent)
    , symbol_(symbol)
    , tint_(TessaronTheme::textSecondary()) {
    setCursor(Qt::PointingHandCursor);
    // The hit area is a floor: a larger glyph makes the button larger, nothing makes it smaller.
    setMinimumSize(iconHitSize, iconHitSize);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TessaronIconButton::setTint(const QColor& tint) {
    tint_ = tint;
    update();
}

void TessaronIconButton::setGlyphSize(int size) {
    glyphSize_ = size;
    updateGeometry();
    update();
}

QSize TessaronIconButton::sizeHint() const {
    const int side = std::max(iconHitSize, glyphSize_);
    return {side, side};
}

void TessaronIconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(isDown() ? 0.82 : 1);
    const qreal ratio = devicePixelRatioF();
    QImage glyph = tintedSymbol(symbol_, static_cast<int>(glyphSize_ * ratio), tint_);
    glyph.setDevicePixelRatio(ratio);
    const QRectF target(0, 0, glyphSize_, glyphSize_);
    painter.drawImage(target.translated(QRectF(rect()).center() - target.center()), glyph);
}

TessaronHairline::TessaronHairline(QWidget* parent)
    : QWidget(parent) {
    setFixedHeight(TessaronTheme::hairlineWidth);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A separator says nothing to a screen reader.
    setAccessibleTraits(this, {.invisible = true});
}

void TessaronHairline::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), TessaronTheme::stroke());
}

} // namespace tessaron
