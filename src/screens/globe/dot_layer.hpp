#pragma once

#include <QImage>
#include <QPointF>

namespace tessaron {

// Thousands of tiny antialiased dots, splatted straight into an image: far cheaper than filling a path of
// as many ellipses, and overlapping dots add up instead of cancelling.
class DotLayer {
public:
    // `size` in device pixels; the layer starts transparent.
    explicit DotLayer(const QSize& size);
    // The dots go straight onto `picture`: the same result as a layer drawn over it, in one pass less.
    explicit DotLayer(QImage picture);

    // A disc at `center` (device pixels) of `radius`, in `rgb` at `alpha` (0…1), drawn over what is there.
    void add(QPointF center, double radius, QRgb rgb, double alpha);
    const QImage& image() const { return image_; }

private:
    void blend(int x, int y, QRgb rgb, double coverage);

    QImage image_;
    // Held apart from the image, whose accessors are too slow to call for every pixel.
    QRgb* pixels_;
    qsizetype stride_;
    int width_;
    int height_;
};

} // namespace tessaron
