#include "screens/globe/dot_layer.hpp"

#include <algorithm>
#include <array>
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
    , left_(width_)
    , top_(height_)
    , right_(-1)
    , bottom_(-1) {
    // A fill leaves every pixel it visits uncovered: the buffer is clean between layers.
    auto& buffer = coverage();
    buffer.resize(
        std::max(buffer.size(), static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)));
    coverage_ = buffer.data();
}

DotLayer::~DotLayer() {
    takeCovered([](int, int, unsigned) {});
}

std::vector<quint8>& DotLayer::coverage() {
    static std::vector<quint8> buffer;
    return buffer;
}

void DotLayer::touch(int left, int top, int right, int bottom) {
    left_ = std::min(left_, left);
    top_ = std::min(top_, top);
    right_ = std::max(right_, right);
    bottom_ = std::max(bottom_, bottom);
}

// The union of two discs covers a pixel as much as the one that covers it more; no coverage, or less
// than half a level, leaves the pixel as it is.
[[gnu::always_inline]] inline void DotLayer::coverInside(int x, int y, double coverage) {
    const int amount = std::clamp(static_cast<int>(coverage * 255 + 0.5), 0, 255);
    quint8& covered = coverage_[y * width_ + x];
    covered = static_cast<quint8>(std::max<int>(covered, amount));
}

[[gnu::always_inline]] inline void DotLayer::cover(int x, int y, double coverage) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_)
        coverInside(x, y, coverage);
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
        touch(std::max(x0, 0), std::max(y0, 0), std::min(x0 + 1, width_ - 1), std::min(y0 + 1, height_ - 1));
        // Nearly every dot lies wholly inside: those skip the edge's tests.
        if (x0 >= 0 && y0 >= 0 && x0 + 1 < width_ && y0 + 1 < height_) {
            coverInside(x0, y0, area * (1 - fx) * (1 - fy));
            coverInside(x0 + 1, y0, area * fx * (1 - fy));
            coverInside(x0, y0 + 1, area * (1 - fx) * fy);
            coverInside(x0 + 1, y0 + 1, area * fx * fy);
        } else {
            cover(x0, y0, area * (1 - fx) * (1 - fy));
            cover(x0 + 1, y0, area * fx * (1 - fy));
            cover(x0, y0 + 1, area * (1 - fx) * fy);
            cover(x0 + 1, y0 + 1, area * fx * fy);
        }
        return;
    }
    // Only pixels whose centres lie less than radius + 0.5 from the centre are touched: a centre at a
    // half coordinate, so from the first whole number below centre − radius to the last below centre +
    // radius, within the picture.
    const int left = std::max(floorToInt(center.x() - radius), 0);
    const int right = std::min(ceilToInt(center.x() + radius) - 1, width_ - 1);
    const int top = std::max(floorToInt(center.y() - radius), 0);
    const int bottom = std::min(ceilToInt(center.y() + radius) - 1, height_ - 1);
    touch(left, top, right, bottom);
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
            coverInside(px, py, squared <= inner ? 1.0 : radius + 0.5 - std::sqrt(squared));
        }
    }
}

void DotLayer::fill(QRgb rgb, double alpha) {
    const auto constant = static_cast<unsigned>(std::lround(std::clamp(alpha, 0.0, 1.0) * 255));
    // One opacity for the whole shape: the colour laid down and the share kept of what lies under it
    // depend on a pixel's coverage alone, worked out once for each of its 256 values.
    std::array<QRgb, 256> laid;
    std::array<quint8, 256> kept;
    for (unsigned covered = 0; covered < 256; ++covered) {
        const unsigned shown = (covered * constant + 127) / 255;
        laid[covered] = scaled(rgb | 0xff000000, shown);
        kept[covered] = static_cast<quint8>(255 - shown);
    }
    takeCovered([&](int x, int y, unsigned covered) {
        QRgb& pixel = pixels_[y * stride_ + x];
        pixel = laid[covered] + scaled(pixel, kept[covered]);
    });
}

} // namespace tessaron
