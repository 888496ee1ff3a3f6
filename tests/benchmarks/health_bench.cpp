#include "health/failover_planner.hpp"
#include "health/failover_policy.hpp"
#include "health/latency_monitor.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/system_clock.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class InstantProbe final : public tessaron::LatencyProbe {
public:
    QCoro::Task<std::optional<int>> measure(QString host, int) override { co_return int(host.size()); }
};

// One full pass of the probe loop over 50 nodes: 50 measurements, one per half-second tick.
void BM_MonitorLoopOver50Nodes(benchmark::State& state) {
    tessaron::testing::ManualClock clock;
    InstantProbe probe;
    tessaron::LatencyMonitor monitor(probe, clock);
    int generation = 0;
    for (auto _ : state) {
        QList<tessaron::LatencyTarget> targets;
        for (int i = 0; i < 50; ++i)
            targets.append(
                {QUuid::createUuid(), QStringLiteral("node-%1-%2.test").arg(++generation).arg(i), 443});
        monitor.update(targets, std::nullopt, 10s, 30s);
        clock.advance(25s);
        benchmark::DoNotOptimize(monitor.samples().size());
    }
}
BENCHMARK(BM_MonitorLoopOver50Nodes)->Unit(benchmark::kMicrosecond);

// One failover decision as the session makes it: order 50 nodes by health and speed, then let the policy
// exclude the failing node and pick the next one.
void BM_FailoverDecisionOver50Nodes(benchmark::State& state) {
    const auto now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    QList<QUuid> ids;
    tessaron::LatencyTable latencies;
    tessaron::NodeHealthTable health;
    for (int i = 0; i < 50; ++i) {
        const auto id = ids.emplaceBack(QUuid::createUuid());
        latencies.insert(id, {20 + (i * 37) % 200, now});
        health.insert(id, {.up = i % 7 != 0,
                           .checkedAt = now.addSecs(-60),
                           .paused = false,
                           .resumesAt = {},
                           .load = (i % 10) / 10.0,
                           .busy = i % 11 == 0});
    }
    const tessaron::FailoverPolicy start;
    for (auto _ : state) {
        auto policy = start;
        const auto candidates = tessaron::FailoverPlanner::orderedNodes(ids, latencies, health, now);
        const auto action =
            policy.handle(tessaron::FailoverPolicy::Event::checkFailed(candidates.first(), true), now,
                          candidates, latencies, health);
        benchmark::DoNotOptimize(action);
    }
}
BENCHMARK(BM_FailoverDecisionOver50Nodes)->Unit(benchmark::kMicrosecond);

// A non-blocking listener on a port of its own on 127.0.0.2; `address` receives where it listens.
int listenOnLoopback(sockaddr_in& address) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    address = {.sin_family = AF_INET, .sin_port = 0, .sin_addr = {}, .sin_zero = {}};
    ::inet_pton(AF_INET, "127.0.0.2", &address.sin_addr);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1024);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return listener;
}

// A connect to a loopback listener: argument 0 is the floor, a blocking connect and close on this thread;
// argument 1 goes through the probe (the waiter's thread and the hop back to this thread).
void BM_LoopbackConnect(benchmark::State& state) {
    sockaddr_in address{};
    const int listener = listenOnLoopback(address);
    tessaron::TcpConnectProbe probe(tessaron::SystemClock::shared());
    for (auto _ : state) {
        if (state.range(0) == 0) {
            const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
            ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            ::close(socket);
        } else {
            benchmark::DoNotOptimize(
                QCoro::waitFor(probe.measure(QStringLiteral("127.0.0.2"), ntohs(address.sin_port))));
        }
        state.PauseTiming();
        for (int accepted; (accepted = ::accept(listener, nullptr, nullptr)) >= 0;)
            ::close(accepted);
        state.ResumeTiming();
    }
    ::close(listener);
}
BENCHMARK(BM_LoopbackConnect)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// What one round over `state.range(0)` nodes (loopback listeners, as the session's automatic pick measures
// them before a connect) leaves in the process's resident memory once it has ended: the slope between two
// counts is a node's share. Run each count in a process of its own (--benchmark_filter=Round.*/130): a
// round that follows another finds its threads.
void BM_RoundResidentMemory(benchmark::State& state) {
    sockaddr_in address{};
    const int listener = listenOnLoopback(address);
    QList<tessaron::LatencyTarget> targets;
    for (int i = 0; i < state.range(0); ++i)
        targets.append({QUuid::createUuid(), QStringLiteral("127.0.0.2"), ntohs(address.sin_port)});
    tessaron::TcpConnectProbe probe(tessaron::SystemClock::shared());
    tessaron::LatencyMonitor monitor(probe, tessaron::SystemClock::shared());
    monitor.setActive(false);
    monitor.update(targets, std::nullopt, 10s, 30s);
    const long before = residentKiB();
    for (auto _ : state)
        QCoro::waitFor(monitor.measureAll(2s));
    state.counters["residentKiB"] = double(residentKiB() - before);
    ::close(listener);
}
BENCHMARK(BM_RoundResidentMemory)->Arg(10)->Arg(130)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
