#include "platform/json_file_preferences.hpp"
#include "profiles/connection_log.hpp"
#include "screens/connection_log_view.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QScrollBar>
#include <QTemporaryDir>

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
    int next = 0;

    explicit LogWorld(int entries) { fill(entries); }

    void fill(int entries) {
        while (log.entries().size() < entries)
            appendOne();
    }
    void appendOne() {
        clock.advance(1s);
        log.append(line(next++));
    }
    // Below the log's capacity every line adds a row: now and then the log is cleared and filled again, so
    // that the lines are timed over as many rows as asked (over none for the empty list), not over a log
    // that grows to its capacity as the bench goes on.
    void keepAt(int entries) {
        if (entries < TessaronConnectionLog::capacity && log.entries().size() > entries + entries / 10) {
            log.clear();
            fill(entries);
            QCoreApplication::processEvents();
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

// What is painted before the line counts as shown: what the line changed, as the window paints it when the
// event loop delivers its update; or, as this bench used to, the whole page again on top of that.
enum class Paint { changed, whole };

// One new line while the page is open: the log holds `state.range(0)` entries (at the log's capacity a new
// one also drops the oldest). The iteration ends when the page has settled and painted.
void appendLine(benchmark::State& state, Place place, Paint paint) {
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
    const int rows = int(state.range(0));
    for (auto _ : state) {
        world.appendOne();
        QCoreApplication::processEvents();
        if (paint == Paint::whole)
            view.repaint();
        const bool readerNearTheFoot = place == Place::partWayDown && bar->value() > bar->maximum() * 3 / 4;
        if (readerNearTheFoot || world.log.entries().size() > rows) {
            state.PauseTiming();
            world.keepAt(rows);
            if (readerNearTheFoot)
                readPartWayDown();
            state.ResumeTiming();
        }
    }
}
// The CPU time of every thread of the process: Qt spreads large fills over its thread pool.
BENCHMARK_CAPTURE(appendLine, top, Place::top, Paint::changed)
    ->Arg(0)
    ->Arg(100)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(appendLine, scrolled, Place::partWayDown, Paint::changed)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(appendLine, foot, Place::foot, Paint::changed)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(appendLine, topPaintedWhole, Place::top, Paint::whole)
    ->Arg(0)
    ->Arg(300)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();

// The same line with the page closed: the log's own share (redaction, storing the entries), to be taken
// from the figures above for the page's.
void appendLineClosed(benchmark::State& state) {
    LogWorld world(int(state.range(0)));
    for (auto _ : state)
        world.appendOne();
}
BENCHMARK(appendLineClosed)->Arg(300)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The same over the application's own store, a preferences file in a folder of the bench's: what the file
// costs a line on top of the log's share.
void appendLineToTheFile(benchmark::State& state) {
    const QTemporaryDir folder;
    ManualClock clock;
    JsonFilePreferences preferences(folder.filePath(QStringLiteral("preferences.json")), clock);
    TessaronConnectionLog log{preferences, clock};
    int next = 0;
    while (log.entries().size() < state.range(0))
        log.append(line(next++));
    for (auto _ : state)
        log.append(line(next++));
}
BENCHMARK(appendLineToTheFile)->Arg(300)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

} // namespace
