#include "screens/globe/globe_renderer.hpp"

#include "screens/globe/arc_strokes.hpp"
#include "screens/globe/dot_layer.hpp"
#include "screens/globe/land_dots.hpp"
#include "screens/globe/marker_sprites.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <tuple>
#include <vector>

namespace tessaron {

using namespace TessaronGlobeGeometry;

namespace {

constexpr double twoPi = 2 * std::numbers::pi;
constexpr int arcSegments = 64;
constexpr double arcRevealDuration = 0.8;
constexpr double cometPeriod = 2.4;

QColor rgb(double red, double green, double blue, double alpha = 1) {
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue),
                            static_cast<float>(alpha));
}

QColor faded(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

void disc(QPainter& painter, const QPointF& center, double radius, const QBrush& brush) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawEllipse(center, radius, radius);
}

double fractionalPart(double value) {
    return value - std::floor(value);
}

struct Metrics {
    QPointF center;
    double radius;
    double unit;
};

// A point of the arc, lifted above the surface towards its middle.
struct ArcPath {
    LatLon user;
    LatLon exit;
    double lift;
    const TessaronGlobeRotation& rotation;
    const Metrics& metrics;

    struct Sample {
        QPointF point;
        bool visible;
    };
    Sample at(double fraction) const {
        const LatLon p = interpolate(user, exit, fraction);
        const double k = 1 + lift * std::sin(std::numbers::pi * fraction);
        const Vector3 v = project(p.lat, p.lon, rotation);
        const bool visible = v.z > 0 || k * std::hypot(v.x, v.y) > 1;
        return {
            {metrics.center.x() + metrics.radius * k * v.x, metrics.center.y() - metrics.radius * k * v.y},
            visible};
    }
};

// The near dots' gradient as opacities read once: every covered pixel of a new size asks for two of them.
struct AlphaStop {
    double location;
    float alpha;
};

const std::vector<AlphaStop>& alphaStops() {
    static const std::vector<AlphaStop> stops = [] {
        std::vector<AlphaStop> result;
        for (const auto& [location, color] : TessaronGlobeRenderer::nearDotGradient())
            result.push_back({location, color.alphaF()});
        return result;
    }();
    return stops;
}

// The gradient's opacity at a fraction of the radius.
double gradientAlpha(double fraction) {
    const auto& stops = alphaStops();
    const auto last = static_cast<std::ptrdiff_t>(stops.size()) - 1;
    // The stop at or above the fraction, rounded up without a call into the maths library.
    const double scaled = fraction * static_cast<double>(last);
    const auto whole = static_cast<std::ptrdiff_t>(scaled);
    const std::ptrdiff_t upper = std::min(scaled > static_cast<double>(whole) ? whole + 1 : whole, last);
    const std::ptrdiff_t lower = std::max<std::ptrdiff_t>(upper - 1, 0);
    const AlphaStop& below = stops[static_cast<std::size_t>(lower)];
    const AlphaStop& above = stops[static_cast<std::size_t>(upper)];
    const double span = above.location - below.location;
    const double t = span > 0 ? (fraction - below.location) / span : 0;
    return below.alpha + t * (above.alpha - below.alpha);
}

// The near dots' opacity by pixel of the stage, kept while the size stays: a pixel's opacity is worked
// out the first time a dot covers it, so a first picture pays only for the pixels its dots cover, not for
// the whole square.
class NearDotAlphas {
public:
    void prepare(const QSize& size, const QPointF& center, double radius) {
        if (madeFor_ == std::tuple(size, center, radius) && !alphas_.empty())
            return;
        madeFor_ = {size, center, radius};
        width_ = size.width();
        alphas_.assign(static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()),
                       unknown);
    }
    unsigned at(int x, int y) {
        quint16& alpha = alphas_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                 static_cast<std::size_t>(x)];
        if (alpha == unknown)
            alpha = static_cast<quint16>(
                TessaronGlobeRenderer::nearDotAlpha(x, y, std::get<1>(madeFor_), std::get<2>(madeFor_)));
        return alpha;
    }

private:
    static constexpr quint16 unknown = 0xffff;
    std::vector<quint16> alphas_;
    std::tuple<QSize, QPointF, double> madeFor_;
    int width_ = 0;
};

NearDotAlphas& nearDotAlphas() {
    static NearDotAlphas alphas;
    return alphas;
}

