// Measures what names that never resolve cost the latency probe, with the system's resolver configuration
// (tools/measure-name-lookups.sh points it at a silent name server in a mount namespace of its own). The
// probe has its default 3 s deadline; a "dead name" is a name no name server answers.
//   tessaron-name-lookup-bench live-after-round   after a round over 20 dead names, probes a localhost
//                                                 listener until it gets a figure: ms to the figure
//   tessaron-name-lookup-bench pending ROUNDS     a round of 20 dead names every 3.5 s: lookups still
//                                                 pending after each round
//   tessaron-name-lookup-bench exit LOOKUPS       returns from main with that many lookups hanging and
//                                                 prints the monotonic time of the return (ns)

#include "health/tcp_connect_probe.hpp"
#include "platform/system_clock.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <netdb.h>

namespace {

// Lookups that ended: the system resolver returned (a blocking lookup) or the asynchronous resolver's
// channel was destroyed (one channel a lookup).
std::atomic<int> lookupsEnded{0};

template <typename Function> Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** found) {
    static const auto next =
        real<int (*)(const char*, const char*, const addrinfo*, addrinfo**)>("getaddrinfo");
    const int result = next(node, service, hints, found);
    if (!hints || !(hints->ai_flags & AI_NUMERICHOST))
        ++lookupsEnded;
    return result;
}

struct ares_channeldata;
extern "C" void ares_destroy(ares_channeldata* channel) {
    static const auto next = real<void (*)(ares_channeldata*)>("ares_destroy");
    next(channel);
    ++lookupsEnded;
}

namespace {

using namespace std::chrono_literals;

int started = 0;

QCoro::Task<> measureInto(tessaron::TcpConnectProbe* probe, QString host, std::shared_ptr<int> answered) {
    co_await probe->measure(host, 443);
    ++*answered;
}

void processEventsFor(std::chrono::milliseconds duration) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < duration.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Starts a round over dead names; the counter reaches the count when every caller has its answer.
std::shared_ptr<int> startRound(tessaron::TcpConnectProbe& probe, int names) {
    auto answered = std::make_shared<int>(0);
    for (int name = 0; name < names; ++name, ++started)
        measureInto(&probe, QStringLiteral("dead-%1.tessaron.test").arg(started), answered);
    return answered;
}

int liveAfterRound(tessaron::TcpConnectProbe& probe) {
    QTcpServer listener;
    if (!listener.listen(QHostAddress::LocalHost))
        return 1;
    const auto answered = startRound(probe, 20);
    while (*answered < 20)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int tries = 1; elapsed.elapsed() < 120'000; ++tries) {
        const auto figure = QCoro::waitFor(probe.measure(QStringLiteral("localhost"), listener.serverPort()));
        if (figure) {
            std::printf("live-after-round %lld ms (%d tries, figure %d ms)\n", elapsed.elapsed(), tries,
                        *figure);
            return 0;
        }
    }
    std::printf("live-after-round none in 120 s\n");
    return 0;
}

int pendingAfterRounds(tessaron::TcpConnectProbe& probe, int rounds) {
    for (int round = 1; round <= rounds; ++round) {
        startRound(probe, 20);
        processEventsFor(3500ms);
        std::printf("pending after round %d: %d\n", round, started - lookupsEnded.load());
    }
    return 0;
}

int exitWithHangingLookups(tessaron::TcpConnectProbe& probe, int lookups) {
    startRound(probe, lookups);
    processEventsFor(500ms);
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("returning %lld\n", static_cast<long long>(std::chrono::nanoseconds(now).count()));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    tessaron::TcpConnectProbe probe(tessaron::SystemClock::shared());
    const char* mode = argc > 1 ? argv[1] : "";
    const int count = argc > 2 ? std::atoi(argv[2]) : 0;
    if (std::strcmp(mode, "live-after-round") == 0)
        return liveAfterRound(probe);
    if (std::strcmp(mode, "pending") == 0)
        return pendingAfterRounds(probe, count);
    if (std::strcmp(mode, "exit") == 0)
        return exitWithHangingLookups(probe, count);
    std::fprintf(stderr, "usage: %s live-after-round | pending ROUNDS | exit LOOKUPS\n", argv[0]);
    return 2;
}
