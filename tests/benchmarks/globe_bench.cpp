#include "screens/flow_ring.hpp"
#include "screens/globe/globe_renderer.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

using namespace tessaron;

// One animated frame at the hero's size in a 480-point window; the renderer covers the whole canvas.
void globeFrame(benchmark::State& state, const TessaronGlobeState& globe) {
    QImage canvas(440, 240, QImage::Format_ARGB32_Premultiplied);
    TessaronGlobeMotion motion;
    motion.transition(std::nullopt, globe, 0, true);
    double date = 1000;
    for (auto _ : state) {
        QPainter painter(&canvas);
        TessaronGlobeRenderer::draw(painter, canvas.size(), globe, {date, true, &motion});
        date += 1.0 / 60;
    }
}
// Online, with the arc and the comet; and the idle spin of a globe that knows no place yet.
BENCHMARK_CAPTURE(globeFrame, online,
                  TessaronGlobeState{
                      TessaronGeoPoint{52.5, 13.4, QStringLiteral("Berlin"), QStringLiteral("DE")},
                      TessaronGeoPoint{35.7, 139.7, QStringLiteral("Tokyo"), QStringLiteral("JP")},
                      TessaronVisualState::online})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(globeFrame, idleSpin, TessaronGlobeState{})->Unit(benchmark::kMicrosecond);

// One frame of each ring decoration around a control of the primary button's size, painted as the window
// would: over what is already there.
template <typename Decoration> void decorationFrame(benchmark::State& state, auto makeDecoration) {
    QWidget host;
    host.resize(480, 200);
    auto* control = new QWidget(&host);
    control->setGeometry(20, 80, 440, TessaronTheme::buttonHeight);
    Decoration* decoration = makeDecoration(control);
    QImage canvas(decoration->size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::black);
    for (auto _ : state)
        decoration->render(&canvas);
}
void nudgeBorderFrame(benchmark::State& state) {
    decorationFrame<TessaronNudgeBorder>(state, [](QWidget* control) {
        auto* border = new TessaronNudgeBorder(control, 8, 2, 0);
        border->setActive(true);
        border->setAnimates(true);
        return border;
    });
}
void flowRingFrame(benchmark::State& state) {
    decorationFrame<TessaronFlowRing>(state, [](QWidget* control) {
        auto* ring = new TessaronFlowRing(control, 6);
        ring->setAnimates(true);
        return ring;
    });
}
BENCHMARK(nudgeBorderFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(flowRingFrame)->Unit(benchmark::kMicrosecond);

} // namespace
