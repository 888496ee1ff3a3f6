#pragma once

#include <QImage>
#include <QPointF>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessaron {

// Thousands of tiny antialiased dots gathered into one shape and filled at once, as a filled path of as many
// circles under the non-zero rule would be: where dots overlap, the shape is covered once, not twice. Far
// cheaper than such a path: each dot marks its coverage in a buffer, and a fill visits only covered pixels.
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
    void fill(QRgb rgb, double alpha);
    const QImage& image() const { return image_; }
    // What else is drawn over the dots goes straight onto the same picture.
    QImage& image() { return image_; }

private:
    void cover(int x, int y, double coverage);
    // The same for a pixel known to lie inside the picture.
    void coverInside(int x, int y, double coverage);
    void touch(int left, int top, int right, int bottom);
    // Calls `visit(x, y, covered)` for every covered pixel of the shape, row by row, and leaves it uncovered.
    template <typename Visit> void takeCovered(Visit visit);
    static QRgb scaled(QRgb color, unsigned alpha);

    QImage image_;
    // Held apart from the image, whose accessors are too slow to call for every pixel.
    QRgb* pixels_;
    qsizetype stride_;
    int width_;
    int height_;
    // Coverage out of 255 by pixel, kept from layer to layer, as a frame makes one and the next is the same
    // size; zero outside the shape being gathered.
    static std::vector<quint8>& coverage();
    quint8* coverage_;
    // The box of pixels the shape may cover (empty when left > right): a fill reads the buffer there alone,
    // in order, skipping the uncovered eight at a time.
    int left_;
    int top_;
    int right_;
    int bottom_;
};

// A premultiplied colour times an alpha out of 255, rounded: two channels at a time in one word.
inline QRgb DotLayer::scaled(QRgb color, unsigned alpha) {
    const auto scalePair = [alpha](quint32 pair) {
        pair *= alpha;
        return ((pair + ((pair >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    };
    return scalePair(color & 0xff00ff) | (scalePair((color >> 8) & 0xff00ff) << 8);
}

template <typename Visit> void DotLayer::takeCovered(Visit visit) {
    for (int y = top_; y <= bottom_; ++y) {
        quint8* row = coverage_ + static_cast<qsizetype>(y) * width_;
        int x = left_;
        while (x <= right_) {
            if (x + 8 <= right_ + 1) {
                quint64 eight;
                std::memcpy(&eight, row + x, sizeof eight);
                if (eight == 0) {
                    x += 8;
                    continue;
                }
            }
            if (row[x] != 0) {
                visit(x, y, row[x]);
                row[x] = 0;
            }
            ++x;
        }
    }
    left_ = width_;
    top_ = height_;
    right_ = -1;
    bottom_ = -1;
}

template <typename AlphaAt> void DotLayer::fill(QRgb rgb, AlphaAt alphaAt) {
    takeCovered([&](int x, int y, unsigned covered) {
        const unsigned alpha = (covered * alphaAt(x, y) + 127) / 255;
        // Source over, premultiplied.
        QRgb& pixel = pixels_[y * stride_ + x];
        pixel = scaled(rgb | 0xff000000, alpha) + scaled(pixel, 255 - alpha);
    });
}

} // namespace tessaron
