#include "screens/globe/globe_geometry.hpp"
#include "screens/globe/globe_renderer.hpp"
#include "screens/globe/globe_state.hpp"
#include "screens/globe/land_dots.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tessaron {
namespace {

using namespace TessaronGlobeGeometry;
using V = TessaronVisualState;

const TessaronGeoPoint berlin{52.5, 13.4, QStringLiteral("Berlin"), QStringLiteral("DE")};
const TessaronGeoPoint tokyo{35.7, 139.7, QStringLiteral("Tokyo"), QStringLiteral("JP")};
const QString de = QString::fromUtf8("\U0001F1E9\U0001F1EA");
const QString jp = QString::fromUtf8("\U0001F1EF\U0001F1F5");

TEST(GlobeGeometry, EasingLongitudeAndGreatCircles) {
    const std::pair<double, double> easing[] = {{-0.1, 0},      {0, 0}, {0.25, 0.0625}, {0.5, 0.5},
                                                {0.75, 0.9375}, {1, 1}, {1.5, 1}};
    for (const auto& [p, e] : easing)
        EXPECT_DOUBLE_EQ(easeInOutCubic(p), e) << p;

    const std::tuple<double, double, double, double> rows[] = {
        {170, -170, 0.5, 180}, // 20° east through the date line, not 340° west
        {170, -170, 1, -170},  {-170, 170, 0.5, 180}, {0, 180, 0.5, 90}, // half a turn goes east
        {10, 30, 0, 10},       {350, 10, 1, 10},
    };
    for (const auto& [from, to, progress, expected] : rows)
        EXPECT_NEAR(easedLongitude(from, to, progress), expected, 1e-9)
            << from << " → " << to << " at " << progress;

    // Interpolation follows great circles.
    EXPECT_LT(centralAngle(interpolate({0, 0}, {0, 90}, 0.5), {0, 45}), 1e-9);
    EXPECT_EQ(interpolate({12.5, -7}, {12.5, -7}, 0.3), (LatLon{12.5, -7}));
    // Opposite points follow the half circle through the perpendicular axis: half way is 90° from both ends.
    const LatLon a{0, 0}, b{0, 180};
    const auto quarter = interpolate(a, b, 0.5);
    EXPECT_NEAR(centralAngle(a, quarter), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle(quarter, b), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle({0, 0}, {0, 90}), M_PI / 2, 1e-12);
    EXPECT_EQ(latLon({0, 0, 0}), (LatLon{0, 0}));
}

TEST(GlobeGeometry, ProjectionCheckpoints) {
    const double low = 0.3907311284892737, high = 0.9205048534524404;
    // The last row: the focus is drawn on the centre line below the middle, whatever it is.
    const std::tuple<double, double, TessaronGlobeRotation, double, double, double> rows[] = {
        {0, 0, TessaronGlobeRotation::make(0, 0), 0, -low, high},
        {90, 0, TessaronGlobeRotation::make(0, 0), 0, high, low},
        {0, 180, TessaronGlobeRotation::make(0, 0), 0, low, -high},
        {0, 90, TessaronGlobeRotation::make(0, 0), 1, 0, 0},
        {30, 100, TessaronGlobeRotation::make(100, 30), 0, -low, high},
    };
    for (const auto& [lat, lon, rotation, x, y, z] : rows) {
        const auto v = project(lat, lon, rotation);
        EXPECT_LT(std::hypot(v.x - x, v.y - y, v.z - z), 1e-12) << lat << "," << lon;
    }
}

TEST(GlobeRenderer, ArcColourRampAndExitColours) {
    const std::pair<double, std::tuple<float, float, float>> ramp[] = {
        {-1, {1.0f, 0.541f, 0.239f}},    {0, {1.0f, 0.541f, 0.239f}},   {0.25, {1.0f, 0.239f, 0.545f}},
        {0.5, {0.659f, 0.333f, 0.969f}}, {1, {0.133f, 0.827f, 0.933f}}, {2, {0.133f, 0.827f, 0.933f}},
        {0.125, {1.0f, 0.39f, 0.392f}},
    };
    for (const auto& [fraction, rgb] : ramp) {
        const QColor c = TessaronGlobeRenderer::arcColor(fraction);
        const auto [r, g, b] = rgb;
        EXPECT_LT(std::max({std::abs(c.redF() - r), std::abs(c.greenF() - g), std::abs(c.blueF() - b)}),
                  0.003)
            << fraction;
    }
    EXPECT_EQ(TessaronGlobeRenderer::exitColor(V::connecting), TessaronGlobeRenderer::exitColor(V::checking));
    EXPECT_NE(TessaronGlobeRenderer::exitColor(V::online), TessaronGlobeRenderer::exitColor(V::failed));
    const auto& stops = TessaronGlobeRenderer::nearDotGradient();
    ASSERT_EQ(stops.size(), 9);
    EXPECT_NEAR(stops[3].second.alphaF(), 0.5693504205725223, 0.003);
    EXPECT_NEAR(stops[8].second.alphaF(), 0.18, 0.003);
}

TEST(GlobeState, CaptionLabelsArcAndFocus) {
    const std::pair<TessaronGlobeState, QString> rows[] = {
        {{std::nullopt, std::nullopt, V::online}, QString::fromUtf8("Locating\u2026")},
        {{std::nullopt, tokyo, V::idle}, QString::fromUtf8("Locating\u2026")},
        {{berlin, tokyo, V::idle}, de + QStringLiteral(" Berlin")},
        {{std::nullopt, tokyo, V::checking}, jp + QStringLiteral(" Tokyo")},
        {{berlin, tokyo, V::failed},
         de + QStringLiteral(" Berlin  \u2192  ") + jp + QStringLiteral(" Tokyo")},
    };
    for (const auto& [state, caption] : rows)
        EXPECT_EQ(state.caption(), caption);

    EXPECT_EQ(label({0, 0, QStringLiteral("Oslo"), QStringLiteral("NOR")}), QStringLiteral("Oslo"));
    EXPECT_EQ(label({0, 0, QString(), QStringLiteral("de")}), de);
    EXPECT_EQ(label({0, 0, QString(), QString()}), QString());

    // The arc needs both points and a live link.
    for (const auto visual : allVisualStates()) {
        const TessaronGlobeState both{berlin, tokyo, visual};
        const bool live = visual == V::connecting || visual == V::checking || visual == V::online;
        EXPECT_EQ(both.showsArc(), live) << rawValue(visual).toStdString();
        EXPECT_EQ(both.showsExit(), visual != V::idle);
        EXPECT_FALSE((TessaronGlobeState{berlin, std::nullopt, visual}.showsArc()));
    }
    const TessaronGeoPoint origin{0, 0, {}, {}}, east{0, 90, {}, {}};
    EXPECT_NEAR((TessaronGlobeState{origin, east, V::online}.focusPoint()->lon), 45, 1e-9);
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::online}.focusPoint()), (LatLon{0, 90}));
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::idle}.focusPoint()), std::nullopt);
}

