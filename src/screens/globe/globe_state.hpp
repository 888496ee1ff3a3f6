#pragma once

#include "screens/globe/globe_geometry.hpp"
#include "screens/hero_geography.hpp"
#include "screens/visual_state.hpp"

#include <optional>

namespace tessaron {

// Everything the globe shows.
struct TessaronGlobeState {
    std::optional<TessaronGeoPoint> user;
    std::optional<TessaronGeoPoint> exit;
    TessaronVisualState visual = TessaronVisualState::idle;

    bool showsExit() const;
    bool showsArc() const;
    // Where the globe turns to; none lets it spin.
    std::optional<LatLon> focusPoint() const;
    QString caption() const;

    friend bool operator==(const TessaronGlobeState&, const TessaronGlobeState&) = default;
};

// A point's part of the caption: flag and city, either alone when the other is missing.
QString label(const TessaronGeoPoint& point);

// One 1.4 s turn of the globe. Dates are frame dates (seconds since 2001).
struct TessaronGlobeFocusTween {
    double fromLat, fromLon, toLat, toLon;
    double start;

    static constexpr double duration = 1.4;
    LatLon position(double date) const;
    bool isRunning(double date) const;
};

// The exit marker fading out over 0.4 s in its last colour.
struct TessaronGlobeExitFade {
    TessaronGeoPoint point;
    TessaronVisualState visual;
    double start;

    static constexpr double duration = 0.4;
};

// What the globe remembers between state changes, beyond the state itself.
struct TessaronGlobeMotion {
    std::optional<TessaronGlobeFocusTween> focusTween;
    std::optional<double> arcRevealStart;
    std::optional<TessaronGlobeExitFade> exitFade;

    // `previous` is none when the view has just appeared.
    void transition(const std::optional<TessaronGlobeState>& previous, const TessaronGlobeState& next,
                    double date, bool animates);
};

} // namespace tessaron