// The square that holds the glow, the sphere, the dots and the arc, in whole canvas points: nothing else
// changes from frame to frame but what is drawn over it. An arc rises up to 1.18 radii, and its glow and
// edge reach 4 points beyond; without one the square is no larger than the glow, as every frame copies it.
QRect stageRect(const QSizeF& size, const Metrics& m, bool withArc) {
    const double glowReach = 1.14 * m.radius + 1;
    const double reach = withArc ? std::max(glowReach, 1.18 * m.radius + 4) : glowReach;
    const QRect square(QPoint(static_cast<int>(std::floor(m.center.x() - reach)),
                              static_cast<int>(std::floor(m.center.y() - reach))),
                       QPoint(static_cast<int>(std::ceil(m.center.x() + reach)),
                              static_cast<int>(std::ceil(m.center.y() + reach))));
    return square.intersected(QRect(QPoint(0, 0), size.toSize()));
}

// The background, the glow and the sphere change only with the size: drawn once per size into an opaque
// picture of the stage that every frame starts from.
const QImage& stage(const QRect& rect, qreal ratio, const Metrics& m) {
    static QImage cached;
    static QRect cachedRect;
    const QSize pixels(static_cast<int>(std::ceil(rect.width() * ratio)),
                       static_cast<int>(std::ceil(rect.height() * ratio)));
    if (cachedRect != rect || cached.size() != pixels || cached.devicePixelRatio() != ratio) {
        cachedRect = rect;
        cached = QImage(pixels, QImage::Format_RGB32);
        cached.setDevicePixelRatio(ratio);
        cached.fill(TessaronTheme::background());
        QPainter backdrop(&cached);
        backdrop.setRenderHint(QPainter::Antialiasing);
        backdrop.translate(-rect.topLeft());
        TessaronGlobeRenderer::drawAtmosphere(backdrop, m.center, m.radius);
        TessaronGlobeRenderer::drawSphere(backdrop, m.center, m.radius);
    }
    return cached;
}

// `origin` is the canvas point at the picture's top left corner.
void drawArc(QImage& picture, const ArcPath& arc, double reveal, const QPointF& origin, qreal ratio) {
    struct Segment {
        QPointF from, to;
        QColor color;
    };
    std::array<Segment, arcSegments> segments;
    int count = 0;
    for (int i = 0; i < arcSegments && static_cast<double>(i) / arcSegments < reveal; ++i) {
        const double f0 = static_cast<double>(i) / arcSegments;
        const double f1 = std::min(static_cast<double>(i + 1) / arcSegments, reveal);
        const auto a = arc.at(f0);
        const auto b = arc.at(f1);
        if (a.visible && b.visible)
            segments[count++] = {a.point, b.point, TessaronGlobeRenderer::arcColor((f0 + f1) / 2)};
    }
    for (const auto& [width, alpha] : {std::pair{6.0, 0.18}, std::pair{2.0, 1.0}}) {
        for (int i = 0; i < count; ++i)
            ArcStrokes::stroke(picture, (segments[i].from - origin) * ratio,
                               (segments[i].to - origin) * ratio, width * ratio,
                               faded(segments[i].color, alpha));
    }
}

// The dots are gathered straight onto a copy of the stage at the device's pixel density: the far dots'
// shape filled first, the near ones' over it, each overlap covered once; the arc is stroked over them on
// the same copy. The canvas around the stage is background.
void drawStageLandAndArc(QPainter& painter, const QSizeF& size, const Metrics& m,
                         const TessaronGlobeRotation& rotation, const std::optional<ArcPath>& arc,
                         double reveal) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRect rect = stageRect(size, m, arc.has_value());
    const QRegion around = QRegion(QRect(QPoint(0, 0), size.toSize())) - QRegion(rect);
    for (const QRect& strip : around)
        painter.fillRect(strip, TessaronTheme::background());
    DotLayer layer(stage(rect, ratio, m));
    const double unit = m.unit * ratio;
    const QPointF center = (m.center - rect.topLeft()) * ratio;
    const double radius = m.radius * ratio;
    // Kept from frame to frame: every frame places as many dots.
    static LandDotPlaces places;
    placeLandDots(rotation, center.x(), center.y(), radius, places);
    const std::size_t count = places.z.size();
    const double farRadius = 0.8 * unit;
    for (std::size_t i = 0; i < count; ++i) {
        if (places.z[i] <= 0)
            layer.add({places.x[i], places.y[i]}, farRadius);
    }
    layer.fill(rgb(0.55, 0.75, 1.0).rgb(), 0.07);
    for (std::size_t i = 0; i < count; ++i) {
        if (places.z[i] > 0)
            layer.add({places.x[i], places.y[i]}, unit * (0.55 + 0.45 * places.z[i]) * 1.1);
    }
    // The near shape's gradient runs from the sphere's centre to its edge.
    auto& alphas = nearDotAlphas();
    alphas.prepare(layer.image().size(), center, radius);
    layer.fill(rgb(0.80, 0.90, 1.00).rgb(), [&alphas](int x, int y) { return alphas.at(x, y); });
    if (arc)
        drawArc(layer.image(), *arc, reveal, rect.topLeft(), ratio);
    painter.drawImage(rect.topLeft(), layer.image());
}

