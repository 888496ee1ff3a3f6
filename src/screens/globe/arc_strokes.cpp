#include "screens/globe/arc_strokes.hpp"

#include <QRgba64>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaron::ArcStrokes {

namespace {

// A premultiplied colour times an alpha out of 255, rounded as the painter's blending rounds it.
QRgb scaled(QRgb color, unsigned alpha) {
    const auto scalePair = [alpha](quint32 pair) {
        pair *= alpha;
        return ((pair + ((pair >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    };
    return scalePair(color & 0xff00ff) | (scalePair((color >> 8) & 0xff00ff) << 8);
}

// The painter premultiplies a pen's colour at 16 bits a channel before it blends at 8.
QRgb premultiplied(const QColor& color) {
    return color.rgba64().premultiplied().toArgb32();
}

// The stroke of a segment: every point within `radius` of it.
struct Capsule {
    Capsule(QPointF from, QPointF to, double radius)
        : from(from)
        , to(to)
        , radius(radius)
        , length(std::sqrt(QPointF::dotProduct(to - from, to - from)))
        , u((to - from) / length) {}

    QPointF from;
    QPointF to;
    double radius;
    double length;
    // The unit vector along the segment.
    QPointF u;

    // The part of the column at `x` between `top` and `bottom` that the stroke covers; a convex shape
    // crosses a column in one stretch, so it is where the caps' and the body's stretches reach together.
    double columnCovered(double x, double top, double bottom) const {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (const QPointF& end : {from, to}) {
            const double across = x - end.x();
            if (std::abs(across) < radius) {
                const double half = std::sqrt(radius * radius - across * across);
                low = std::min(low, end.y() - half);
                high = std::max(high, end.y() + half);
            }
        }
        // Along the segment 0 to length, across it −radius to radius: each bounds y where the column
        // crosses it at a slant, and holds for all or no y where it runs parallel to the column.
        double bodyLow = -std::numeric_limits<double>::infinity();
        double bodyHigh = -bodyLow;
        const auto bound = [&](double slope, double offset, double least, double most) {
            if (slope == 0) {
                if (offset < least || offset > most)
                    bodyHigh = -std::numeric_limits<double>::infinity();
                return;
            }
            const double a = (least - offset) / slope;
            const double b = (most - offset) / slope;
            bodyLow = std::max(bodyLow, std::min(a, b));
            bodyHigh = std::min(bodyHigh, std::max(a, b));
        };
        bound(u.y(), (x - from.x()) * u.x() - from.y() * u.y(), 0, length);
        bound(u.x(), -(x - from.x()) * u.y() - from.y() * u.x(), -radius, radius);
        if (bodyLow < bodyHigh) {
            low = std::min(low, bodyLow);
            high = std::max(high, bodyHigh);
        }
        return std::max(std::min(high, bottom) - std::max(low, top), 0.0);
    }

    // Near a cap the edge curves too much for one straight edge to stand for it: the pixel's area is
    // summed column by column.
    double pixelCovered(int x, int y) const {
        constexpr int columns = 4;
        double covered = 0;
        for (int column = 0; column < columns; ++column)
            covered += columnCovered(x + (column + 0.5) / columns, y, y + 1);
        return covered / columns;
    }
};

// What a circle's curve leaves uncovered of a pixel that its tangent at the nearest point would cover:
// the segment between the chord across the pixel and the arc, about chord³ / (12 radius).
double curvatureLoss(double inside, double nx, double ny, double radius) {
    const double a = std::max(std::abs(nx), std::abs(ny));
    const double b = std::min(std::abs(nx), std::abs(ny));
    const double half = (a + b) / 2;
    const double straight = (a - b) / 2;
    const double chord = std::abs(inside) <= straight ? 1 / a : (half - std::abs(inside)) / (a * b);
    return chord * chord * chord / (12 * radius);
}

} // namespace

double pixelCoverage(double inside, double nx, double ny) {
    const double a = std::max(std::abs(nx), std::abs(ny));
    const double b = std::min(std::abs(nx), std::abs(ny));
    const double half = (a + b) / 2;
    if (inside >= half)
        return 1;
    if (inside <= -half)
        return 0;
    // Across the middle the covered area grows linearly; towards either side a corner of the pixel is cut.
    const double straight = (a - b) / 2;
    if (std::abs(inside) <= straight)
        return 0.5 + inside / a;
    const double corner = (half - std::abs(inside)) * (half - std::abs(inside)) / (2 * a * b);
    return inside > 0 ? 1 - corner : corner;
}

void stroke(QImage& picture, QPointF from, QPointF to, double width, const QColor& color) {
    const double radius = width / 2;
    const QRgb source = premultiplied(color);
    const QPointF along = to - from;
    const double lengthSquared = QPointF::dotProduct(along, along);
    // The painter strokes nothing for a segment without length.
    if (lengthSquared == 0)
        return;
    const Capsule capsule(from, to, radius);
    const bool opaque = qAlpha(source) == 255;
    // Half a pixel's diagonal: a centre farther than that from the edge lies wholly on one side.
    constexpr double halfDiagonal = 0.70711;
    const double outside = (radius + halfDiagonal) * (radius + halfDiagonal);
    const double inside = radius > halfDiagonal ? (radius - halfDiagonal) * (radius - halfDiagonal) : -1;
    const int left = std::max(static_cast<int>(std::floor(std::min(from.x(), to.x()) - radius - 1)), 0);
    const int right =
        std::min(static_cast<int>(std::ceil(std::max(from.x(), to.x()) + radius + 1)), picture.width() - 1);
    const int top = std::max(static_cast<int>(std::floor(std::min(from.y(), to.y()) - radius - 1)), 0);
    const int bottom =
        std::min(static_cast<int>(std::ceil(std::max(from.y(), to.y()) + radius + 1)), picture.height() - 1);
    for (int y = top; y <= bottom; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = left; x <= right; ++x) {
            const QPointF pixel(x + 0.5, y + 0.5);
            const double unclamped = QPointF::dotProduct(pixel - from, along) / lengthSquared;
            const double t = std::clamp(unclamped, 0.0, 1.0);
            const QPointF away = pixel - (from + t * along);
            const double squared = QPointF::dotProduct(away, away);
            if (squared >= outside)
                continue;
            double coverage = 1;
            if (squared > inside) {
                const double distance = std::sqrt(squared);
                coverage = pixelCoverage(radius - distance, away.x() / distance, away.y() / distance);
                // Beyond either end the nearest edge is a cap's. An opaque stroke's cap pixels are summed
                // column by column; a translucent one's take off what the curve leaves of the tangent's
                // share, which its opacity keeps within a level or two.
                if (coverage > 0 && coverage < 1 && t != unclamped) {
                    coverage = opaque
                                   ? capsule.pixelCovered(x, y)
                                   : std::max(coverage - curvatureLoss(radius - distance, away.x() / distance,
                                                                       away.y() / distance, radius),
                                              0.0);
                }
            }
            const auto alpha = static_cast<unsigned>(coverage * 255 + 0.5);
            if (alpha == 0)
                continue;
            const QRgb covered = alpha == 255 ? source : scaled(source, alpha);
            line[x] = covered + scaled(line[x], 255 - qAlpha(covered));
        }
    }
}

} // namespace tessaron::ArcStrokes
