#include "screens/flow_ring.hpp"
#include "screens/globe/dot_layer.hpp"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace tessaron {
namespace {

TEST(FlowRing, PhaseIsTheClockModuloFourSeconds) {
    const std::pair<double, double> rows[] = {{0, 0},   {1, 0.25},  {4, 0},
                                              {6, 0.5}, {-1, 0.75}, {1e9 + 3, 0.75}};
    for (const auto& [date, phase] : rows)
        EXPECT_NEAR(flowRingPhase(date), phase, 1e-6) << date;
}

TEST(NudgeBorder, TurnsOnlyWhileActiveAndAnimatingFromItsRestart) {
    EXPECT_DOUBLE_EQ(nudgeAngle(true, true, 100, 100), 0);
    EXPECT_NEAR(nudgeAngle(true, true, 100, 101.2), 180, 1e-9);
    EXPECT_NEAR(nudgeAngle(true, true, 100, 102.4 + 0.6), 90, 1e-9);
    EXPECT_DOUBLE_EQ(nudgeAngle(true, false, 100, 101.2), 0);
    EXPECT_DOUBLE_EQ(nudgeAngle(false, true, 100, 101.2), 0);

    QWidget host;
    auto* control = new QWidget(&host);
    control->setGeometry(20, 20, 400, 40);
    TessaronNudgeBorder border(control, 8, 2, 0);
    host.show();
    border.setActive(true);
    border.setAnimates(true);
    EXPECT_TRUE(border.isRunning());
    // Wide enough to cover the control and the line beyond it, taking no clicks.
    EXPECT_TRUE(border.geometry().contains(control->geometry().adjusted(-2, -2, 2, 2)));
    EXPECT_TRUE(border.testAttribute(Qt::WA_TransparentForMouseEvents));
    border.setAnimates(false);
    EXPECT_FALSE(border.isRunning());
    border.setAnimates(true);
    border.setActive(false);
    EXPECT_FALSE(border.isRunning());
    EXPECT_TRUE(border.isHidden());
}

// Qt's conical gradient runs counter-clockwise; ours must run clockwise from its start.
TEST(QtTraps, ClockwiseConicalGradientRunsClockwise) {
    QImage image(101, 101, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(image.rect(), clockwiseConicalGradient({50, 50}, 0, flowRingStops()));
    painter.end();
    // Screen y grows downwards: 90° clockwise from three o'clock is straight down.
    EXPECT_GT(qAlpha(image.pixel(50, 95)), 200);
    EXPECT_LT(qAlpha(image.pixel(50, 5)), 10);
    // A quarter-turn start moves the band to start at six o'clock: the left side is now lit.
    QImage turned(101, 101, QImage::Format_ARGB32_Premultiplied);
    turned.fill(Qt::transparent);
    QPainter second(&turned);
    second.fillRect(turned.rect(), clockwiseConicalGradient({50, 50}, 90, flowRingStops()));
    second.end();
    EXPECT_GT(qAlpha(turned.pixel(5, 50)), 200);
    EXPECT_LT(qAlpha(turned.pixel(95, 50)), 10);
}

// Overlapping dots add up; a path of ellipses under the default odd-even rule would hollow the overlap.
TEST(QtTraps, OverlappingDotsStayFilled) {
    DotLayer layer(QSize(50, 40));
    layer.add(QPointF(20, 20), 10, qRgb(255, 255, 255), 1);
    layer.add(QPointF(26, 20), 10, qRgb(255, 255, 255), 1);
    EXPECT_EQ(qAlpha(layer.image().pixel(23, 20)), 255);
    // A dot smaller than a pixel keeps its area, not a whole pixel.
    DotLayer tiny(QSize(4, 4));
    tiny.add(QPointF(2, 2), 0.4, qRgb(255, 255, 255), 1);
    int total = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            total += qAlpha(tiny.image().pixel(x, y));
    EXPECT_NEAR(total / 255.0, M_PI * 0.16, 0.03);
}

} // namespace
} // namespace tessaron