void drawComet(QPainter& painter, const ArcPath& arc, double date, double unit) {
    const auto comet = TessaronGlobeRenderer::cometFractions(date);
    for (int j = 5; j >= 1; --j) {
        const auto tail = arc.at(comet.tail[j - 1]);
        if (tail.visible)
            MarkerSprites::disc(painter, tail.point, 3.2 * unit * (1 - j / 6.0), Qt::white,
                                0.55 * (1 - j / 6.0));
    }
    const auto head = arc.at(comet.head);
    if (head.visible) {
        MarkerSprites::disc(painter, head.point, 6.5 * unit, Qt::white, 0.28);
        MarkerSprites::disc(painter, head.point, 3.2 * unit, Qt::white);
    }
}

void drawUser(QPainter& painter, const QPointF& at, double date, bool animates, double unit) {
    const double a = 4.5 * unit;
    MarkerSprites::halo(painter, at, 2.8 * a, Qt::white, 0.35);
    if (animates) {
        const double s = 0.5 + 0.5 * std::sin(twoPi * fractionalPart(date / cometPeriod));
        MarkerSprites::ring(painter, at, a * (2.1 + 1.5 * s), 1.25, Qt::white, 0.18 + 0.28 * (1 - s));
    }
    MarkerSprites::disc(painter, at, a, Qt::white);
}

void drawExit(QPainter& painter, const QPointF& at, const QColor& color, double opacity, double unit) {
    const double b = 5 * unit;
    MarkerSprites::halo(painter, at, 2.8 * b, color, 0.35, opacity);
    MarkerSprites::disc(painter, at, b, color, opacity);
    MarkerSprites::disc(painter, at, 2 * unit, Qt::white, 0.9 * opacity);
}

} // namespace

