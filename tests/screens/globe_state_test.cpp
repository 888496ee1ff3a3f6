#include "screens/globe/globe_renderer.hpp"
#include "screens/globe/globe_state.hpp"

#include <gtest/gtest.h>

namespace tessaron {
namespace {

using V = TessaronVisualState;

const TessaronGeoPoint berlin{52.5, 13.4, QStringLiteral("Berlin"), QStringLiteral("DE")};
const TessaronGeoPoint tokyo{35.7, 139.7, QStringLiteral("Tokyo"), QStringLiteral("JP")};
const QString de = QString::fromUtf8("\U0001F1E9\U0001F1EA");
const QString jp = QString::fromUtf8("\U0001F1EF\U0001F1F5");

TEST(GlobeState, CaptionAndLabels) {
    struct Row {
        TessaronGlobeState state;
        QString caption;
    };
    const Row rows[] = {
        {{std::nullopt, std::nullopt, V::online}, QString::fromUtf8("Locating\u2026")},
        {{std::nullopt, tokyo, V::idle}, QString::fromUtf8("Locating\u2026")},
        {{berlin, tokyo, V::idle}, de + QStringLiteral(" Berlin")},
        {{std::nullopt, tokyo, V::checking}, jp + QStringLiteral(" Tokyo")},
        {{berlin, tokyo, V::failed},
         de + QStringLiteral(" Berlin  \u2192  ") + jp + QStringLiteral(" Tokyo")},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.state.caption(), row.caption);

    EXPECT_EQ(label({0, 0, QStringLiteral("Oslo"), QStringLiteral("NOR")}), QStringLiteral("Oslo"));
    EXPECT_EQ(label({0, 0, QString(), QStringLiteral("de")}), de);
    EXPECT_EQ(label({0, 0, QString(), QString()}), QString());
}

TEST(GlobeState, ArcNeedsBothPointsAndALiveLink) {
    for (const auto visual : allVisualStates()) {
        const TessaronGlobeState both{berlin, tokyo, visual};
        const bool live = visual == V::connecting || visual == V::checking || visual == V::online;
        EXPECT_EQ(both.showsArc(), live) << rawValue(visual).toStdString();
        EXPECT_EQ(both.showsExit(), visual != V::idle);
        EXPECT_FALSE((TessaronGlobeState{berlin, std::nullopt, visual}.showsArc()));
    }
    const TessaronGeoPoint origin{0, 0, {}, {}}, east{0, 90, {}, {}};
    const auto mid = TessaronGlobeState{origin, east, V::online}.focusPoint();
    EXPECT_NEAR(mid->lon, 45, 1e-9);
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::online}.focusPoint()), (LatLon{0, 90}));
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::idle}.focusPoint()), std::nullopt);
}

class GlobeMotion : public ::testing::Test {
protected:
    TessaronGlobeMotion motion;
    static constexpr double t0 = 1000;
};

TEST_F(GlobeMotion, FirstAppearanceStandsStillAndTurnsStartFromTheSpinOrTheCurrentPosition) {
    const TessaronGlobeState located{berlin, std::nullopt, V::idle};
    motion.transition(std::nullopt, located, t0, true);
    EXPECT_FALSE(motion.focusTween);

    const TessaronGlobeState spinning{};
    motion.transition(located, spinning, t0, true);
    EXPECT_FALSE(motion.focusTween);
    motion.transition(spinning, located, t0 + 10, true);
    ASSERT_TRUE(motion.focusTween);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, 0);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, TessaronGlobeGeometry::idleSpinAngle(t0 + 10));
    EXPECT_DOUBLE_EQ(motion.focusTween->toLat, 52.5);

    // Without animation the spin stood at longitude 0.
    motion.transition(located, spinning, t0 + 11, false);
    motion.transition(spinning, located, t0 + 12, false);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, 0);

    // A new turn continues from where the globe is.
    const TessaronGlobeState& a = located;
    const TessaronGlobeState b{tokyo, std::nullopt, V::idle};
    const TessaronGlobeState c{berlin, std::nullopt, V::failed};
    motion.transition(a, b, t0, true);
    const LatLon halfway = motion.focusTween->position(t0 + 0.7);
    motion.transition(b, c, t0 + 0.7, true);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, halfway.lat);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, halfway.lon);
    // Once a turn has ended, the next starts from the previous target.
    motion.transition(c, b, t0 + 5, true);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, berlin.lat);
}

