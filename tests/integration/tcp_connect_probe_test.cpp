#include "health/latency_monitor.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/system_clock.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

// A listener that never completes a handshake: it accepts nothing and its queue is full, so the kernel
// drops new SYNs.
struct SilentListener {
    explicit SilentListener(const char* address) {
        server.setListenBacklogSize(0);
        server.listen(QHostAddress(QString::fromLatin1(address)));
        server.pauseAccepting();
        for (auto& filler : fillers)
            filler.connectToHost(server.serverAddress(), server.serverPort());
        QTest::qWait(50);
    }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    QTcpSocket fillers[2];
};

// Figures for listeners, by address or by name, and none without an answer: refused at once, or silent
// until the deadline.
TEST(ProbeTest, MeasuresAListenerAndGivesNoFigureWithoutAnAnswer) {
    TcpConnectProbe probe{SystemClock::shared(), 400ms};
    const auto measure = [&](const char* host, int port) {
        return QCoro::waitFor(probe.measure(QString::fromLatin1(host), port));
    };
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const auto milliseconds = measure("127.0.0.1", server.serverPort());
    EXPECT_TRUE(milliseconds && *milliseconds >= 0 && *milliseconds < 100) << milliseconds.value_or(-1);
    EXPECT_TRUE(measure("localhost", server.serverPort()));
    const auto closedPort = server.serverPort();
    server.close();

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(measure("127.0.0.1", closedPort));
    EXPECT_LT(elapsed.elapsed(), 300) << "a refused connection answers at once";
    for (const int port : {0, 65536})
        EXPECT_FALSE(measure("127.0.0.2", port)) << port;
    EXPECT_FALSE(measure("no-such-host.invalid", 443));

    const SilentListener silent("127.0.0.6");
    elapsed.restart();
    EXPECT_FALSE(measure("127.0.0.6", silent.port()));
    EXPECT_GE(elapsed.elapsed(), 400);
    EXPECT_LT(elapsed.elapsed(), 1500);
}

// A session's monitor, probe and clock go away together while the workers still wait for silent peers;
// the workers finish afterwards and must find nothing of theirs destroyed.
TEST(ProbeTeardownTest, MeasurementsInFlightOutliveTheirMonitorProbeAndClock) {
    SilentListener silent("127.0.0.10");
    const QList<LatencyTarget> targets{{QUuid::createUuid(), QStringLiteral("127.0.0.10"), silent.port()},
                                       {QUuid::createUuid(), QStringLiteral("127.0.0.10"), silent.port()}};
    for (int round = 0; round < 300; ++round) {
        auto clock = std::make_unique<ManualClock>();
        auto probe = std::make_unique<TcpConnectProbe>(*clock, 20ms);
        auto monitor = std::make_unique<LatencyMonitor>(*probe, *clock);
        monitor->update(targets, targets.first().id, 10s, 30s);
        monitor->measureAll(1s);
        // Each round ends with the monitor, the probe and the clock destroyed in that order.
    }
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace
} // namespace tessaron::testing
