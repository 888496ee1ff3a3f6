#pragma once

#include <QImage>
#include <QPointF>

#include <algorithm>
#include <vector>

namespace tessaron {

// Thousands of tiny antialiased dots gathered into one shape and filled at once, as a filled path of as many
// circles under the non-zero rule would be: where dots overlap, the shape is covered once, not twice. Far
// cheaper than such a path: each dot marks its coverage in a buffer, and a fill visits only marked pixels.
class DotLayer {
public:
    // `size` in device pixels; the layer starts transparent.
    explicit DotLayer(const QSize& size);
    // The shapes are filled straight onto `picture`.
    explicit DotLayer(QImage picture);

    // Adds a disc at `center` (device pixels) of `radius` to the shape.
    void add(QPointF center, double radius);
    // Fills the shape gathered since the last fill in `rgb` at the opacity `alphaAt(x, y)` (0…255) gives
    // for each covered pixel, over what is there; the next shape starts empty.
    template <typename AlphaAt> void fill(QRgb rgb, AlphaAt alphaAt);
    void fill(QRgb rgb, double alpha) {
        const auto constant = static_cast<unsigned>(std::lround(std::clamp(alpha, 0.0, 1.0) * 255));
        fill(rgb, [constant](int, int) { return constant; });
    }
    const QImage& image() const { return image_; }

private:
    void cover(int x, int y, double coverage);
    static void blendOver(QRgb& pixel, QRgb rgb, unsigned alpha);

    QImage image_;
    // Held apart from the image, whose accessors are too slow to call for every pixel.
    QRgb* pixels_;
    qsizetype stride_;
    int width_;
    int height_;
    // Coverage out of 255 by pixel, and the pixels marked since the last fill.
    std::vector<quint8> coverage_;
    std::vector<quint32> marked_;
};

template <typename AlphaAt> void DotLayer::fill(QRgb rgb, AlphaAt alphaAt) {
    for (const quint32 index : marked_) {
        const int x = static_cast<int>(index % static_cast<quint32>(width_));
        const int y = static_cast<int>(index / static_cast<quint32>(width_));
        const unsigned alpha = (coverage_[index] * alphaAt(x, y) + 127) / 255;
        blendOver(pixels_[y * stride_ + x], rgb, alpha);
        coverage_[index] = 0;
    }
    marked_.clear();
}

} // namespace tessaron