TEST_F(GlobeMotion, ExitFadeAndArcReveal) {
    const TessaronGlobeState connecting{berlin, tokyo, V::connecting};
    const TessaronGlobeState checking{berlin, tokyo, V::checking};
    const TessaronGlobeState idle{berlin, tokyo, V::idle};
    const TessaronGlobeState userOnly{berlin, std::nullopt, V::connecting};

    motion.transition(std::nullopt, userOnly, t0, true);
    EXPECT_FALSE(motion.arcRevealStart);
    motion.transition(userOnly, connecting, t0 + 1, true);
    EXPECT_EQ(motion.arcRevealStart, t0 + 1);
    motion.transition(connecting, checking, t0 + 2, true);
    motion.transition(checking, connecting, t0 + 3, true);
    EXPECT_EQ(motion.arcRevealStart, t0 + 3);

    motion.transition(connecting, idle, t0 + 4, true);
    ASSERT_TRUE(motion.exitFade);
    EXPECT_EQ(motion.exitFade->visual, V::connecting);
    EXPECT_EQ(motion.exitFade->point, tokyo);
    motion.transition(idle, checking, t0 + 4.1, true);
    EXPECT_FALSE(motion.exitFade);
}

TEST(GlobeFrame, OrientationClampsLatitudeAndRevealGrows) {
    const TessaronGeoPoint north{60, 10, {}, {}}, south{-70, 10, {}, {}};
    const TessaronGlobeFrame still{500, false, nullptr};
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({north, std::nullopt, V::idle}, still),
              (LatLon{45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({south, std::nullopt, V::idle}, still),
              (LatLon{-45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({}, still), (LatLon{0, 0}));
    const TessaronGlobeFrame spinning{10, true, nullptr};
    EXPECT_DOUBLE_EQ(TessaronGlobeRenderer::viewOrientation({}, spinning).lon, 90);

    TessaronGlobeMotion motion;
    const TessaronGlobeState connecting{north, south, V::connecting};
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {0, true, &motion}), std::nullopt);
    motion.arcRevealStart = 100;
    const std::pair<double, std::optional<double>> reveal[] = {
        {99, std::nullopt}, {100, std::nullopt}, {100.4, 0.5}, {100.8, 1.0}, {105, 1.0}};
    for (const auto& [date, expected] : reveal) {
        const auto r = TessaronGlobeRenderer::arcReveal(connecting, {date, true, &motion});
        ASSERT_EQ(r.has_value(), expected.has_value()) << date;
        if (r) {
            EXPECT_NEAR(*r, *expected, 1e-9);
        }
    }
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {99, false, &motion}), 1.0);
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal({north, south, V::failed}, {0, true, &motion}), std::nullopt);
}

TEST(GlobeFrame, CometRunsEveryTwoPointFourSecondsWithItsTailHeldAtTheUser) {
    const auto middle = TessaronGlobeRenderer::cometFractions(2.4 * 1000 + 1.2);
    EXPECT_NEAR(middle.head, 0.5, 1e-9);
    EXPECT_NEAR(middle.tail[0], 0.488, 1e-9);
    EXPECT_NEAR(middle.tail[4], 0.44, 1e-9);
    const auto start = TessaronGlobeRenderer::cometFractions(2.4 * 7 + 0.06);
    EXPECT_NEAR(start.head, 0.025, 1e-9);
    EXPECT_NEAR(start.tail[0], 0.013, 1e-9);
    EXPECT_EQ(start.tail[2], 0.0);
    EXPECT_EQ(start.tail[4], 0.0);
}

} // namespace
} // namespace tessaron
