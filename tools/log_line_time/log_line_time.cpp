// Times connection-log lines as the window's thread writes them, over the application's own preferences
// file in "<XDG config>/tessaron/": wall and CPU time of each `append`, one line per output row in
// microseconds. The log is filled to its capacity first, as a long-running client's is.
//
//   tessaron-log-line-time [lines]   (default 20)

#include "platform/json_file_preferences.hpp"
#include "platform/system_clock.hpp"
#include "profiles/connection_log.hpp"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::chrono::nanoseconds threadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace tessaron;
    QCoreApplication application(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 20;

    TessaronConnectionLog log(standardPreferences(), SystemClock::shared());
    for (int filled = 0; log.entries().size() < TessaronConnectionLog::capacity; ++filled)
        log.append(QStringLiteral("tunnel status: connected %1").arg(filled));
    // Lines come apart in a session: whatever the filling left to write is written before the first.
    std::this_thread::sleep_for(1s);

    std::printf("wall_us cpu_us\n");
    for (int line = 0; line < lines; ++line) {
        const auto wallBefore = std::chrono::steady_clock::now();
        const auto cpuBefore = threadCpuTime();
        log.append(QStringLiteral("failover: blocked \u2192 Amsterdam Backup Node %1 (xhttp)").arg(line));
        const auto cpu = threadCpuTime() - cpuBefore;
        const auto wall = std::chrono::steady_clock::now() - wallBefore;
        std::printf("%lld %lld\n", qint64(wall / 1us), qint64(cpu / 1us));
        std::this_thread::sleep_for(100ms);
    }
    return 0;
}
