#pragma once

namespace tessaron {

struct LatLon {
    double lat = 0;
    double lon = 0;
    friend bool operator==(const LatLon&, const LatLon&) = default;
};

struct Vector3 {
    double x = 0, y = 0, z = 0;
};

// The camera of one frame: view longitude L and latitude P, and the fixed 23° tilt.
struct TessaronGlobeRotation {
    double sinNegL, cosNegL, sinP, cosP, sinTilt, cosTilt;
    static TessaronGlobeRotation make(double viewLon, double viewLat);
};

// Spherical helpers; angles are degrees unless a name says otherwise.
namespace TessaronGlobeGeometry {

double easeInOutCubic(double progress);
// Into (−180, 180].
double wrapDegrees(double degrees);
// The short way round; exactly half a turn goes east.
double easedLongitude(double from, double to, double progress);
Vector3 unitVector(const LatLon& point);
// (0, 0) for the zero vector.
LatLon latLon(const Vector3& vector);
Vector3 perpendicularAxis(const Vector3& unit);
// Along the great circle from `from` (fraction 0) to `to` (fraction 1).
LatLon interpolate(const LatLon& from, const LatLon& to, double fraction);
// In radians.
double centralAngle(const LatLon& from, const LatLon& to);
// X right, Y up, Z towards the viewer, in sphere radii.
Vector3 project(double lat, double lon, const TessaronGlobeRotation& rotation);
// The same from the sines and cosines of latitude and longitude, for points projected every frame.
Vector3 project(double sinLat, double cosLat, double sinLon, double cosLon,
                const TessaronGlobeRotation& rotation);
// One turn every 40 s.
double idleSpinAngle(double frameDate);

} // namespace TessaronGlobeGeometry

} // namespace tessaron
