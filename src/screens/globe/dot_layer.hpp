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
    // A shape never filled leaves no coverage behind.
    ~DotLayer();
    DotLayer(const DotLayer&) = delete;
    DotLayer& operator=(const DotLayer&) = delete;

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
    // What else is drawn over the dots goes straight onto the same picture.
    QImage& image() { return image_; }

private:
    void cover(int x, int y, double coverage);
    static QRgb scaled(QRgb color, unsigned alpha);

    QImage image_;
    // Held apart from the image, whose accessors are too slow to call for every pixel.
    QRgb* pixels_;
    qsizetype stride_;
    int width_;
    int height_;
    // Coverage out of 255 by pixel, and the pixels marked since the last fill (y in the high half, x in the
    // low): kept from layer to layer, as a frame makes one and the next is the same size.
    static std::vector<quint8>& coverage();
    static std::vector<quint32>& marked();
    quint8* coverage_;
    std::vector<quint32>& marked_;
};

// A premultiplied colour times an alpha out of 255, rounded: two channels at a time in one word.
inline QRgb DotLayer::scaled(QRgb color, unsigned alpha) {
    const auto scalePair = [alpha](quint32 pair) {
        pair *= alpha;
        return ((pair + ((pair >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    };
    return scalePair(color & 0xff00ff) | (scalePair((color >> 8) & 0xff00ff) << 8);
}

template <typename AlphaAt> void DotLayer::fill(QRgb rgb, AlphaAt alphaAt) {
    for (const quint32 place : marked_) {
        const int x = static_cast<int>(place & 0xffff);
        const int y = static_cast<int>(place >> 16);
        quint8& covered = coverage_[y * width_ + x];
        const unsigned alpha = (covered * alphaAt(x, y) + 127) / 255;
        // Source over, premultiplied.
        QRgb& pixel = pixels_[y * stride_ + x];
        pixel = scaled(rgb | 0xff000000, alpha) + scaled(pixel, 255 - alpha);
        covered = 0;
    }
    marked_.clear();
}

} // namespace tessaron
