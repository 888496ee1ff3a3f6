#include "health/failover_planner.hpp"
#include "health/failover_policy.hpp"
#include "health/latency_monitor.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/system_clock.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using tessaron::LatencyMonitor;
using tessaron::LatencyTarget;
using tessaron::testing::ManualClock;

namespace {

class InstantProbe final : public tessaron::LatencyProbe {
public:
    QCoro::Task<std::optional<int>> measure(QString host, int) override { co_return int(host.size()); }
};

QList<LatencyTarget> nodes(int count, int generation) {
    QList<LatencyTarget> targets;
    for (int i = 0; i < count; ++i)
        targets.append({QUuid::createUuid(), QStringLiteral("node-%1-%2.test").arg(generation).arg(i), 443});
    return targets;
}

QCoro::Task<> measureAllOnce(LatencyMonitor* monitor) {
    co_await monitor->measureAll(2s);
}

// One full pass of the probe loop over 50 nodes: 50 measurements, one per half-second tick.
void BM_MonitorLoopOver50Nodes(benchmark::State& state) {
    ManualClock clock;
    InstantProbe probe;
    LatencyMonitor monitor(probe, clock);
    int generation = 0;
    for (auto _ : state) {
        monitor.update(nodes(50, ++generation), std::nullopt, 10s, 30s);
        clock.advance(25s);
        benchmark::DoNotOptimize(monitor.samples().size());
    }
}
BENCHMARK(BM_MonitorLoopOver50Nodes)->Unit(benchmark::kMicrosecond);

// The capped round an automatic choice of node runs first: 50 measurements at once, each with its budget.
void BM_MonitorMeasureAllOver50Nodes(benchmark::State& state) {
    ManualClock clock;
    InstantProbe probe;
    LatencyMonitor monitor(probe, clock);
    monitor.setActive(false);
    monitor.update(nodes(50, 0), std::nullopt, 10s, 30s);
    for (auto _ : state) {
        measureAllOnce(&monitor);
        clock.runDue();
        benchmark::DoNotOptimize(monitor.samples().size());
    }
}
BENCHMARK(BM_MonitorMeasureAllOver50Nodes)->Unit(benchmark::kMicrosecond);

// One failover decision as the session makes it: order 50 nodes by health and speed, then let the policy
// exclude the failing node and pick the next one.
void BM_FailoverDecisionOver50Nodes(benchmark::State& state) {
    const auto now = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
    QList<QUuid> ids;
    tessaron::LatencyTable latencies;
    tessaron::NodeHealthTable health;
    for (int i = 0; i < 50; ++i) {
        const auto id = QUuid::createUuid();
        ids.append(id);
        latencies.insert(id, {20 + (i * 37) % 200, now});
        tessaron::TessaronNodeHealth entry;
        entry.up = i % 7 != 0;
        entry.checkedAt = now.addSecs(-60);
        entry.load = (i % 10) / 10.0;
        entry.busy = i % 11 == 0;
        health.insert(id, entry);
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

// A loopback listener whose connections are accepted and closed between iterations.
class LoopbackListener {
public:
    LoopbackListener() {
        descriptor_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        address_.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.2", &address_.sin_addr);
        ::bind(descriptor_, reinterpret_cast<sockaddr*>(&address_), sizeof address_);
        ::listen(descriptor_, 1024);
        socklen_t length = sizeof address_;
        ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address_), &length);
    }
    ~LoopbackListener() { ::close(descriptor_); }

    int port() const { return ntohs(address_.sin_port); }
    const sockaddr_in& address() const { return address_; }
    void drain() const {
        int accepted;
        while ((accepted = ::accept(descriptor_, nullptr, nullptr)) >= 0)
            ::close(accepted);
    }

private:
    int descriptor_ = -1;
    sockaddr_in address_{};
};

// The floor: a blocking connect and close on the calling thread.
void BM_PlainLoopbackConnect(benchmark::State& state) {
    LoopbackListener listener;
    for (auto _ : state) {
        const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(socket, reinterpret_cast<const sockaddr*>(&listener.address()), sizeof(sockaddr_in));
        ::close(socket);
        state.PauseTiming();
        listener.drain();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlainLoopbackConnect)->Unit(benchmark::kMicrosecond);

// The same connect through the probe: a worker thread, the resolver, and the hop back to this thread.
void BM_ProbeLoopbackConnect(benchmark::State& state) {
    LoopbackListener listener;
    tessaron::TcpConnectProbe probe(tessaron::SystemClock::shared());
    for (auto _ : state) {
        const auto milliseconds = QCoro::waitFor(probe.measure(QStringLiteral("127.0.0.2"), listener.port()));
        benchmark::DoNotOptimize(milliseconds);
        state.PauseTiming();
        listener.drain();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ProbeLoopbackConnect)->Unit(benchmark::kMicrosecond);

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