TEST(GlobeMotion, TurnsStartFromTheSpinOrTheCurrentPositionAndTheArcRevealsOnEachNewLink) {
    TessaronGlobeMotion motion;
    const double t0 = 1000;
    const TessaronGlobeState located{berlin, std::nullopt, V::idle};
    const TessaronGlobeState spinning{};
    motion.transition(std::nullopt, located, t0, true);
    EXPECT_FALSE(motion.focusTween) << "the first appearance stands still";
    motion.transition(located, spinning, t0, true);
    EXPECT_FALSE(motion.focusTween);
    motion.transition(spinning, located, t0 + 10, true);
    ASSERT_TRUE(motion.focusTween);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, 0);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, idleSpinAngle(t0 + 10));
    EXPECT_DOUBLE_EQ(motion.focusTween->toLat, 52.5);
    // Without animation the spin stood at longitude 0.
    motion.transition(located, spinning, t0 + 11, false);
    motion.transition(spinning, located, t0 + 12, false);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, 0);

    // A new turn continues from where the globe is.
    const TessaronGlobeState b{tokyo, std::nullopt, V::idle};
    const TessaronGlobeState c{berlin, std::nullopt, V::failed};
    motion.transition(located, b, t0, true);
    const LatLon halfway = motion.focusTween->position(t0 + 0.7);
    motion.transition(b, c, t0 + 0.7, true);
    EXPECT_EQ((LatLon{motion.focusTween->fromLat, motion.focusTween->fromLon}), halfway);
    // Once a turn has ended, the next starts from the previous target.
    motion.transition(c, b, t0 + 5, true);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, berlin.lat);

    const TessaronGlobeState connecting{berlin, tokyo, V::connecting};
    const TessaronGlobeState checking{berlin, tokyo, V::checking};
    const TessaronGlobeState idle{berlin, tokyo, V::idle};
    const TessaronGlobeState userOnly{berlin, std::nullopt, V::connecting};
    TessaronGlobeMotion link;
    link.transition(std::nullopt, userOnly, t0, true);
    EXPECT_FALSE(link.arcRevealStart);
    link.transition(userOnly, connecting, t0 + 1, true);
    EXPECT_EQ(link.arcRevealStart, t0 + 1);
    link.transition(connecting, checking, t0 + 2, true);
    link.transition(checking, connecting, t0 + 3, true);
    EXPECT_EQ(link.arcRevealStart, t0 + 3);
    // The exit fades out in the colour it had, until a new link shows it again.
    link.transition(connecting, idle, t0 + 4, true);
    ASSERT_TRUE(link.exitFade);
    EXPECT_EQ(std::pair(link.exitFade->visual, link.exitFade->point), std::pair(V::connecting, tokyo));
    link.transition(idle, checking, t0 + 4.1, true);
    EXPECT_FALSE(link.exitFade);
}

