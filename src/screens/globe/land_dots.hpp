#pragma once

#include "screens/globe/globe_geometry.hpp"

#include <QByteArrayView>

#include <vector>

namespace tessaron {

struct LandDot {
    float lat;
    float lon;
};

// Records of four bytes: latitude and longitude × 180 as signed little-endian 16-bit numbers. Text that is
// not strict base64 gives no dots.
std::vector<LandDot> decodeLandDots(QByteArrayView base64);

// The embedded table, decoded once.
const std::vector<LandDot>& landPoints();

// The land dots' sines and cosines, worked out once so that a frame only rotates them; a column each, so
// that a frame turns two dots at a time.
struct LandDotTrig {
    std::vector<double> sinLat, cosLat, sinLon, cosLon;
};
const LandDotTrig& landPointTrig();

// Where the land dots of a frame fall: device pixels across and down, and depth (towards the viewer).
struct LandDotPlaces {
    std::vector<double> x, y, z;
};
// Places every land dot on a sphere of `radius` about `center`, as `project` would place it one by one.
void placeLandDots(const TessaronGlobeRotation& rotation, double centerX, double centerY, double radius,
                   LandDotPlaces& places);

// The base64 text of the embedded table (generated source).
QByteArrayView landDotTable();

// Point i of the 14,000-point Fibonacci lattice the table is drawn from, unrounded.
LatLon latticePoint(int i);
inline constexpr int latticeSize = 14'000;

} // namespace tessaron
