#include "account_screens/account_buttons.hpp"

#include "widgets/accessible_traits.hpp"
#include "widgets/spinner.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace tessaron {
namespace {

constexpr int spinnerSize = 14;
constexpr int spinnerSpacing = 10;
constexpr qreal disabledOpacity = 0.45;
constexpr qreal pressedOpacity = 0.82;
constexpr qreal ringWidth = 2;

} // namespace

qreal TessaronSignInPrimaryButtonStyle::opacity(bool enabled, bool pressed) {
    return (enabled ? 1.0 : disabledOpacity) * (pressed ? pressedOpacity : 1.0);
}

TessaronOutlinedTextButton::TessaronOutlinedTextButton(const QString& text, Look look, QWidget* parent)
    : QAbstractButton(parent)
    , look_(std::move(look))
    , spinner_(new TessaronSpinner(look_.text, this)) {
    setText(text);
    setFont(look_.font);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    spinner_->hide();
    // The button reads as its title alone; the spinner is a decoration readers skip.
    setAccessibleTraits(spinner_, {.invisible = true});
}

void paintFocusRing(QPainter& painter, const QRectF& bounds) {
    painter.save();
    painter.setOpacity(1);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(TessaronTheme::flowBlue(), ringWidth));
    const qreal inset = ringWidth / 2;
    painter.drawRoundedRect(bounds.adjusted(inset, inset, -inset, -inset), 6, 6);
    painter.restore();
}

void TessaronFocusRing::follow(QWidget& control, QFocusEvent* event) {
    shows_ = event->gotFocus() && event->reason() != Qt::MouseFocusReason;
    control.update();
}

void TessaronOutlinedTextButton::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    ring_.follow(*this, event);
}

void TessaronOutlinedTextButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    ring_.follow(*this, event);
}

void TessaronMainActionButton::focusInEvent(QFocusEvent* event) {
    TessaronPrimaryButton::focusInEvent(event);
    ring_.follow(*this, event);
}

void TessaronMainActionButton::focusOutEvent(QFocusEvent* event) {
    TessaronPrimaryButton::focusOutEvent(event);
    ring_.follow(*this, event);
}

void TessaronMainActionButton::paintEvent(QPaintEvent* event) {
    TessaronPrimaryButton::paintEvent(event);
    if (ring_.shows()) {
        QPainter painter(this);
        paintFocusRing(painter, QRectF(rect()));
    }
}

TessaronOutlinedTextButton::Look TessaronOutlinedTextButton::signInPrimary() {
    return {.fill = Qt::white,
            .outline = Qt::transparent,
            .text = Qt::black,
            .font = TessaronTheme::font(TessaronTheme::title3Size, QFont::DemiBold),
            .cornerRadius = TessaronSignInPrimaryButtonStyle::cornerRadius,
            .height = TessaronSignInPrimaryButtonStyle::height,
            .fadesAsPrimary = true};
}

TessaronOutlinedTextButton::Look TessaronOutlinedTextButton::provider() {
    return {.outline = withOpacity(Qt::white, 0.25),
            .text = Qt::white,
            .font = TessaronTheme::font(TessaronTheme::title3Size, QFont::DemiBold),
            .cornerRadius = 10,
            .height = 40,
            .busyTextOpacity = disabledOpacity};
}

TessaronOutlinedTextButton::Look TessaronOutlinedTextButton::secondary() {
    return {.outline = TessaronTheme::stroke(),
            .text = Qt::white,
            .font = TessaronTheme::buttonFont(),
            .cornerRadius = TessaronTheme::cornerRadius,
            .height = TessaronTheme::buttonHeight};
}

void TessaronOutlinedTextButton::setBusy(bool busy) {
    busy_ = busy;
    spinner_->setVisible(busy);
    spinner_->setAnimates(busy);
    placeSpinner();
    update();
}

void TessaronOutlinedTextButton::setTextColor(const QColor& color) {
    look_.text = color;
    update();
}

QSize TessaronOutlinedTextButton::sizeHint() const {
    return {QFontMetrics(font()).horizontalAdvance(text()) + 2 * spinnerSpacing, look_.height};
}

QSize TessaronOutlinedTextButton::minimumSizeHint() const {
    return {look_.height, look_.height};
}

void TessaronOutlinedTextButton::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    placeSpinner();
}

void TessaronOutlinedTextButton::placeSpinner() {
    const int textWidth = QFontMetrics(font()).horizontalAdvance(text());
    const int spinner = spinner_->isVisible() ? spinnerSize + spinnerSpacing : 0;
    const int left = (width() - textWidth - spinner) / 2;
    spinner_->setGeometry(left, (height() - spinnerSize) / 2, spinnerSize, spinnerSize);
}

void TessaronOutlinedTextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (look_.fadesAsPrimary)
        painter.setOpacity(TessaronSignInPrimaryButtonStyle::opacity(isEnabled(), isDown()));
    else if (isDown())
        painter.setOpacity(pressedOpacity);

    const QRectF plate = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(plate, look_.cornerRadius, look_.cornerRadius);
    painter.fillPath(shape, look_.fill);
    painter.setPen(QPen(look_.outline, 1));
    painter.drawPath(shape);

    const int spinner = spinner_->isVisible() ? spinnerSize + spinnerSpacing : 0;
    painter.setFont(font());
    painter.setPen(withOpacity(look_.text, busy_ ? look_.busyTextOpacity : 1.0));
    const QString shown = QFontMetrics(font()).elidedText(text(), Qt::ElideRight, width() - spinner - 8);
    painter.drawText(QRectF(rect()).adjusted(spinner, 0, 0, 0), Qt::AlignCenter, shown);
    if (ring_.shows())
        paintFocusRing(painter, QRectF(rect()));
}

QPushButton* flatTextButton(const QString& text, const QColor& color, int verticalPadding) {
    auto* button = new QPushButton(text);
    button->setFlat(true);
    // Return in a sheet belongs to its fields.
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; padding: %1px 0; border: none; color: %2; }"
                       "QPushButton:disabled { color: rgba(255, 255, 255, 90); }")
            .arg(QString::number(verticalPadding), color.name()));
    return button;
}

} // namespace tessaron
