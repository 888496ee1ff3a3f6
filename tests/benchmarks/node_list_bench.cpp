#include "screens/home_fixture.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>

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

} // namespace
