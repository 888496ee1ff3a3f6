#include "screens/flow_ring.hpp"

#include "screens/accessible_traits.hpp"
#include "screens/frame_driver.hpp"
#include "screens/tessaron_theme.hpp"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

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

// A premultiplied colour times an alpha out of 255, rounded: two channels at a time in one word.
QRgb scaled(QRgb color, unsigned alpha) {
    const auto scalePair = [alpha](quint32 pair) {
        pair *= alpha;
        return ((pair + ((pair >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    };
    return scalePair(color & 0xff00ff) | (scalePair((color >> 8) & 0xff00ff) << 8);
}

QImage blankLike(const QImage& image) {
    QImage blank(image.size(), QImage::Format_ARGB32_Premultiplied);
    blank.setDevicePixelRatio(image.devicePixelRatio());
    blank.fill(Qt::transparent);
    return blank;
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

void TurningGradientPicture::reset(const QImage& coverage, const QImage& under, const QPointF& center,
                                   const QGradientStops& clockwiseStops) {
    // Qt's own interpolation of the stops, sampled once a step.
    QImage strip(angleSteps, 1, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QLinearGradient gradient(0, 0, angleSteps, 0);
    gradient.setStops(clockwiseStops);
    QPainter(&strip).fillRect(strip.rect(), gradient);
    for (int step = 0; step < angleSteps; ++step)
        colors_[step] = strip.pixel(step, 0);

    const QImage shape = coverage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    under_ = under.isNull() ? blankLike(shape) : under.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    frame_ = under_.copy();
    const QPointF pixelCenter = center * shape.devicePixelRatio();
    covered_.clear();
    for (int y = 0; y < shape.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shape.constScanLine(y));
        for (int x = 0; x < shape.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            // Screen y grows downwards, so the angle grows clockwise.
            const double turn =
                std::atan2(y + 0.5 - pixelCenter.y(), x + 0.5 - pixelCenter.x()) / (2 * std::numbers::pi);
            const auto angle = static_cast<int>(std::floor(turn * angleSteps)) & (angleSteps - 1);
            covered_.push_back({static_cast<quint32>(y * shape.width() + x), static_cast<quint16>(angle),
                                static_cast<quint8>(qAlpha(line[x]))});
        }
    }
}

bool TurningGradientPicture::fits(const QSize& size, qreal devicePixelRatio) const {
    return !frame_.isNull() && frame_.devicePixelRatio() == devicePixelRatio &&
           frame_.deviceIndependentSize().toSize() == size;
}

const QImage& TurningGradientPicture::frame(double startDegrees) {
    const auto start = static_cast<unsigned>(std::lround(startDegrees / 360 * angleSteps));
    auto* pixels = reinterpret_cast<QRgb*>(frame_.bits());
    const auto* below = reinterpret_cast<const QRgb*>(under_.constBits());
    for (const CoveredPixel& pixel : covered_) {
        const QRgb color = scaled(colors_[(pixel.angle - start) & (angleSteps - 1)], pixel.coverage);
        pixels[pixel.index] = color + scaled(below[pixel.index], 255 - qAlpha(color));
    }
    return frame_;
}

QImage OverlayDecoration::blankCanvas() const {
    const qreal ratio = devicePixelRatioF();
    QImage canvas((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    return canvas;
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
    if (!picture_.fits(size(), devicePixelRatioF()))
        preparePicture();
    const double phase =
        frames()->animates() ? flowRingPhase(currentFrameDate()) : phaseOverride_.value_or(0);
    QPainter(this).drawImage(0, 0, picture_.frame(phase * 360));
}

// The glow stays still; only the band over it turns.
void TessaronFlowRing::preparePicture() {
    // The ring sits 4 points inside the row's edge.
    const QRectF ring = targetRect().adjusted(4, 4, -4, -4);
    const QPainterPath path = roundedRect(ring, cornerRadius_);

    QImage glowImage = blankCanvas();
    QPainter glowPainter(&glowImage);
    glowPainter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient glow(ring.topLeft(), ring.bottomRight());
    glow.setStops({{0, TessaronTheme::flowOrange()},
                   {0.25, TessaronTheme::flowPink()},
                   {0.5, TessaronTheme::flowPurple()},
                   {0.75, TessaronTheme::flowBlue()},
                   {1, TessaronTheme::flowCyan()}});
    strokeGlow(glowPainter, path, glow, 4, 3, 0.3);
    glowPainter.end();

    QImage band = blankCanvas();
    QPainter bandPainter(&band);
    bandPainter.setRenderHint(QPainter::Antialiasing);
    bandPainter.strokePath(path, QPen(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    bandPainter.end();
    picture_.reset(band, glowImage, ring.center(), flowRingStops());
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
    if (!picture_.fits(size(), devicePixelRatioF()))
        preparePicture();
    const double angle = nudgeAngle(active_, animates_, restartedAt_, currentFrameDate());
    QPainter(this).drawImage(0, 0, picture_.frame(angle));
}

// Glow and line share the gradient's colour at every pixel: their shape, drawn in white, is all that stays.
void TessaronNudgeBorder::preparePicture() {
    const double offset = inset_ - lineWidth_;
    const QRectF border = targetRect().adjusted(offset, offset, -offset, -offset);
    QImage shape = blankCanvas();
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    // Inner strokes: the glow is three lines wide, the crisp line one, both inside the border's edge.
    const double glowWidth = 3 * lineWidth_;
    strokeGlow(painter,
               roundedRect(border.adjusted(glowWidth / 2, glowWidth / 2, -glowWidth / 2, -glowWidth / 2),
                           cornerRadius_),
               Qt::white, glowWidth, 8, 0.45);
    const double half = lineWidth_ / 2;
    painter.strokePath(roundedRect(border.adjusted(half, half, -half, -half), cornerRadius_),
                       QPen(Qt::white, lineWidth_, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.end();
    picture_.reset(shape, QImage(), border.center(), nudgeStops());
}

} // namespace tessaron
