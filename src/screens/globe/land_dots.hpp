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

// A land dot's sines and cosines, worked out once so that a frame only rotates them.
struct LandDotTrig {
    float sinLat, cosLat, sinLon, cosLon;
};
const std::vector<LandDotTrig>& landPointTrig();

// The base64 text of the embedded table (generated source).
QByteArrayView landDotTable();

// Point i of the 14,000-point Fibonacci lattice the table is drawn from, unrounded.
LatLon latticePoint(int i);
inline constexpr int latticeSize = 14'000;

} // namespace tessaron
