#include "screens/globe/globe_renderer.hpp"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>

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

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
