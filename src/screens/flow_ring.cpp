#include "screens/flow_ring.hpp"

#include "screens/accessible_traits.hpp"
#include "screens/frame_driver.hpp"
#include "screens/tessaron_theme.hpp"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tessaron {

namespace {

constexpr double flowPeriod = 4.0;
constexpr double nudgePeriod = 2.4;
constexpr int ringOutset = 4 + 6;
constexpr int nudgeOutset = 12;

QColor transparent(QColor color) {
    color.setAlphaF(0);
    return color;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A soft glow: the stroke repeated wider and fainter, in place of a blur.
void strokeGlow(QPainter& painter, const QPainterPath& path, const QBrush& brush, double width, double blur,
                double opacity) {
    constexpr int passes = 4;
    for (int pass = passes; pass >= 1; --pass) {
        painter.setOpacity(opacity / passes);
        painter.strokePath(
            path, QPen(brush, width + blur * pass / passes * 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    }
    painter.setOpacity(1);
}

} // namespace

double flowRingPhase(double frameDate) {
    double rest = std::fmod(frameDate, flowPeriod);
    if (rest < 0)
        rest += flowPeriod;
    return rest / flowPeriod;
}

double nudgeAngle(bool active, bool animates, double restartedAt, double frameDate) {
    if (!active || !animates)
        return 0;
    const double turns = (frameDate - restartedAt) / nudgePeriod;
    return (turns - std::floor(turns)) * 360.0;
}

QConicalGradient clockwiseConicalGradient(const QPointF& center, double startDegrees,
                                          const QGradientStops& clockwiseStops) {
    QConicalGradient gradient(center, -startDegrees);
    QGradientStops mirrored;
    for (auto it = clockwiseStops.crbegin(); it != clockwiseStops.crend(); ++it)
        mirrored.append({1.0 - it->first, it->second});
    gradient.setStops(mirrored);
    return gradient;
}

const QGradientStops& flowRingStops() {
    static const QGradientStops stops{
        {0.0, transparent(TessaronTheme::flowOrange())},
        {1.0 / 12, TessaronTheme::flowOrange()},
        {65.0 / 360, TessaronTheme::flowPink()},
        {100.0 / 360, TessaronTheme::flowPurple()},
        {130.0 / 360, TessaronTheme::flowBlue()},
        {155.0 / 360, TessaronTheme::flowCyan()},
        {185.0 / 360, transparent(TessaronTheme::flowCyan())},
        {1.0, transparent(TessaronTheme::flowCyan())},
    };
    return stops;
}

const QGradientStops& nudgeStops() {
    static const QGradientStops stops{
        {0.0, QColor::fromRgbF(1.0f, 0.54f, 0.24f)},  {0.2, QColor::fromRgbF(1.0f, 0.3f, 0.55f)},
        {0.4, QColor::fromRgbF(0.71f, 0.36f, 1.0f)},  {0.6, QColor::fromRgbF(0.24f, 0.48f, 1.0f)},
        {0.8, QColor::fromRgbF(0.22f, 0.88f, 0.84f)}, {1.0, QColor::fromRgbF(1.0f, 0.54f, 0.24f)},
    };
    return stops;
}

OverlayDecoration::OverlayDecoration(QWidget* target, int outset)
    : QWidget(target->parentWidget())
    , target_(target)
    , outset_(outset)
    , frames_(new FrameDriver(this, decorationFrameInterval)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    target_->installEventFilter(this);
    setAccessibleTraits(this, {.invisible = true});
    follow();
}

bool OverlayDecoration::isRunning() const {
    return frames_->isRunning();
}

bool OverlayDecoration::eventFilter(QObject* watched, QEvent* event) {
    if (watched == target_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            follow();
            break;
        default:
            break;
        }
    }
    return false;
}

void OverlayDecoration::follow() {
    setGeometry(target_->geometry().adjusted(-outset_, -outset_, outset_, outset_));
    raise();
}

QRectF OverlayDecoration::targetRect() const {
    return QRectF(rect()).adjusted(outset_, outset_, -outset_, -outset_);
}

TessaronFlowRing::TessaronFlowRing(QWidget* target, double cornerRadius)
    : OverlayDecoration(target, ringOutset)
    , cornerRadius_(cornerRadius) {
    setObjectName(QStringLiteral("tessaron.node.flowRing"));
    setAccessibleName(QString());
}

void TessaronFlowRing::setAnimates(bool animates) {
    frames()->setAnimates(animates);
}

void TessaronFlowRing::setPhaseOverride(std::optional<double> phase) {
    phaseOverride_ = phase;
    update();
}

void TessaronFlowRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The ring sits 4 points inside the row's edge.
    const QRectF ring = targetRect().adjusted(4, 4, -4, -4);
    const QPainterPath path = roundedRect(ring, cornerRadius_);

    QLinearGradient glow(ring.topLeft(), ring.bottomRight());
    glow.setStops({{0, TessaronTheme::flowOrange()},
                   {0.25, TessaronTheme::flowPink()},
                   {0.5, TessaronTheme::flowPurple()},
                   {0.75, TessaronTheme::flowBlue()},
                   {1, TessaronTheme::flowCyan()}});
    strokeGlow(painter, path, glow, 4, 3, 0.3);

    const double phase =
        frames()->animates() ? flowRingPhase(currentFrameDate()) : phaseOverride_.value_or(0);
    const auto band = clockwiseConicalGradient(ring.center(), phase * 360, flowRingStops());
    painter.strokePath(path, QPen(band, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
}

TessaronNudgeBorder::TessaronNudgeBorder(QWidget* target, double cornerRadius, double lineWidth, double inset)
    : OverlayDecoration(target, nudgeOutset)
    , cornerRadius_(cornerRadius)
    , lineWidth_(lineWidth)
    , inset_(inset) {
    setObjectName(QStringLiteral("tessaron.nudgeBorder"));
    hide();
}

void TessaronNudgeBorder::setActive(bool active) {
    if (active_ == active)
        return;
    active_ = active;
    setVisible(active);
    restartRotation();
}

void TessaronNudgeBorder::setAnimates(bool animates) {
    if (animates_ == animates)
        return;
    animates_ = animates;
    restartRotation();
}

void TessaronNudgeBorder::restartRotation() {
    restartedAt_ = currentFrameDate();
    frames()->setAnimates(active_ && animates_);
    update();
}

void TessaronNudgeBorder::paintEvent(QPaintEvent*) {
    if (!active_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double offset = inset_ - lineWidth_;
    const QRectF border = targetRect().adjusted(offset, offset, -offset, -offset);
    const double angle = nudgeAngle(active_, animates_, restartedAt_, currentFrameDate());
    const auto gradient = clockwiseConicalGradient(border.center(), angle, nudgeStops());

    // Inner strokes: the glow is three lines wide, the crisp line one, both inside the border's edge.
    const double glowWidth = 3 * lineWidth_;
    strokeGlow(painter,
               roundedRect(border.adjusted(glowWidth / 2, glowWidth / 2, -glowWidth / 2, -glowWidth / 2),
                           cornerRadius_),
               gradient, glowWidth, 8, 0.45);
    const double half = lineWidth_ / 2;
    painter.strokePath(roundedRect(border.adjusted(half, half, -half, -half), cornerRadius_),
                       QPen(gradient, lineWidth_, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
}

} // namespace tessaron