namespace TessaronGlobeRenderer {

LatLon viewOrientation(const TessaronGlobeState& state, const TessaronGlobeFrame& frame) {
    const auto focus = state.focusPoint();
    if (!focus)
        return {0, frame.animates ? idleSpinAngle(frame.date) : 0};
    LatLon point = *focus;
    const auto* tween = frame.motion ? &frame.motion->focusTween : nullptr;
    if (frame.animates && tween && *tween && (*tween)->isRunning(frame.date))
        point = (*tween)->position(frame.date);
    const double sway = frame.animates ? 28 * std::sin(twoPi * frame.date / 24) : 0;
    return {std::clamp(point.lat, -45.0, 45.0), point.lon + sway};
}

bool isTransitioning(const TessaronGlobeState& state, const TessaronGlobeFrame& frame) {
    if (!frame.animates || !frame.motion)
        return false;
    const auto& motion = *frame.motion;
    const bool turning = motion.focusTween && motion.focusTween->isRunning(frame.date);
    const auto reveal = arcReveal(state, frame);
    const bool revealing = state.showsArc() && state.visual == TessaronVisualState::connecting &&
                           motion.arcRevealStart && reveal.value_or(0) < 1;
    const bool fading = !state.showsExit() && motion.exitFade &&
                        frame.date - motion.exitFade->start < TessaronGlobeExitFade::duration;
    return turning || revealing || fading;
}

std::optional<double> arcReveal(const TessaronGlobeState& state, const TessaronGlobeFrame& frame) {
    if (!state.showsArc())
        return std::nullopt;
    if (!frame.animates || state.visual != TessaronVisualState::connecting)
        return 1.0;
    if (!frame.motion || !frame.motion->arcRevealStart)
        return std::nullopt;
    const double progress = (frame.date - *frame.motion->arcRevealStart) / arcRevealDuration;
    if (progress <= 0)
        return std::nullopt;
    return std::min(progress, 1.0);
}

CometFractions cometFractions(double frameDate) {
    const double q = fractionalPart(frameDate / cometPeriod);
    CometFractions comet{q, {}};
    for (int j = 1; j <= 5; ++j)
        comet.tail[j - 1] = std::max(q - 0.012 * j, 0.0);
    return comet;
}

QColor arcColor(double fraction) {
    static const std::array<std::array<double, 3>, 5> stops{{{1.000, 0.541, 0.239},
                                                             {1.000, 0.239, 0.545},
                                                             {0.659, 0.333, 0.969},
                                                             {0.231, 0.510, 0.965},
                                                             {0.133, 0.827, 0.933}}};
    const double scaled = std::clamp(fraction, 0.0, 1.0) * 4;
    const int index = std::min(static_cast<int>(scaled), 3);
    const double rest = scaled - index;
    const auto& a = stops[index];
    const auto& b = stops[index + 1];
    return rgb(a[0] + (b[0] - a[0]) * rest, a[1] + (b[1] - a[1]) * rest, a[2] + (b[2] - a[2]) * rest);
}

QColor exitColor(TessaronVisualState visual) {
    switch (visual) {
    case TessaronVisualState::online:
        return rgb(0.25, 0.72, 0.36);
    case TessaronVisualState::failed:
        return rgb(0.89, 0.25, 0.23);
    case TessaronVisualState::idle:
    case TessaronVisualState::connecting:
    case TessaronVisualState::checking:
        break;
    }
    return rgb(0.93, 0.67, 0.20);
}

const QGradientStops& nearDotGradient() {
    static const QGradientStops stops = [] {
        QGradientStops result;
        for (int k = 0; k <= 8; ++k) {
            const double location = k / 8.0;
            result.append(
                {location, rgb(0.80, 0.90, 1.00, 0.18 + 0.42 * std::sqrt(1 - location * location))});
        }
        return result;
    }();
    return stops;
}

unsigned nearDotAlpha(int x, int y, const QPointF& center, double radius) {
    const double dx = x + 0.5 - center.x();
    const double dy = y + 0.5 - center.y();
    const double squared = dx * dx + dy * dy;
    // Beyond the radius the gradient keeps its last stop.
    const double fraction = squared >= radius * radius ? 1.0 : std::sqrt(squared) / radius;
    return static_cast<unsigned>(std::lround(255 * gradientAlpha(fraction)));
}

void drawAtmosphere(QPainter& painter, const QPointF& center, double radius) {
    const QColor glow = rgb(0.30, 0.66, 1.00);
    QRadialGradient gradient(center, 1.14 * radius);
    gradient.setStops({{0, faded(glow, 0)},
                       {0.7771929824561404, faded(glow, 0)},
                       {0.8571929824561404, faded(glow, 0.10)},
                       {0.8771929824561404, faded(glow, 0.55)},
                       {0.9121929824561404, faded(glow, 0.20)},
                       {1, faded(glow, 0)}});
    disc(painter, center, 1.14 * radius, gradient);
}

void drawSphere(QPainter& painter, const QPointF& center, double radius) {
    QRadialGradient gradient(center, radius);
    gradient.setColorAt(0, rgb(0.035, 0.055, 0.095));
    gradient.setColorAt(1, rgb(0.07, 0.12, 0.20));
    disc(painter, center, radius, gradient);
}

void draw(QPainter& painter, const QSizeF& size, const TessaronGlobeState& state,
          const TessaronGlobeFrame& frame) {
    if (size.width() <= 2 || size.height() <= 2) {
        painter.fillRect(QRectF(QPointF(0, 0), size), TessaronTheme::background());
        return;
    }
    const double side = std::min(size.width(), size.height());
    const Metrics m{{size.width() / 2, size.height() / 2}, side / 1.24 / 2, side / 1.24 / 240};
    const LatLon view = viewOrientation(state, frame);
    const auto rotation = TessaronGlobeRotation::make(view.lon, view.lat);

    const auto reveal = arcReveal(state, frame);
    std::optional<ArcPath> arc;
    if (reveal) {
        const LatLon user{state.user->lat, state.user->lon};
        const LatLon exit{state.exit->lat, state.exit->lon};
        arc.emplace(
            ArcPath{user, exit, 0.04 + 0.14 * centralAngle(user, exit) / std::numbers::pi, rotation, m});
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    drawStageLandAndArc(painter, size, m, rotation, arc, reveal.value_or(0));

    const auto screen = [&](const TessaronGeoPoint& point) {
        const Vector3 v = project(point.lat, point.lon, rotation);
        return std::pair{QPointF(m.center.x() + m.radius * v.x, m.center.y() - m.radius * v.y), v.z > 0};
    };

    if (arc && frame.animates && state.visual == TessaronVisualState::online)
        drawComet(painter, *arc, frame.date, m.unit);
    if (state.user) {
        if (const auto [at, near] = screen(*state.user); near)
            drawUser(painter, at, frame.date, frame.animates, m.unit);
    }
    if (state.showsExit()) {
        if (const auto [at, near] = screen(*state.exit); near)
            drawExit(painter, at, exitColor(state.visual), 1, m.unit);
    } else if (frame.animates && frame.motion && frame.motion->exitFade) {
        const auto& fade = *frame.motion->exitFade;
        const double g = 1 - (frame.date - fade.start) / TessaronGlobeExitFade::duration;
        if (const auto [at, near] = screen(fade.point); g > 0 && near)
            drawExit(painter, at, exitColor(fade.visual), g, m.unit);
    }
    painter.restore();
}

} // namespace TessaronGlobeRenderer

} // namespace tessaron
