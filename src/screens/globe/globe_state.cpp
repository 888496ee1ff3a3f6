#include "screens/globe/globe_state.hpp"

#include <QCoreApplication>

namespace tessaron {

using namespace TessaronGlobeGeometry;

namespace {

LatLon at(const TessaronGeoPoint& point) {
    return {point.lat, point.lon};
}

// Where the globe looked in `state`; none when it was spinning.
std::optional<LatLon> restingPoint(const TessaronGlobeState& state) {
    if (state.user)
        return state.focusPoint();
    if (state.showsExit())
        return at(*state.exit);
    return std::nullopt;
}

} // namespace

bool TessaronGlobeState::showsExit() const {
    return exit && visual != TessaronVisualState::idle;
}

bool TessaronGlobeState::showsArc() const {
    return user && exit &&
           (visual == TessaronVisualState::connecting || visual == TessaronVisualState::checking ||
            visual == TessaronVisualState::online);
}

std::optional<LatLon> TessaronGlobeState::focusPoint() const {
    if (user && showsExit())
        return interpolate(at(*user), at(*exit), 0.5);
    if (user)
        return at(*user);
    if (showsExit())
        return at(*exit);
    return std::nullopt;
}

QString TessaronGlobeState::caption() const {
    if (!user) {
        if (showsExit())
            return label(*exit);
        return QCoreApplication::translate("Tessaron", "Locating\u2026",
                                           "Globe caption while the user's city is not yet known.");
    }
    if (showsExit())
        return label(*user) + QStringLiteral("  \u2192  ") + label(*exit);
    return label(*user);
}

QString label(const TessaronGeoPoint& point) {
    const QString flag = TessaronCountryFlag::emoji(point.countryCode);
    if (flag.isEmpty())
        return point.city;
    if (point.city.isEmpty())
        return flag;
    return flag + QLatin1Char(' ') + point.city;
}

LatLon TessaronGlobeFocusTween::position(double date) const {
    const double progress = (date - start) / duration;
    return {fromLat + easeInOutCubic(progress) * (toLat - fromLat), easedLongitude(fromLon, toLon, progress)};
}

bool TessaronGlobeFocusTween::isRunning(double date) const {
    return (date - start) / duration < 1;
}

void TessaronGlobeMotion::transition(const std::optional<TessaronGlobeState>& previous,
                                     const TessaronGlobeState& next, double date, bool animates) {
    if (const auto target = next.focusPoint(); !target) {
        focusTween.reset();
    } else if (previous) {
        LatLon from;
        if (const auto resting = restingPoint(*previous)) {
            from = *resting;
            if (animates && focusTween && focusTween->isRunning(date))
                from = focusTween->position(date);
        } else {
            from = {0, animates ? idleSpinAngle(date) : 0};
        }
        focusTween = TessaronGlobeFocusTween{from.lat, from.lon, target->lat, target->lon, date};
    }

    if (previous) {
        if (previous->showsExit() && !next.showsExit())
            exitFade = TessaronGlobeExitFade{*previous->exit, previous->visual, date};
        else if (next.showsExit())
            exitFade.reset();
    }

    const auto revealing = [](const TessaronGlobeState& state) {
        return state.visual == TessaronVisualState::connecting && state.showsArc();
    };
    if (revealing(next) && !(previous && revealing(*previous)))
        arcRevealStart = date;
}

} // namespace tessaron
