#include "screens/globe/globe_geometry.hpp"
#include "screens/globe/land_dots.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tessaron {
namespace {

int rounded(double degrees) {
    return static_cast<int>(std::lround(degrees * 180.0));
}

TEST(LandDots, LatticeReproducesTheTellingRows) {
    const std::tuple<int, int, int> rows[] = {
        {13974, -15328, -26371}, {13966, -15198, -29982}, {57, 14883, -14770}};
    for (const auto& [i, lat, lon] : rows) {
        const auto point = latticePoint(i);
        EXPECT_EQ(rounded(point.lat), lat) << i;
        EXPECT_EQ(rounded(point.lon), lon) << i;
    }
}

TEST(LandDots, TableHoldsLatticePointsByAscendingLatitude) {
    const auto& dots = landPoints();
    ASSERT_GT(dots.size(), 3000u);
    EXPECT_EQ(landDotTable().size() % 4, 0);
    for (std::size_t k = 0; k < dots.size(); ++k) {
        if (k > 0) {
            ASSERT_LT(dots[k - 1].lat, dots[k].lat) << k;
        }
        // i follows from the latitude; the longitude must then match the lattice.
        const double sine = std::sin(dots[k].lat * M_PI / 180.0);
        const int i = static_cast<int>(std::lround((1.0 - sine) * (latticeSize - 1) / 2.0));
        const auto point = latticePoint(i);
        ASSERT_EQ(rounded(dots[k].lat), rounded(point.lat)) << k;
        ASSERT_EQ(rounded(dots[k].lon), rounded(point.lon)) << k;
    }
}

TEST(LandDots, MaskKeepsLandAndDropsOcean) {
    // Lattice points lie about 0.03 rad apart: land has one within twice that.
    const auto hasDotNear = [](LatLon place) {
        return std::ranges::any_of(landPoints(), [&](const LandDot& dot) {
            return TessaronGlobeGeometry::centralAngle(place, {dot.lat, dot.lon}) < 0.06;
        });
    };
    EXPECT_TRUE(hasDotNear({23, 12}));   // the Sahara
    EXPECT_FALSE(hasDotNear({0, -150})); // the Pacific
}

TEST(LandDots, RejectsTextThatIsNotStrictBase64) {
    EXPECT_TRUE(decodeLandDots("AAAA!!").empty());
    const auto dots = decodeLandDots("tADs/w==");
    ASSERT_EQ(dots.size(), 1u);
    EXPECT_FLOAT_EQ(dots[0].lat, 1.0f);
    EXPECT_FLOAT_EQ(dots[0].lon, -20.0f / 180.0f);
}

} // namespace
} // namespace tessaron
