#include "health/latency_monitor.hpp"
#include "health/name_lookup.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/system_clock.hpp"
#include "support/qt_printers.hpp"
#include "support/silent_peers.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>
#include <vector>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using Answers = std::vector<std::optional<int>>;

QCoro::Task<> measureInto(LatencyProbe* probe, QString host, int port, std::shared_ptr<Answers> answers) {
    const auto milliseconds = co_await probe->measure(host, port);
    answers->push_back(milliseconds);
}

void processEventsUntil(const std::function<bool()>& condition) {
    QElapsedTimer waited;
    waited.start();
    while (!condition() && waited.elapsed() < 30'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A name other than localhost that /etc/hosts gives 127.0.0.1, where the machine lists one; the resolver
// reads no other file of names a test could point it at, and answers localhost without asking anyone.
std::optional<QString> listedLoopbackName() {
    QFile hosts(QStringLiteral("/etc/hosts"));
    if (!hosts.open(QIODevice::ReadOnly))
        return std::nullopt;
    while (!hosts.atEnd()) {
        const auto fields = QString::fromUtf8(hosts.readLine()).section(u'#', 0, 0).simplified().split(u' ');
        if (fields.size() < 2 || QHostAddress(fields[0]) != QHostAddress::LocalHost)
            continue;
        for (const QString& name : fields.mid(1)) {
            if (name != QStringLiteral("localhost"))
                return name;
        }
    }
    return std::nullopt;
}

// Whatever else waits, a live node is taken at once and answers within its own round trip: neither names
// that no name server answers nor handshakes that never complete hold it up, and every lookup is gone once
// its probe has answered.
TEST(ProbeWaitTest, ALiveNodeAnswersAtOnceWhileSilentOnesArePending) {
    const SilentNameServer nameServer;
    const SilentListener silentListener("127.0.0.6");
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    struct Row {
        const char* pending;
        QString silentHost;
        int silentPort;
        QString liveHost;
    };
    const Row rows[] = {
        {"names no name server answers, then localhost", QStringLiteral("silent-%1.tessaron.test"), 443,
         QStringLiteral("localhost")},
        {"names no name server answers, then a name of /etc/hosts", QStringLiteral("silent-%1.tessaron.test"),
         443, listedLoopbackName().value_or(QStringLiteral("localhost"))},
        {"handshakes that never complete", QStringLiteral("127.0.0.6"), silentListener.port(),
         QStringLiteral("127.0.0.1")},
    };
    for (const Row& row : rows) {
        TcpConnectProbe probe{SystemClock::shared(), 2s, nameServer.address()};
        auto silentAnswers = std::make_shared<Answers>();
        for (int node = 0; node < 20; ++node)
            measureInto(&probe, QString(row.silentHost).replace(QStringLiteral("%1"), QString::number(node)),
                        row.silentPort, silentAnswers);
        const auto live = QCoro::waitFor(probe.measure(row.liveHost, listener.serverPort()));
        EXPECT_TRUE(live && *live < 500) << row.pending << ": " << live.value_or(-1);
        EXPECT_TRUE(silentAnswers->empty()) << row.pending;

        processEventsUntil([&] { return silentAnswers->size() == 20; });
        EXPECT_EQ(*silentAnswers, Answers(20)) << row.pending;
        // The probe's clock may answer a moment before the waiter drops the lookup.
        processEventsUntil([] { return NameLookup::pending() == 0; });
        EXPECT_EQ(NameLookup::pending(), 0) << row.pending;
    }
}

// Rounds over a roster with dead names and silent peers: each gives the listener, and only it, a figure,
// and none leaves a lookup behind for the next.
TEST(ProbeWaitTest, EachRoundGivesOnlyTheListenerAFigureAndLeavesNoLookupBehind) {
    const SilentNameServer nameServer;
    const SilentListener silentListener("127.0.0.7");
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    const LatencyTarget live{QUuid::createUuid(), QStringLiteral("localhost"), listener.serverPort()};
    QList<LatencyTarget> targets;
    for (int node = 0; node < 10; ++node) {
        targets.append({QUuid::createUuid(), QStringLiteral("dead-%1.tessaron.test").arg(node), 443});
        targets.append({QUuid::createUuid(), QStringLiteral("127.0.0.7"), silentListener.port()});
    }
    targets.append(live);
    TcpConnectProbe probe{SystemClock::shared(), 1500ms, nameServer.address()};
    LatencyMonitor monitor(probe, SystemClock::shared());
    // Only the rounds probe: the monitor's own loop stays off.
    monitor.setActive(false);
    monitor.update(targets, std::nullopt, 10s, 30s);
    for (int round = 0; round < 3; ++round) {
        QCoro::waitFor(monitor.measureAll(2s));
        EXPECT_EQ(monitor.samples().keys(), QList{live.id}) << round;
        processEventsUntil([] { return NameLookup::pending() == 0; });
        EXPECT_EQ(NameLookup::pending(), 0) << round;
    }
}

// Lookups hanging on a silent name server hold nothing the process waits for at exit, and leave nothing
// for the sanitizers to report.
TEST(ProbeExitTest, TheProcessEndsAtOnceWhateverLookupsHang) {
    const SilentNameServer nameServer;
    QProcess child;
    child.start(QStringLiteral(TESSARON_PROBE_EXIT_CHILD),
                {QString::fromStdString(nameServer.address()), QStringLiteral("40")});
    ASSERT_TRUE(child.waitForStarted());
    while (!child.canReadLine() && child.waitForReadyRead(30'000)) {
    }
    ASSERT_EQ(child.readLine(), "40 lookups pending\n") << child.readAllStandardError().toStdString();
    QElapsedTimer sinceMainReturned;
    sinceMainReturned.start();
    ASSERT_TRUE(child.waitForFinished(30'000));
    EXPECT_LT(sinceMainReturned.elapsed(), 1000);
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(child.readAllStandardError(), QByteArray());
}

} // namespace
} // namespace tessaron::testing
