#pragma once

#include "screens/globe/globe_state.hpp"

#include <QColor>
#include <QGradientStops>
#include <QSizeF>

#include <array>

class QPainter;

namespace tessaron {

// What one frame needs besides the state.
struct TessaronGlobeFrame {
    double date = 0;
    bool animates = false;
    const TessaronGlobeMotion* motion = nullptr;
};

// Draws one frame of the globe; keeps nothing between frames but the picture of what only the size changes.
namespace TessaronGlobeRenderer {

// Covers the whole of `size`, on the theme's background.
void draw(QPainter& painter, const QSizeF& size, const TessaronGlobeState& state,
          const TessaronGlobeFrame& frame);

// The camera (longitude, latitude) of a frame.
LatLon viewOrientation(const TessaronGlobeState& state, const TessaronGlobeFrame& frame);
// Whether a turn, the arc's reveal or the exit's fade is under way in the frame.
bool isTransitioning(const TessaronGlobeState& state, const TessaronGlobeFrame& frame);
// How much of the arc is drawn, 0 to 1; none draws no arc.
std::optional<double> arcReveal(const TessaronGlobeState& state, const TessaronGlobeFrame& frame);
// Where along the arc the comet's head runs (one run every 2.4 s) and its five tail dots trail, closest
// first, held at the user's end.
struct CometFractions {
    double head;
    std::array<double, 5> tail;
};
CometFractions cometFractions(double frameDate);
// Orange at the user through pink, purple and blue to cyan at the exit.
QColor arcColor(double fraction);
QColor exitColor(TessaronVisualState visual);
const QGradientStops& nearDotGradient();
// The near dots' opacity out of 255 at the pixel (x, y) of a picture whose gradient is centred on `center`
// and reaches `radius`, in device pixels.
unsigned nearDotAlpha(int x, int y, const QPointF& center, double radius);

void drawAtmosphere(QPainter& painter, const QPointF& center, double radius);
void drawSphere(QPainter& painter, const QPointF& center, double radius);

} // namespace TessaronGlobeRenderer

} // namespace tessaron
