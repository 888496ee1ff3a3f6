#include "widgets/gaussian_blur.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace tessaron {

namespace {

// The radii of three box blurs whose sequence has the Gaussian's variance.
std::array<int, 3> boxRadii(double sigma) {
    constexpr int passes = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const double wider =
        (12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) / (-4.0 * lower - 4);
    const auto narrow = static_cast<int>(std::lround(wider));
    std::array<int, 3> radii{};
    for (int pass = 0; pass < passes; ++pass)
        radii[pass] = ((pass < narrow ? lower : lower + 2) - 1) / 2;
    return radii;
}

// One box pass along a line of `count` pixels `step` apart, through `scratch`.
void boxLine(QRgb* line, int count, qsizetype step, int radius, std::vector<QRgb>& scratch) {
    scratch.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        scratch[i] = line[i * step];
    std::array<int, 4> sum{};
    const auto add = [&sum](QRgb pixel, int sign) {
        sum[0] += sign * qAlpha(pixel);
        sum[1] += sign * qRed(pixel);
        sum[2] += sign * qGreen(pixel);
        sum[3] += sign * qBlue(pixel);
    };
    for (int i = 0; i < std::min(radius, count); ++i)
        add(scratch[i], 1);
    const int width = 2 * radius + 1;
    for (int i = 0; i < count; ++i) {
        if (i + radius < count)
            add(scratch[i + radius], 1);
        if (i - radius - 1 >= 0)
            add(scratch[i - radius - 1], -1);
        const auto mean = [width](int total) {
            return (total + width / 2) / width;
        };
        line[i * step] = qRgba(mean(sum[1]), mean(sum[2]), mean(sum[3]), mean(sum[0]));
    }
}

} // namespace

void gaussianBlur(QImage& image, double sigma) {
    if (sigma <= 0 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    std::vector<QRgb> scratch;
    for (const int radius : boxRadii(sigma)) {
        for (int y = 0; y < image.height(); ++y)
            boxLine(pixels + y * stride, image.width(), 1, radius, scratch);
        for (int x = 0; x < image.width(); ++x)
            boxLine(pixels + x, image.height(), stride, radius, scratch);
    }
}

} // namespace tessaron
