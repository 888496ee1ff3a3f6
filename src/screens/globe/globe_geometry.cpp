#include "screens/globe/globe_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaron {

namespace {

constexpr double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}
constexpr double degrees(double radians) {
    return radians * 180.0 / std::numbers::pi;
}
constexpr double tiltSine = 0.3907311284892737;
constexpr double tiltCosine = 0.9205048534524404;

Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double length(const Vector3& a) {
    return std::sqrt(dot(a, a));
}

} // namespace

TessaronGlobeRotation TessaronGlobeRotation::make(double viewLon, double viewLat) {
    return {std::sin(-radians(viewLon)),
            std::cos(-radians(viewLon)),
            std::sin(radians(viewLat)),
            std::cos(radians(viewLat)),
            tiltSine,
            tiltCosine};
}

namespace TessaronGlobeGeometry {

double easeInOutCubic(double p) {
    if (p < 0)
        return 0;
    if (p >= 1)
        return 1;
    if (p < 0.5)
        return 4 * p * p * p;
    const double rest = 2 - 2 * p;
    return 1 - rest * rest * rest / 2;
}

double wrapDegrees(double x) {
    if (x <= -180)
        return x + 360;
    if (x > 180)
        return x - 360;
    return x;
}

double easedLongitude(double from, double to, double progress) {
    const double difference = wrapDegrees(std::fmod(to - from, 360.0));
    return wrapDegrees(std::fmod(from + easeInOutCubic(progress) * difference, 360.0));
}

Vector3 unitVector(const LatLon& point) {
    const double lat = radians(point.lat);
    const double lon = radians(point.lon);
    return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

LatLon latLon(const Vector3& vector) {
    const double size = length(vector);
    if (size == 0)
        return {};
    const Vector3 v{vector.x / size, vector.y / size, vector.z / size};
    return {degrees(std::atan2(v.z, std::sqrt(v.x * v.x + v.y * v.y))), degrees(std::atan2(v.y, v.x))};
}

Vector3 perpendicularAxis(const Vector3& a) {
    const Vector3 axis = std::abs(a.z) < 0.9 ? Vector3{0, 0, 1} : Vector3{0, 1, 0};
    const Vector3 product = cross(a, axis);
    const double size = length(product);
    if (size == 0)
        return {1, 0, 0};
    return {product.x / size, product.y / size, product.z / size};
}

LatLon interpolate(const LatLon& p, const LatLon& q, double t) {
    if (p == q)
        return p;
    const Vector3 a = unitVector(p);
    const Vector3 b = unitVector(q);
    const double c = std::clamp(dot(a, b), -1.0, 1.0);
    const double omega = std::acos(c);
    const double s = std::sin(omega);
    if (omega < 1e-8 || std::abs(s) < 1e-8) {
        if (c > 0)
            return p;
        const Vector3 n = perpendicularAxis(a);
        const double cosT = std::cos(std::numbers::pi * t);
        const double sinT = std::sin(std::numbers::pi * t);
        return latLon({a.x * cosT + n.x * sinT, a.y * cosT + n.y * sinT, a.z * cosT + n.z * sinT});
    }
    const double wa = std::sin((1 - t) * omega) / s;
    const double wb = std::sin(t * omega) / s;
    return latLon({a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb});
}

double centralAngle(const LatLon& from, const LatLon& to) {
    return std::acos(std::clamp(dot(unitVector(from), unitVector(to)), -1.0, 1.0));
}

Vector3 project(double lat, double lon, const TessaronGlobeRotation& r) {
    const double phi = radians(lat);
    const double lambda = radians(lon);
    return project(std::sin(phi), std::cos(phi), std::sin(lambda), std::cos(lambda), r);
}

Vector3 project(double sinPhi, double cosPhi, double sinLambda, double cosLambda,
                const TessaronGlobeRotation& r) {
    // sin(λ − L) and cos(λ − L) from the frame's sin(−L) and cos(−L).
    const double sinDelta = sinLambda * r.cosNegL + cosLambda * r.sinNegL;
    const double cosDelta = cosLambda * r.cosNegL - sinLambda * r.sinNegL;
    const double x1 = cosPhi * sinDelta;
    const double d1 = cosPhi * cosDelta;
    const double y2 = sinPhi * r.cosP - d1 * r.sinP;
    const double d2 = sinPhi * r.sinP + d1 * r.cosP;
    return {x1, y2 * r.cosTilt - d2 * r.sinTilt, y2 * r.sinTilt + d2 * r.cosTilt};
}

double idleSpinAngle(double frameDate) {
    return std::fmod(frameDate / 40.0 * 360.0, 360.0);
}

} // namespace TessaronGlobeGeometry

} // namespace tessaron
