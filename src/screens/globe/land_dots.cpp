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

const std::vector<LandDotTrig>& landPointTrig() {
    static const std::vector<LandDotTrig> trig = [] {
        std::vector<LandDotTrig> result;
        result.reserve(landPoints().size());
        for (const auto& dot : landPoints()) {
            const double lat = dot.lat * std::numbers::pi / 180.0;
            const double lon = dot.lon * std::numbers::pi / 180.0;
            result.push_back({static_cast<float>(std::sin(lat)), static_cast<float>(std::cos(lat)),
                              static_cast<float>(std::sin(lon)), static_cast<float>(std::cos(lon))});
        }
        return result;
    }();
    return trig;
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
