#include "screens/globe/globe_geometry.hpp"
#include "screens/globe/globe_renderer.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaron {
namespace {

using namespace TessaronGlobeGeometry;

TEST(GlobeGeometry, EasingAndLongitudeTakeTheShortWay) {
    const std::pair<double, double> easing[] = {{-0.1, 0},      {0, 0}, {0.25, 0.0625}, {0.5, 0.5},
                                                {0.75, 0.9375}, {1, 1}, {1.5, 1}};
    for (const auto& [p, e] : easing)
        EXPECT_DOUBLE_EQ(easeInOutCubic(p), e) << p;

    struct Row {
        double from, to, progress, expected;
    };
    const Row rows[] = {
        {170, -170, 0.5, 180}, // 20° east through the date line, not 340° west
        {170, -170, 1, -170},  {-170, 170, 0.5, 180}, {0, 180, 0.5, 90}, // half a turn goes east
        {10, 30, 0, 10},       {350, 10, 1, 10},
    };
    for (const auto& row : rows)
        EXPECT_NEAR(easedLongitude(row.from, row.to, row.progress), row.expected, 1e-9)
            << row.from << " → " << row.to << " at " << row.progress;
}

TEST(GlobeGeometry, InterpolatesAlongGreatCircles) {
    const auto mid = interpolate({0, 0}, {0, 90}, 0.5);
    EXPECT_NEAR(mid.lat, 0, 1e-9);
    EXPECT_NEAR(mid.lon, 45, 1e-9);
    EXPECT_EQ(interpolate({12.5, -7}, {12.5, -7}, 0.3), (LatLon{12.5, -7}));
    // Opposite points follow the half circle through the perpendicular axis: a quarter of the way is 90°
    // from both ends.
    const LatLon a{0, 0}, b{0, 180};
    const auto quarter = interpolate(a, b, 0.5);
    EXPECT_NEAR(centralAngle(a, quarter), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle(quarter, b), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle({0, 0}, {0, 90}), M_PI / 2, 1e-12);
    EXPECT_EQ(latLon({0, 0, 0}), (LatLon{0, 0}));
}

TEST(GlobeGeometry, ProjectionCheckpoints) {
    const auto rotation = TessaronGlobeRotation::make(0, 0);
    struct Row {
        double lat, lon, x, y, z;
    };
    const Row rows[] = {
        {0, 0, 0, -0.3907311284892737, 0.9205048534524404},
        {90, 0, 0, 0.9205048534524404, 0.3907311284892737},
        {0, 180, 0, 0.3907311284892737, -0.9205048534524404},
        {0, 90, 1, 0, 0},
    };
    for (const auto& row : rows) {
        const auto v = project(row.lat, row.lon, rotation);
        EXPECT_NEAR(v.x, row.x, 1e-12) << row.lat << "," << row.lon;
        EXPECT_NEAR(v.y, row.y, 1e-12) << row.lat << "," << row.lon;
        EXPECT_NEAR(v.z, row.z, 1e-12) << row.lat << "," << row.lon;
    }
    // The focus is drawn on the centre line below the middle, whatever it is.
    const auto focus = project(30, 100, TessaronGlobeRotation::make(100, 30));
    EXPECT_NEAR(focus.x, 0, 1e-12);
    EXPECT_NEAR(focus.y, -0.3907311284892737, 1e-12);
}

TEST(GlobeRenderer, ArcColourRampAndExitColours) {
    const auto channels = [](const QColor& c) {
        return std::tuple{c.redF(), c.greenF(), c.blueF()};
    };
    const std::pair<double, std::tuple<float, float, float>> ramp[] = {
        {-1, {1.0f, 0.541f, 0.239f}},    {0, {1.0f, 0.541f, 0.239f}},   {0.25, {1.0f, 0.239f, 0.545f}},
        {0.5, {0.659f, 0.333f, 0.969f}}, {1, {0.133f, 0.827f, 0.933f}}, {2, {0.133f, 0.827f, 0.933f}},
        {0.125, {1.0f, 0.39f, 0.392f}},
    };
    for (const auto& [fraction, rgb] : ramp) {
        const auto [r, g, b] = channels(TessaronGlobeRenderer::arcColor(fraction));
        EXPECT_NEAR(r, std::get<0>(rgb), 0.003) << fraction;
        EXPECT_NEAR(g, std::get<1>(rgb), 0.003) << fraction;
        EXPECT_NEAR(b, std::get<2>(rgb), 0.003) << fraction;
    }
    EXPECT_EQ(TessaronGlobeRenderer::exitColor(TessaronVisualState::connecting),
              TessaronGlobeRenderer::exitColor(TessaronVisualState::checking));
    EXPECT_NE(TessaronGlobeRenderer::exitColor(TessaronVisualState::online),
              TessaronGlobeRenderer::exitColor(TessaronVisualState::failed));
    const auto& stops = TessaronGlobeRenderer::nearDotGradient();
    ASSERT_EQ(stops.size(), 9);
    EXPECT_NEAR(stops[3].second.alphaF(), 0.5693504205725223, 0.003);
    EXPECT_NEAR(stops[8].second.alphaF(), 0.18, 0.003);
}

} // namespace
} // namespace tessaron
