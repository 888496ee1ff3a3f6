#include "screens/globe/marker_sprites.hpp"

#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>
#include <functional>

namespace tessaron::MarkerSprites {

namespace {

// Enough for every marker of a few window sizes; a window resized many times starts afresh.
constexpr qsizetype spriteLimit = 256;

// The picture `draw` makes of a shape reaching `reach` device pixels from its centre, which lies at the
// centre of the picture's middle pixel.
const QImage& sprite(const QString& key, double reach, qreal ratio,
                     const std::function<void(QPainter&, const QPointF&)>& draw) {
    static QHash<QString, QImage> made;
    const auto found = made.constFind(key);
    if (found != made.constEnd())
        return *found;
    if (made.size() >= spriteLimit)
        made.clear();
    const int side = 2 * static_cast<int>(std::ceil(reach + 1)) + 1;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter, QPointF(side / 2.0, side / 2.0));
    }
    image.setDevicePixelRatio(ratio);
    return *made.insert(key, image);
}

void place(QPainter& painter, const QImage& image, const QPointF& center, double opacity) {
    const qreal ratio = image.devicePixelRatio();
    const double half = image.width() / 2.0;
    const QPointF corner(std::round(center.x() * ratio - half) / ratio,
                         std::round(center.y() * ratio - half) / ratio);
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    painter.drawImage(corner, image);
    painter.restore();
}

qreal ratioOf(const QPainter& painter) {
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

QString keyOf(const char* kind, std::initializer_list<double> sizes, const QColor& color, qreal ratio) {
    QString key = QString::fromLatin1(kind);
    for (const double size : sizes)
        key += u'/' + QString::number(size, 'g', 8);
    return key + u'/' + QString::number(color.rgba(), 16) + u'/' + QString::number(ratio);
}

} // namespace

void disc(QPainter& painter, const QPointF& center, double radius, const QColor& color, double opacity) {
    const qreal ratio = ratioOf(painter);
    const double reach = radius * ratio;
    const auto& image = sprite(keyOf("disc", {reach}, color, ratio), reach, ratio,
                               [reach, color](QPainter& on, const QPointF& middle) {
                                   on.setPen(Qt::NoPen);
                                   on.setBrush(color);
                                   on.drawEllipse(middle, reach, reach);
                               });
    place(painter, image, center, opacity);
}

void halo(QPainter& painter, const QPointF& center, double radius, const QColor& color, double alpha,
          double opacity) {
    const qreal ratio = ratioOf(painter);
    const double reach = radius * ratio;
    const auto& image = sprite(keyOf("halo", {reach, alpha}, color, ratio), reach, ratio,
                               [reach, color, alpha](QPainter& on, const QPointF& middle) {
                                   QColor inner = color;
                                   inner.setAlphaF(static_cast<float>(alpha));
                                   QColor outer = color;
                                   outer.setAlphaF(0);
                                   QRadialGradient gradient(middle, reach);
                                   gradient.setColorAt(0, inner);
                                   gradient.setColorAt(1, outer);
                                   on.setPen(Qt::NoPen);
                                   on.setBrush(gradient);
                                   on.drawEllipse(middle, reach, reach);
                               });
    place(painter, image, center, opacity);
}

void ring(QPainter& painter, const QPointF& center, double radius, double width, const QColor& color,
          double opacity) {
    const qreal ratio = ratioOf(painter);
    const double reach = std::round(radius * ratio * 4) / 4;
    const double stroke = width * ratio;
    const auto& image = sprite(keyOf("ring", {reach, stroke}, color, ratio), reach + stroke, ratio,
                               [reach, stroke, color](QPainter& on, const QPointF& middle) {
                                   on.setPen(QPen(color, stroke, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
                                   on.setBrush(Qt::NoBrush);
                                   on.drawEllipse(middle, reach, reach);
                               });
    place(painter, image, center, opacity);
}

} // namespace tessaron::MarkerSprites
