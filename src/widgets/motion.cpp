#include "widgets/motion.hpp"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace tessaron {

namespace {

// A damped spring released from rest at 0 towards 1, sampled over `springMilliseconds`.
qreal spring(qreal progress) {
    constexpr double response = 0.5;
    constexpr double damping = 0.85;
    const double omega = 2 * M_PI / response;
    const double damped = omega * std::sqrt(1 - damping * damping);
    const double t = progress * springMilliseconds / 1000.0;
    const double decay = std::exp(-damping * omega * t);
    return progress >= 1
               ? 1
               : 1 - decay * (std::cos(damped * t) + damping * omega / damped * std::sin(damped * t));
}

} // namespace

QEasingCurve springCurve() {
    QEasingCurve curve;
    curve.setCustomType(spring);
    return curve;
}

QEasingCurve easeOutCurve() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

TessaronCrossfade::TessaronCrossfade(QWidget* target)
    : QWidget(target)
    , animation_(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    animation_->setObjectName(QStringLiteral("tessaron.crossfade"));
    animation_->setStartValue(1.0);
    animation_->setEndValue(0.0);
    animation_->setDuration(springMilliseconds);
    animation_->setEasingCurve(springCurve());
    connect(animation_, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    connect(animation_, &QVariantAnimation::finished, this, &TessaronCrossfade::finish);
    target->installEventFilter(this);
}

void TessaronCrossfade::start(const QPixmap& previous, bool animates) {
    if (!animates || previous.isNull()) {
        finish();
        return;
    }
    animation_->stop();
    previous_ = previous;
    setGeometry(parentWidget()->rect());
    show();
    raise();
    animation_->start();
}

void TessaronCrossfade::finish() {
    animation_->stop();
    hide();
    previous_ = {};
}

void TessaronCrossfade::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(std::clamp(animation_->currentValue().toReal(), 0.0, 1.0));
    painter.drawPixmap(rect(), previous_);
}

bool TessaronCrossfade::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

TessaronReveal::TessaronReveal(QLabel* label, std::function<int()> maximumHeight)
    : QObject(label)
    , label_(label)
    , measureMaximumHeight_(std::move(maximumHeight))
    , opacity_(new QGraphicsOpacityEffect(label))
    , animation_(new QVariantAnimation(this)) {
    animation_->setObjectName(QStringLiteral("tessaron.reveal"));
    animation_->setDuration(springMilliseconds);
    animation_->setEasingCurve(springCurve());
    // The text keeps its place at the bottom, so a growing label brings it down from the top edge.
    label_->setAlignment(Qt::AlignLeading | Qt::AlignBottom);
    opacity_->setEnabled(false);
    label_->setGraphicsEffect(opacity_);
    label_->hide();
    connect(animation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { apply(value.toReal()); });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        apply(shown_ ? 1 : 0);
        label_->setVisible(shown_);
    });
}

void TessaronReveal::setShown(bool shown, bool animates) {
    const bool moving = animation_->state() != QAbstractAnimation::Stopped;
    if (shown == shown_ && (animates || !moving))
        return;
    shown_ = shown;
    const qreal from = moving ? animation_->currentValue().toReal() : (shown ? 0.0 : 1.0);
    animation_->stop();
    // Nobody sees a window that is not shown: it takes its end state at once.
    if (!animates || !label_->window()->isVisible()) {
        apply(shown ? 1 : 0);
        label_->setVisible(shown);
        return;
    }
    label_->show();
    animation_->setStartValue(from);
    animation_->setEndValue(shown ? 1.0 : 0.0);
    apply(from);
    animation_->start();
}

void TessaronReveal::apply(qreal progress) {
    const qreal clamped = std::clamp(progress, 0.0, 1.0);
    const bool moving = clamped < 1;
    opacity_->setEnabled(moving);
    opacity_->setOpacity(clamped);
    const int width = label_->width() > 0 ? label_->width() : label_->sizeHint().width();
    const int natural = std::min(maximumHeight(), label_->heightForWidth(width));
    label_->setMaximumHeight(moving ? static_cast<int>(std::lround(natural * clamped)) : maximumHeight());
}

int TessaronReveal::maximumHeight() {
    if (!maximumHeight_)
        maximumHeight_ = measureMaximumHeight_();
    return *maximumHeight_;
}

} // namespace tessaron
