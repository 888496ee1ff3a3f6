#pragma once

#include <QColor>
#include <QPointF>

class QPainter;

namespace tessaron {

// The globe's discs, halos and rings as pictures made once per size and colour and drawn as plain blits:
// a fill of a shape, a gradient or a stroke would cost the raster engine's pooled threads a wake-up each
// frame. A picture stands on whole device pixels, so its centre lies within half a pixel of the point.
namespace MarkerSprites {

// A disc of `radius` filled with `color` at `opacity`.
void disc(QPainter& painter, const QPointF& center, double radius, const QColor& color, double opacity = 1);
// A disc whose colour fades from `alpha` at its centre to nothing at its edge, drawn at `opacity`.
void halo(QPainter& painter, const QPointF& center, double radius, const QColor& color, double alpha,
          double opacity = 1);
// A circle of `radius` stroked `width` wide in `color` at `opacity`; the radius is taken to a quarter of a
// device pixel.
void ring(QPainter& painter, const QPointF& center, double radius, double width, const QColor& color,
          double opacity);

} // namespace MarkerSprites

} // namespace tessaron