TEST(GlobeFrame, OrientationRevealAndComet) {
    const TessaronGeoPoint north{60, 10, {}, {}}, south{-70, 10, {}, {}};
    const TessaronGlobeFrame still{500, false, nullptr};
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({north, std::nullopt, V::idle}, still),
              (LatLon{45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({south, std::nullopt, V::idle}, still),
              (LatLon{-45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({}, still), (LatLon{0, 0}));
    EXPECT_DOUBLE_EQ(TessaronGlobeRenderer::viewOrientation({}, {10, true, nullptr}).lon, 90);

    TessaronGlobeMotion motion;
    const TessaronGlobeState connecting{north, south, V::connecting};
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {0, true, &motion}), std::nullopt);
    motion.arcRevealStart = 100;
    const std::pair<double, std::optional<double>> reveal[] = {
        {99, std::nullopt}, {100, std::nullopt}, {100.4, 0.5}, {100.8, 1.0}, {105, 1.0}};
    for (const auto& [date, expected] : reveal) {
        const auto r = TessaronGlobeRenderer::arcReveal(connecting, {date, true, &motion});
        EXPECT_TRUE(r.has_value() == expected.has_value() && (!r || std::abs(*r - *expected) < 1e-9)) << date;
    }
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {99, false, &motion}), 1.0);
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal({north, south, V::failed}, {0, true, &motion}), std::nullopt);

    // The comet runs every 2.4 s with its tail held at the user.
    // Head, then the five tail dots.
    const std::pair<double, std::array<double, 6>> rows[] = {
        {2.4 * 1000 + 1.2, {0.5, 0.488, 0.476, 0.464, 0.452, 0.44}},
        {2.4 * 7 + 0.06, {0.025, 0.013, 0.001, 0, 0, 0}},
    };
    for (const auto& [date, expected] : rows) {
        const auto comet = TessaronGlobeRenderer::cometFractions(date);
        for (int j = 0; j < 6; ++j)
            EXPECT_NEAR(j == 0 ? comet.head : comet.tail[j - 1], expected[j], 1e-9) << date << " " << j;
    }
}

int rounded(double degrees) {
    return static_cast<int>(std::lround(degrees * 180.0));
}

TEST(LandDots, TableHoldsLatticePointsOfLandByAscendingLatitude) {
    const auto& dots = landPoints();
    ASSERT_GT(dots.size(), 3000u);
    EXPECT_EQ(landDotTable().size() % 4, 0);
    for (std::size_t k = 0; k < dots.size(); ++k) {
        if (k > 0) {
            ASSERT_LT(dots[k - 1].lat, dots[k].lat) << k;
        }
        // i follows from the latitude; the longitude must then match the lattice.
        const double sine = std::sin(dots[k].lat * M_PI / 180.0);
        const auto point =
            latticePoint(static_cast<int>(std::lround((1.0 - sine) * (latticeSize - 1) / 2.0)));
        ASSERT_EQ(std::pair(rounded(dots[k].lat), rounded(dots[k].lon)),
                  std::pair(rounded(point.lat), rounded(point.lon)))
            << k;
    }
    // Lattice points lie about 0.03 rad apart: land has one within twice that.
    const auto hasDotNear = [](LatLon place) {
        return std::ranges::any_of(landPoints(), [&](const LandDot& dot) {
            return centralAngle(place, {dot.lat, dot.lon}) < 0.06;
        });
    };
    EXPECT_TRUE(hasDotNear({23, 12}));   // the Sahara
    EXPECT_FALSE(hasDotNear({0, -150})); // the Pacific

    // The table's text is strict base64.
    EXPECT_TRUE(decodeLandDots("AAAA!!").empty());
    const auto decoded = decodeLandDots("tADs/w==");
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_FLOAT_EQ(decoded[0].lat, 1.0f);
    EXPECT_FLOAT_EQ(decoded[0].lon, -20.0f / 180.0f);
}

} // namespace
} // namespace tessaron
