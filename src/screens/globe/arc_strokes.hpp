#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

namespace tessaron::ArcStrokes {

// Strokes a straight segment with round caps straight onto an opaque picture (device pixels), blended over
// what is there as a painter's antialiased stroke in that colour would be: every segment on its own, so
// where two overlap both show. Each pixel's coverage is the area of it inside the edge nearest to it, a
// level or two from what the painter's rasteriser gives; a painter stroke of each of the arc's 128
// segments, a frame, cost a fifth of the connected window's time.
void stroke(QImage& picture, QPointF from, QPointF to, double width, const QColor& color);

// The part of a pixel, centred `inside` pixels within a straight edge whose normal is (nx, ny), that the
// edge covers; `inside` is negative for a centre outside.
double pixelCoverage(double inside, double nx, double ny);

} // namespace tessaron::ArcStrokes
