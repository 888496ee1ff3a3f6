// Starts lookups that no name server answers, waits until every one is pending, says so and returns from
// main while they still hang.
//   tessaron-probe-exit-child <name server address:port> <lookups>

#include "health/name_lookup.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/system_clock.hpp"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    using namespace std::chrono_literals;
    if (argc != 3)
        return 2;
    QCoreApplication application(argc, argv);
    const int lookups = std::atoi(argv[2]);
    tessaron::TcpConnectProbe probe(tessaron::SystemClock::shared(), 600s, argv[1]);
    for (int lookup = 0; lookup < lookups; ++lookup)
        probe.measure(QStringLiteral("hanging-%1.tessaron.test").arg(lookup), 443);
    while (tessaron::NameLookup::pending() < lookups)
        QThread::msleep(5);
    std::printf("%d lookups pending\n", lookups);
    std::fflush(stdout);
    return 0;
}
