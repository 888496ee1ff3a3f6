#include "screens/globe/land_dots.hpp"

#include <QByteArray>
#include <QtEndian>

#include <cmath>
#include <numbers>

namespace tessaron {

std::vector<LandDot> decodeLandDots(QByteArrayView base64) {
    const auto decoded =
        QByteArray::fromBase64Encoding(base64.toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QByteArray& bytes = *decoded;
    std::vector<LandDot> dots;
    dots.reserve(static_cast<std::size_t>(bytes.size() / 4));
    for (qsizetype offset = 0; offset + 4 <= bytes.size(); offset += 4) {
        const auto lat = qFromLittleEndian<qint16>(bytes.constData() + offset);
        const auto lon = qFromLittleEndian<qint16>(bytes.constData() + offset + 2);
        dots.push_back({static_cast<float>(lat) / 180.0f, static_cast<float>(lon) / 180.0f});
    }
    return dots;
}

const std::vector<LandDot>& landPoints() {
    static const std::vector<LandDot> points = decodeLandDots(landDotTable());
    return points;
}

const LandDotTrig& landPointTrig() {
    static const LandDotTrig trig = [] {
        LandDotTrig result;
        for (auto* column : {&result.sinLat, &result.cosLat, &result.sinLon, &result.cosLon})
            column->reserve(landPoints().size());
        // Held at single precision, as they always were: the frames stay the same to the pixel.
        const auto rounded = [](double value) {
            return static_cast<double>(static_cast<float>(value));
        };
        for (const auto& dot : landPoints()) {
            const double lat = dot.lat * std::numbers::pi / 180.0;
            const double lon = dot.lon * std::numbers::pi / 180.0;
            result.sinLat.push_back(rounded(std::sin(lat)));
            result.cosLat.push_back(rounded(std::cos(lat)));
            result.sinLon.push_back(rounded(std::sin(lon)));
            result.cosLon.push_back(rounded(std::cos(lon)));
        }
        return result;
    }();
    return trig;
}

void placeLandDots(const TessaronGlobeRotation& r, double centerX, double centerY, double radius,
                   LandDotPlaces& places) {
    const LandDotTrig& trig = landPointTrig();
    const std::size_t count = trig.sinLat.size();
    places.x.resize(count);
    places.y.resize(count);
    places.z.resize(count);
    const double* sinPhi = trig.sinLat.data();
    const double* cosPhi = trig.cosLat.data();
    const double* sinLambda = trig.sinLon.data();
    const double* cosLambda = trig.cosLon.data();
    double* x = places.x.data();
    double* y = places.y.data();
    double* z = places.z.data();
    // The steps of `project`, in its order, so that every dot lands where it would one by one.
    for (std::size_t i = 0; i < count; ++i) {
        const double sinDelta = sinLambda[i] * r.cosNegL + cosLambda[i] * r.sinNegL;
        const double cosDelta = cosLambda[i] * r.cosNegL - sinLambda[i] * r.sinNegL;
        const double x1 = cosPhi[i] * sinDelta;
        const double d1 = cosPhi[i] * cosDelta;
        const double y2 = sinPhi[i] * r.cosP - d1 * r.sinP;
        const double d2 = sinPhi[i] * r.sinP + d1 * r.cosP;
        x[i] = centerX + radius * x1;
        y[i] = centerY - radius * (y2 * r.cosTilt - d2 * r.sinTilt);
        z[i] = y2 * r.sinTilt + d2 * r.cosTilt;
    }
}

LatLon latticePoint(int i) {
    constexpr double goldenAngle = 137.50776405003785;
    const double lat = std::asin(1.0 - 2.0 * i / (latticeSize - 1)) * 180.0 / std::numbers::pi;
    double lon = std::fmod(i * goldenAngle, 360.0);
    if (lon > 180)
        lon -= 360;
    return {lat, lon};
}

} // namespace tessaron
