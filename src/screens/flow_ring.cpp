#include "screens/flow_ring.hpp"

#include "widgets/accessible_traits.hpp"
#include "widgets/frame_driver.hpp"
#include "widgets/gaussian_blur.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QEvent>
#include <QFocusFrame>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>

namespace tessaron {

namespace {

constexpr double flowPeriod = 4.0;
constexpr double nudgePeriod = 2.4;
// A blur's radius is taken as twice the Gaussian's standard deviation; the decorations reach three
// deviations beyond their strokes.
constexpr double flowGlowBlur = 6;
constexpr double nudgeGlowBlur = 8;
constexpr int ringOutset = 4 + 6;
constexpr int nudgeOutset = 14;

QColor transparent(QColor color) {
    color.setAlphaF(0);
    return color;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// A premultiplied colour times an alpha out of 255, rounded: two channels at a time in one word.
QRgb scaled(QRgb color, unsigned alpha) {
    const auto scalePair = [alpha](quint32 pair) {
        pair *= alpha;
        return ((pair + ((pair >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    };
    return scalePair(color & 0xff00ff) | (scalePair((color >> 8) & 0xff00ff) << 8);
}

// The pixels of `image` with at least `leastAlpha`, in device-independent pixels.
QRegion coveredRegion(const QImage& image, int leastAlpha = 1) {
    const qreal ratio = image.devicePixelRatio();
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width();) {
            if (qAlpha(line[x]) < leastAlpha) {
                ++x;
                continue;
            }
            const int from = x;
            while (x < image.width() && qAlpha(line[x]) >= leastAlpha)
                ++x;
            region += QRectF(from / ratio, y / ratio, (x - from) / ratio, 1 / ratio).toAlignedRect();
        }
    }
    return region;
}

// Every live decoration: while one takes its picture of what lies beneath, all of them draw nothing and
// hide nothing, so none is taken into another's picture.
std::vector<OverlayDecoration*>& decorations() {
    static std::vector<OverlayDecoration*> all;
    return all;
}
bool takingBeneath = false;

// The pictures decorations show now, by shape: a decoration that appears takes the one of its shape while
// another still holds it. The last holder to hide lets it go.
std::map<QString, std::weak_ptr<const OverlayDecoration::Picture>>& sharedPictures() {
    static std::map<QString, std::weak_ptr<const OverlayDecoration::Picture>> pictures;
    return pictures;
}

QPainterPath insetRoundedRect(const QRectF& rect, double inset, double radius) {
    return roundedRect(rect.adjusted(inset, inset, -inset, -inset), radius);
}

// Hands every event of the objects it watches on, and lets it through.
class EventWatch final : public QObject {
public:
    EventWatch(QObject* parent, std::function<void(QEvent::Type)> seen)
        : QObject(parent)
        , seen_(std::move(seen)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        seen_(event->type());
        return false;
    }

private:
    std::function<void(QEvent::Type)> seen_;
};

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

std::shared_ptr<const TurningGradientPicture::Shape>
TurningGradientPicture::makeShape(const QImage& coverage, const QPointF& center,
                                  const QGradientStops& clockwiseStops) {
    auto shape = std::make_shared<Shape>();
    // Qt's own interpolation of the stops, sampled once a step.
    QImage strip(angleSteps, 1, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QLinearGradient gradient(0, 0, angleSteps, 0);
    gradient.setStops(clockwiseStops);
    QPainter(&strip).fillRect(strip.rect(), gradient);
    for (int step = 0; step < angleSteps; ++step)
        shape->colors[step] = strip.pixel(step, 0);
    shape->opaque = std::ranges::all_of(shape->colors, [](QRgb color) { return qAlpha(color) == 255; });

    const QImage image = coverage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    shape->size = image.deviceIndependentSize().toSize();
    shape->ratio = image.devicePixelRatio();
    shape->region = coveredRegion(image);
    const QPointF pixelCenter = center * image.devicePixelRatio();
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            // Screen y grows downwards, so the angle grows clockwise.
            const double turn =
                std::atan2(y + 0.5 - pixelCenter.y(), x + 0.5 - pixelCenter.x()) / (2 * std::numbers::pi);
            const auto angle = static_cast<int>(std::floor(turn * angleSteps)) & (angleSteps - 1);
            shape->covered.push_back({static_cast<quint32>(y * image.width() + x),
                                      static_cast<quint16>(angle), static_cast<quint8>(qAlpha(line[x]))});
        }
    }
    return shape;
}

void TurningGradientPicture::reset(std::shared_ptr<const Shape> shape) {
    shape_ = std::move(shape);
    under_ = QImage();
    frame_ = QImage();
    showingThrough_.clear();
}

void TurningGradientPicture::clear() {
    reset(nullptr);
}

void TurningGradientPicture::setUnder(const QImage& under) {
    under_ = under.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    frame_ = under_.copy();
    showingThrough_.clear();
    if (!shape_ || !shape_->opaque)
        return;
    // An opaque colour scaled by the coverage has the coverage as its alpha.
    const auto* below = reinterpret_cast<const QRgb*>(under_.constBits());
    showingThrough_.reserve(shape_->covered.size());
    for (const CoveredPixel& pixel : shape_->covered)
        showingThrough_.push_back(scaled(below[pixel.index], 255 - pixel.coverage));
}

bool TurningGradientPicture::fits(const QSize& size, qreal devicePixelRatio) const {
    return shape_ && shape_->ratio == devicePixelRatio && shape_->size == size;
}

const QImage& TurningGradientPicture::frame(double startDegrees) {
    if (!shape_ || frame_.isNull())
        return frame_;
    const auto start = static_cast<unsigned>(std::lround(startDegrees / 360 * angleSteps));
    auto* pixels = reinterpret_cast<QRgb*>(frame_.bits());
    const auto* below = reinterpret_cast<const QRgb*>(under_.constBits());
    const auto& colors = shape_->colors;
    if (!showingThrough_.empty()) {
        const QRgb* through = showingThrough_.data();
        for (const CoveredPixel& pixel : shape_->covered)
            pixels[pixel.index] =
                scaled(colors[(pixel.angle - start) & (angleSteps - 1)], pixel.coverage) + *through++;
        return frame_;
    }
    for (const CoveredPixel& pixel : shape_->covered) {
        const QRgb color = scaled(colors[(pixel.angle - start) & (angleSteps - 1)], pixel.coverage);
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
    , frames_(new FrameDriver(this))
    , focusFrameWatch_(new EventWatch(this, [this](QEvent::Type type) {
        if (type == QEvent::ParentChange || type == QEvent::Show || type == QEvent::Hide ||
            type == QEvent::Move || type == QEvent::Resize)
            leaveFocusFrameFree();
    })) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    target_->installEventFilter(this);
    setAccessibleTraits(this, {.invisible = true});
    decorations().push_back(this);
    follow();
}

OverlayDecoration::~OverlayDecoration() {
    std::erase(decorations(), this);
}

bool OverlayDecoration::isRunning() const {
    return frames_->isRunning();
}

bool OverlayDecoration::holdsPicture() const {
    return shared_ || !picture_.isEmpty();
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
        // Whoever rings the focus lays the ring over the control as it takes the focus.
        case QEvent::FocusIn:
            followFocusFrame();
            break;
        default:
            break;
        }
    }
    if (isPaintedBeneath(watched, event))
        retakeBeneath();
    return false;
}

// Qt paints what lies beneath but not where the decoration draws: a change that reaches there is painted up
// to the mask's edge.
bool OverlayDecoration::isPaintedBeneath(QObject* watched, QEvent* event) const {
    if (event->type() != QEvent::Paint || takingBeneath || watched == this)
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    // What lay beneath may have moved to another window since (the focus ring follows the focus there).
    if (widget->window() != window())
        return false;
    const QRect painted = static_cast<QPaintEvent*>(event)->region().boundingRect().adjusted(-1, -1, 1, 1);
    return mask().intersects(
        painted.translated(widget->mapTo(window(), QPoint()) - mapTo(window(), QPoint())));
}

void OverlayDecoration::follow() {
    setGeometry(target_->geometry().adjusted(-outset_, -outset_, outset_, outset_));
    raise();
    forgetBeneath();
}

QRectF OverlayDecoration::targetRect() const {
    return QRectF(rect()).adjusted(outset_, outset_, -outset_, -outset_);
}

// The mask must be in place before a paint: Qt clips the paint and what lies beneath by it. A hidden
// decoration is resized too (a picture taken of the window sends its hidden widgets their sizes): it makes
// nothing then, and what it held no longer fits.
void OverlayDecoration::resizeEvent(QResizeEvent*) {
    if (isVisible())
        preparePictureForSize();
    else
        releasePicture();
}

void OverlayDecoration::showEvent(QShowEvent*) {
    if (!picture_.fits(size(), devicePixelRatioF()))
        preparePictureForSize();
    else
        forgetBeneath();
}

void OverlayDecoration::hideEvent(QHideEvent*) {
    releasePicture();
}

void OverlayDecoration::preparePictureForSize() {
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("%1 %2x%3@%4").arg(shapeKey()).arg(width()).arg(height()).arg(ratio);
    auto& pictures = sharedPictures();
    shared_ = pictures[key].lock();
    if (!shared_) {
        auto made = std::make_shared<Picture>(makePicture());
        made->mask = made->turning->region + (made->still.isNull() ? QRegion() : coveredRegion(made->still));
        shared_ = std::move(made);
        std::erase_if(pictures, [](const auto& entry) { return entry.second.expired(); });
        pictures[key] = shared_;
    }
    picture_.reset(shared_->turning);
    followFocusFrame();
    beneathTaken_ = true;
    forgetBeneath();
}

void OverlayDecoration::followFocusFrame() {
    QWidget* frame = target_->findChild<QFocusFrame*>(QString(), Qt::FindDirectChildrenOnly);
    if (frame && frame != focusFrame_) {
        if (focusFrame_)
            focusFrame_->removeEventFilter(focusFrameWatch_);
        focusFrame_ = frame;
        frame->installEventFilter(focusFrameWatch_);
        // Emitted while the frame still looks alive: it is let go of here.
        connect(frame, &QObject::destroyed, this, [this] {
            focusFrame_ = nullptr;
            leaveFocusFrameFree();
        });
    }
    leaveFocusFrameFree();
}

// The mask follows the frame: it leaves the frame's pixels out while the frame lies over the target, and
// covers them again once it has gone with the focus or the keyboard's lead.
void OverlayDecoration::leaveFocusFrameFree() {
    if (focusFrame_ && focusFrame_->parentWidget() != target_) {
        focusFrame_->removeEventFilter(focusFrameWatch_);
        disconnect(focusFrame_, nullptr, this, nullptr);
        focusFrame_ = nullptr;
    }
    if (shared_)
        setMask(shared_->mask - focusFramePixels());
}

// The pixels the frame mostly covers, in this widget's coordinates. A mask's pixels are whole points: drawn
// at one pixel a point, a point the ring's edge only grazes stays the decoration's, over its picture of what
// lies beneath (the ring included), so no bare point shows between ring and border. Drawn once as the frame
// comes or changes, never per frame.
QRegion OverlayDecoration::focusFramePixels() const {
    if (!focusFrame_ || focusFrame_->isHidden())
        return {};
    QImage drawn(focusFrame_->size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    focusFrame_->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    return coveredRegion(drawn, 128)
        .translated(focusFrame_->mapTo(window(), QPoint()) - mapTo(window(), QPoint()));
}

void OverlayDecoration::releasePicture() {
    stopWatchingBeneath();
    beneathTaken_ = false;
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    picture_.clear();
    shared_.reset();
    clearMask();
}

void OverlayDecoration::paintEvent(QPaintEvent*) {
    if (takingBeneath)
        return;
    if (!picture_.fits(size(), devicePixelRatioF()))
        preparePictureForSize();
    QPainter(this).drawImage(0, 0, picture_.frame(startDegrees()));
}

// Until a picture of what lies beneath is taken again, the decoration draws over the window as any widget
// does: Qt paints what lies beneath first. The picture can only be taken outside a paint, which a paint of
// the window within another would abort.
void OverlayDecoration::forgetBeneath() {
    if (!beneathTaken_)
        return;
    beneathTaken_ = false;
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    picture_.setUnder(shared_ && !shared_->still.isNull() ? shared_->still : blankCanvas());
    QMetaObject::invokeMethod(this, &OverlayDecoration::takeBeneath, Qt::QueuedConnection);
}

// Something beneath was painted where the decoration lies: Qt painted it up to the mask, and the decoration
// keeps drawing the picture it has, opaque, until a new one is taken. Drawn over the window instead, its
// frame in this very pass would land on its own last frame, which Qt did not paint over.
void OverlayDecoration::retakeBeneath() {
    if (!beneathTaken_)
        return;
    beneathTaken_ = false;
    QMetaObject::invokeMethod(this, &OverlayDecoration::takeBeneath, Qt::QueuedConnection);
}

void OverlayDecoration::takeBeneath() {
    if (beneathTaken_ || !isVisible() || !picture_.fits(size(), devicePixelRatioF()))
        return;
    QImage beneath = blankCanvas();
    beneath.fill(window()->palette().color(QPalette::Window));
    takingBeneath = true;
    std::vector<OverlayDecoration*> opaque;
    for (auto* decoration : decorations()) {
        if (decoration->testAttribute(Qt::WA_OpaquePaintEvent)) {
            decoration->setAttribute(Qt::WA_OpaquePaintEvent, false);
            opaque.push_back(decoration);
        }
    }
    {
        QPainter painter(&beneath);
        window()->render(&painter, QPoint(), QRegion(QRect(mapTo(window(), QPoint()), size())),
                         QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    for (auto* decoration : opaque)
        decoration->setAttribute(Qt::WA_OpaquePaintEvent, true);
    takingBeneath = false;
    // Rendering the window may have hidden or resized this decoration's picture away.
    if (!shared_ || !picture_.fits(size(), devicePixelRatioF()))
        return;
    if (!shared_->still.isNull())
        QPainter(&beneath).drawImage(0, 0, shared_->still);
    picture_.setUnder(beneath);
    beneathTaken_ = true;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    watchBeneath();
    // A moving decoration shows the new picture with its next frame: a repaint now would cost the window a
    // paint pass of its own after every change beneath (a crossfade, a spinner).
    if (!frames_->isRunning())
        update();
}

void OverlayDecoration::stopWatchingBeneath() {
    for (const auto& widget : std::as_const(beneath_))
        if (widget)
            widget->removeEventFilter(this);
    beneath_.clear();
}

// Every widget that lies beneath, from the window down, is watched for paints.
void OverlayDecoration::watchBeneath() {
    stopWatchingBeneath();
    const QRect area(mapTo(window(), QPoint()), size());
    QList<QWidget*> pending{window()};
    while (!pending.isEmpty()) {
        QWidget* widget = pending.takeLast();
        if (widget == this || !widget->isVisible() ||
            !QRect(widget->mapTo(window(), QPoint()), widget->size()).intersects(area))
            continue;
        // The target is watched for as long as the decoration lives.
        if (widget != target_) {
            widget->installEventFilter(this);
            beneath_.append(widget);
        }
        for (auto* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!child->isWindow() && std::ranges::find(decorations(), child) == decorations().end())
                pending.append(child);
    }
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

double TessaronFlowRing::startDegrees() const {
    return 360 * (frames()->animates() ? flowRingPhase(currentFrameDate()) : phaseOverride_.value_or(0));
}

QString TessaronFlowRing::shapeKey() const {
    return QStringLiteral("flowRing %1").arg(cornerRadius_);
}

// The glow stays still; only the band over it turns.
OverlayDecoration::Picture TessaronFlowRing::makePicture() const {
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
    glowPainter.setOpacity(0.5);
    glowPainter.strokePath(path, QPen(glow, 4, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    glowPainter.end();
    gaussianBlur(glowImage, flowGlowBlur / 2 * glowImage.devicePixelRatio());

    QImage band = blankCanvas();
    QPainter bandPainter(&band);
    bandPainter.setRenderHint(QPainter::Antialiasing);
    bandPainter.strokePath(path, QPen(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    bandPainter.end();
    return {glowImage, TurningGradientPicture::makeShape(band, ring.center(), flowRingStops()), {}};
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

double TessaronNudgeBorder::angle() const {
    return nudgeAngle(active_, animates_, restartedAt_, currentFrameDate());
}

// Appearing again, as when the window comes back, starts the turn afresh.
void TessaronNudgeBorder::showEvent(QShowEvent* event) {
    OverlayDecoration::showEvent(event);
    restartRotation();
}

void TessaronNudgeBorder::restartRotation() {
    restartedAt_ = currentFrameDate();
    frames()->setAnimates(active_ && animates_);
    update();
}

double TessaronNudgeBorder::startDegrees() const {
    return angle();
}

QString TessaronNudgeBorder::shapeKey() const {
    return QStringLiteral("nudge %1 %2 %3").arg(cornerRadius_).arg(lineWidth_).arg(inset_);
}

// Glow and line share the gradient's colour at every pixel: their shape, drawn in white, is all that stays.
OverlayDecoration::Picture TessaronNudgeBorder::makePicture() const {
    const double offset = inset_ - lineWidth_;
    const QRectF border = targetRect().adjusted(offset, offset, -offset, -offset);
    // Inner strokes: the glow is three lines wide, the crisp line one, both inside the border's edge.
    const double glowWidth = 3 * lineWidth_;
    QImage shape = blankCanvas();
    QPainter glowPainter(&shape);
    glowPainter.setRenderHint(QPainter::Antialiasing);
    glowPainter.setOpacity(0.45);
    glowPainter.strokePath(insetRoundedRect(border, glowWidth / 2, cornerRadius_),
                           QPen(Qt::white, glowWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    glowPainter.end();
    gaussianBlur(shape, nudgeGlowBlur / 2 * shape.devicePixelRatio());
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(insetRoundedRect(border, lineWidth_ / 2, cornerRadius_),
                       QPen(Qt::white, lineWidth_, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.end();
    return {{}, TurningGradientPicture::makeShape(shape, border.center(), nudgeStops()), {}};
}

} // namespace tessaron
