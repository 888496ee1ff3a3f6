#include "screens/home_fixture.hpp"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <memory>

namespace {

using namespace tessaron;
using namespace tessaron::testing;

// The home view over `state.range(0)` saved nodes, every one with a latency figure. Each iteration is one
// sample as the session announces it to the list: one node's figure moves, the next node's in the following
// iteration, as a round of samples walks the list. The session's own table stays as it was, so no row's
// status changes, as for most samples, whose figure moves within its band. With `painted`, the window then
// handles what the sample posted (layouts, paints), as the event loop would before the next one.
void latencySample(benchmark::State& state, bool painted) {
    HomeWorld world;
    QList<TessaronProfile> nodes;
    for (int i = 0; i < state.range(0); ++i)
        nodes.append(sampleProfile(QStringLiteral("Node %1").arg(i), QStringLiteral("node-%1.test").arg(i)));
    // Saved one by one, not pulled: a pulled roster this long would pass the pairing client's size cap.
    auto& session = world.harness.startSelected(nodes);
    world.harness.settle();
    world.show();
    LatencyTable table;
    for (const auto& node : nodes)
        table.insert(node.id, LatencySample{40, world.harness.clock.now()});
    Q_EMIT session.latenciesChanged(table);
    QCoreApplication::processEvents();
    // A list cut short by the roster's checks would time fewer rows than it claims.
    const auto names = world.view().findChildren<QWidget*>(QStringLiteral("tessaron.node.name"));
    state.counters["rows"] = double(
        std::ranges::count_if(names, [&](const QWidget* name) { return name->isVisibleTo(&world.view()); }));
    qsizetype next = 0;
    for (auto _ : state) {
        auto& sample = table[nodes[next].id];
        sample.milliseconds = sample.milliseconds == 40 ? 41 : 40;
        next = (next + 1) % nodes.size();
        Q_EMIT session.latenciesChanged(table);
        if (painted)
            QCoreApplication::processEvents();
    }
}
BENCHMARK_CAPTURE(latencySample, refresh, false)->Arg(10)->Arg(100)->Arg(130)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(latencySample, painted, true)->Arg(10)->Arg(100)->Arg(130)->Unit(benchmark::kMicrosecond);

// What the window's size and the node count cost: the session's nodes saved first, then the home view made
// over them. Each figure is a median over the repetitions (five each).

QList<TessaronProfile> savedNodes(int count) {
    QList<TessaronProfile> nodes;
    for (int i = 0; i < count; ++i)
        nodes.append(sampleProfile(QStringLiteral("Node %1").arg(i), QStringLiteral("node-%1.test").arg(i)));
    return nodes;
}

// Everything until the event loop would sleep: posted layouts, the paints of the window, deferred deletes.
void settleWindow() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Large blocks (pictures above all) are mapped on their own, outside the arena.
double heapInUse() {
    const auto info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

// The heap the shown home view holds beyond its session, for `state.range(0)` saved nodes. The slope
// between two counts is the memory a saved node costs the window.
void homeMemory(benchmark::State& state) {
    const auto nodes = savedNodes(int(state.range(0)));
    double heap = 0;
    for (auto _ : state) {
        auto world = std::make_unique<HomeWorld>();
        world->harness.startSelected(nodes);
        world->harness.settle();
        settleWindow();
        const double before = heapInUse();
        world->show();
        settleWindow();
        heap = heapInUse() - before;
        world.reset();
        settleWindow();
    }
    state.counters["heapKiB"] = heap / 1024;
}
BENCHMARK(homeMemory)
    ->Arg(10)
    ->Arg(100)
    ->Arg(130)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

// From the window's show to its first frame with the node list laid out and painted.
void homeShown(benchmark::State& state) {
    const auto nodes = savedNodes(int(state.range(0)));
    for (auto _ : state) {
        auto world = std::make_unique<HomeWorld>();
        world->harness.startSelected(nodes);
        world->harness.settle();
        settleWindow();
        QElapsedTimer timer;
        timer.start();
        world->view().resize(480, 600);
        world->view().show();
        settleWindow();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        world.reset();
        settleWindow();
    }
}
BENCHMARK(homeShown)
    ->Arg(10)
    ->Arg(100)
    ->Arg(130)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One resize of the shown window, from its layout to its paint: the width moves between two sizes, so the
// rows change their width every time.
void homeResized(benchmark::State& state) {
    const auto nodes = savedNodes(int(state.range(0)));
    HomeWorld world;
    world.harness.startSelected(nodes);
    world.harness.settle();
    world.show();
    settleWindow();
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        QElapsedTimer timer;
        timer.start();
        world.view().resize(wide ? 560 : 420, 600);
        settleWindow();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(homeResized)
    ->Arg(10)
    ->Arg(100)
    ->Arg(130)
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
