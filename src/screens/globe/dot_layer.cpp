#include "screens/globe/dot_layer.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaron {

namespace {

// Below this radius a dot is smaller than a pixel: its area is spread over the four nearest pixels.
constexpr double splatRadius = 0.7;

} // namespace

DotLayer::DotLayer(const QSize& size)
    : DotLayer([&size] {
        QImage transparent(size, QImage::Format_ARGB32_Premultiplied);
        transparent.fill(Qt::transparent);
        return transparent;
    }()) {}

DotLayer::DotLayer(QImage picture)
    : image_(std::move(picture))
    , pixels_(reinterpret_cast<QRgb*>(image_.bits()))
    , stride_(image_.bytesPerLine() / qsizetype(sizeof(QRgb)))
    , width_(image_.width())
    , height_(image_.height()) {}

inline void DotLayer::blend(int x, int y, QRgb rgb, double coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0)
        return;
    const int a = std::clamp(static_cast<int>(coverage * 255 + 0.5), 0, 255);
    QRgb* pixel = pixels_ + y * stride_ + x;
    const QRgb under = *pixel;
    // Source over, premultiplied.
    const auto mix = [a](int source, int destination) {
        return (source * a + destination * (255 - a)) / 255;
    };
    *pixel = qRgba(mix(qRed(rgb), qRed(under)), mix(qGreen(rgb), qGreen(under)),
                   mix(qBlue(rgb), qBlue(under)), a + qAlpha(under) * (255 - a) / 255);
}

void DotLayer::add(QPointF center, double radius, QRgb rgb, double alpha) {
    if (radius < splatRadius) {
        // Pixel centres sit at half coordinates.
        const double x = center.x() - 0.5;
        const double y = center.y() - 0.5;
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0;
        const double fy = y - y0;
        const double area = std::numbers::pi * radius * radius * alpha;
        blend(x0, y0, rgb, area * (1 - fx) * (1 - fy));
        blend(x0 + 1, y0, rgb, area * fx * (1 - fy));
        blend(x0, y0 + 1, rgb, area * (1 - fx) * fy);
        blend(x0 + 1, y0 + 1, rgb, area * fx * fy);
        return;
    }
    const int left = static_cast<int>(std::floor(center.x() - radius - 0.5));
    const int right = static_cast<int>(std::ceil(center.x() + radius + 0.5));
    const int top = static_cast<int>(std::floor(center.y() - radius - 0.5));
    const int bottom = static_cast<int>(std::ceil(center.y() + radius + 0.5));
    const double outer = (radius + 0.5) * (radius + 0.5);
    const double inner = radius > 0.5 ? (radius - 0.5) * (radius - 0.5) : -1;
    for (int py = top; py <= bottom; ++py) {
        const double dy = py + 0.5 - center.y();
        for (int px = left; px <= right; ++px) {
            const double dx = px + 0.5 - center.x();
            const double squared = dx * dx + dy * dy;
            if (squared >= outer)
                continue;
            // Full inside, a one-pixel ramp across the edge.
            const double coverage = squared <= inner ? 1.0 : radius + 0.5 - std::sqrt(squared);
            blend(px, py, rgb, coverage * alpha);
        }
    }
}

} // namespace tessaron
