#include "profiles/connection_log.hpp"
#include "screens/connection_log_view.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

using namespace std::chrono_literals;

namespace {

using namespace tessaron;
using namespace tessaron::testing;

// Lines as the session writes them: most short, every fifth long enough to wrap at the page's width.
QString line(int index) {
    if (index % 5 == 4)
        return QStringLiteral(
                   "failover: blocked \u2192 Amsterdam Backup Node %1 (xhttp) after the tunnel stayed "
                   "blocked for 20 s while the reachability check failed three times")
            .arg(index);
    return QStringLiteral("tunnel status: connected %1").arg(index);
}

struct LogWorld {
    MemoryPreferences preferences;
    ManualClock clock;
    TessaronConnectionLog log{preferences, clock};

    explicit LogWorld(int entries) {
        for (int index = 0; index < entries; ++index) {
            clock.advance(1s);
            log.append(line(index));
        }
    }
};

// The page opened over a log of `state.range(0)` entries: built, laid out and painted once, as the event
// loop would before the person sees it.
void openLog(benchmark::State& state) {
    LogWorld world(int(state.range(0)));
    for (auto _ : state) {
        TessaronConnectionLogView view{world.log};
        view.resize(520, 640);
        view.show();
        QCoreApplication::processEvents();
        view.repaint();
    }
}
BENCHMARK(openLog)->Arg(0)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

// Where the person reads when the new line comes in.
enum class Place { top, partWayDown, foot };

// One new line while the page is open: the log holds `state.range(0)` entries (at the log's capacity a new
// one also drops the oldest). The iteration ends when the page has settled and painted.
void appendLine(benchmark::State& state, Place place) {
    LogWorld world(int(state.range(0)));
    TessaronConnectionLogView view{world.log};
    view.resize(520, 640);
    view.show();
    QCoreApplication::processEvents();
    auto* bar = view.findChild<QAbstractScrollArea*>()->verticalScrollBar();
    // Part way down, the row being read is held in place as rows come in above it, and so moves down the
    // list line by line: it is taken back up before it reaches the foot, outside the timing.
    const auto readPartWayDown = [&] {
        bar->setValue(bar->maximum() / 2);
        QCoreApplication::processEvents();
    };
    if (place == Place::partWayDown)
        readPartWayDown();
    // At the foot of a full log the row being read cannot be held: the dropped row leaves no room below.
    if (place == Place::foot) {
        bar->setValue(bar->maximum());
        QCoreApplication::processEvents();
    }
    int next = int(state.range(0));
    for (auto _ : state) {
        world.clock.advance(1s);
        world.log.append(line(next++));
        QCoreApplication::processEvents();
        view.repaint();
        if (place == Place::partWayDown && bar->value() > bar->maximum() * 3 / 4) {
            state.PauseTiming();
            readPartWayDown();
            state.ResumeTiming();
        }
    }
}
BENCHMARK_CAPTURE(appendLine, top, Place::top)->Arg(0)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(appendLine, scrolled, Place::partWayDown)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(appendLine, foot, Place::foot)->Arg(300)->Unit(benchmark::kMicrosecond);

// The same line with the page closed: the log's own share (redaction, storing the entries), to be taken
// from the figures above for the page's.
void appendLineClosed(benchmark::State& state) {
    LogWorld world(int(state.range(0)));
    int next = int(state.range(0));
    for (auto _ : state) {
        world.clock.advance(1s);
        world.log.append(line(next++));
    }
}
BENCHMARK(appendLineClosed)->Arg(300)->Unit(benchmark::kMicrosecond);

} // namespace
