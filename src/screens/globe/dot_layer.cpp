#include "screens/globe/dot_layer.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaron {

namespace {

// Below this radius a dot is smaller than a pixel: its area is spread over the four nearest pixels.
constexpr double splatRadius = 0.7;

// std::floor and std::ceil are calls into the maths library on the baseline instruction set, four of them
// for every one of thousands of dots a frame; these give the same whole numbers inline.
int floorToInt(double value) {
    const int truncated = static_cast<int>(value);
    return value < truncated ? truncated - 1 : truncated;
}
int ceilToInt(double value) {
    const int truncated = static_cast<int>(value);
    return value > truncated ? truncated + 1 : truncated;
}

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
    , height_(image_.height())
    , marked_(marked()) {
    // A fill leaves every pixel it visits uncovered: the buffer is clean between layers.
    auto& buffer = coverage();
    buffer.resize(
        std::max(buffer.size(), static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)));
    coverage_ = buffer.data();
}

DotLayer::~DotLayer() {
    for (const quint32 place : marked_)
        coverage_[(place >> 16) * static_cast<quint32>(width_) + (place & 0xffff)] = 0;
    marked_.clear();
}

std::vector<quint8>& DotLayer::coverage() {
    static std::vector<quint8> buffer;
    return buffer;
}

std::vector<quint32>& DotLayer::marked() {
    static std::vector<quint32> places;
    return places;
}

// The union of two discs covers a pixel as much as the one that covers it more.
[[gnu::always_inline]] inline void DotLayer::cover(int x, int y, double coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0)
        return;
    const auto amount = static_cast<quint8>(std::min(static_cast<int>(coverage * 255 + 0.5), 255));
    quint8& covered = coverage_[y * width_ + x];
    if (covered == 0 && amount > 0)
        marked_.push_back(static_cast<quint32>(y) << 16 | static_cast<quint32>(x));
    covered = std::max(covered, amount);
}

void DotLayer::add(QPointF center, double radius) {
    if (radius < splatRadius) {
        // Pixel centres sit at half coordinates.
        const double x = center.x() - 0.5;
        const double y = center.y() - 0.5;
        const int x0 = floorToInt(x);
        const int y0 = floorToInt(y);
        const double fx = x - x0;
        const double fy = y - y0;
        const double area = std::numbers::pi * radius * radius;
        cover(x0, y0, area * (1 - fx) * (1 - fy));
        cover(x0 + 1, y0, area * fx * (1 - fy));
        cover(x0, y0 + 1, area * (1 - fx) * fy);
        cover(x0 + 1, y0 + 1, area * fx * fy);
        return;
    }
    // Only pixels whose centres lie less than radius + 0.5 from the centre are touched: a centre at a
    // half coordinate, so from the first whole number below centre − radius to the last below centre +
    // radius.
    const int left = floorToInt(center.x() - radius);
    const int right = ceilToInt(center.x() + radius) - 1;
    const int top = floorToInt(center.y() - radius);
    const int bottom = ceilToInt(center.y() + radius) - 1;
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
            cover(px, py, squared <= inner ? 1.0 : radius + 0.5 - std::sqrt(squared));
        }
    }
}

} // namespace tessaron
