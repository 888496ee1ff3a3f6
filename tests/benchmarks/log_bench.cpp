#include "profiles/connection_log.hpp"
#include "profiles/redaction.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <benchmark/benchmark.h>

using tessaron::TessaronConnectionLog;
using tessaron::testing::ManualClock;
using tessaron::testing::MemoryPreferences;

namespace {

// A full log's worth of the lines the session writes, with the personal data a real one would carry.
QStringList fullLogOfLines() {
    const QStringList kinds = {
        QStringLiteral("connect tapped"),
        QStringLiteral("dial 203.0.113.41:443 via tcp"),
        QStringLiteral("check passed in 182 ms"),
        QStringLiteral("signed in as jane.doe+vpn@mail.example.co.uk"),
        QStringLiteral("redeeming Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s"),
        QStringLiteral("selected profile 3F2504E0-4F89-41D3-9A0C-0305E82C3301 (Z\u00fcrich)"),
        QStringLiteral("auto-disconnect: screen locked"),
        QStringLiteral("failover: node 198.51.100.7 down, trying xhttp"),
        QStringLiteral("tunnel phase: blocked"),
        QStringLiteral("roster pulled: 12 nodes, usage 81 %"),
    };
    QStringList lines;
    for (qsizetype n = 0; n < TessaronConnectionLog::capacity; ++n)
        lines.append(kinds[n % kinds.size()]);
    return lines;
}

void redactAFullLog(benchmark::State& state) {
    const auto lines = fullLogOfLines();
    for (auto _ : state) {
        for (const auto& line : lines)
            benchmark::DoNotOptimize(tessaron::redactPersonalData(line));
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(redactAFullLog)->Unit(benchmark::kMicrosecond);

// One append to a log that is already full: redaction, trimming and storing all 300 entries.
void appendToAFullLog(benchmark::State& state) {
    MemoryPreferences preferences;
    ManualClock clock;
    TessaronConnectionLog log(preferences, clock);
    const auto lines = fullLogOfLines();
    for (const auto& line : lines)
        log.append(line);
    qsizetype next = 0;
    for (auto _ : state)
        log.append(lines[next++ % lines.size()]);
}
BENCHMARK(appendToAFullLog)->Unit(benchmark::kMicrosecond);

void exportAFullLog(benchmark::State& state) {
    MemoryPreferences preferences;
    ManualClock clock;
    TessaronConnectionLog log(preferences, clock);
    for (const auto& line : fullLogOfLines())
        log.append(line);
    for (auto _ : state)
        benchmark::DoNotOptimize(log.exportText());
}
BENCHMARK(exportAFullLog)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
