#include "health/latency_monitor.hpp"
#include "scripted_latency_probe.hpp"
#include "support/manual_clock.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tessaron::Clock;
using tessaron::LatencyMonitor;
using tessaron::LatencySample;
using tessaron::LatencyTable;
using tessaron::LatencyTarget;
using tessaron::testing::ManualClock;
using tessaron::testing::ScriptedLatencyProbe;

namespace {

const QUuid idA = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000a}"));
const QUuid idB = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000b}"));
const QUuid idC = QUuid::fromString(QStringLiteral("{00000000-0000-0000-0000-00000000000c}"));

LatencyTarget target(const QUuid& id, const char* host) {
    return {id, QString::fromLatin1(host), 443};
}

const QList<LatencyTarget> threeNodes{target(idA, "a"), target(idB, "b"), target(idC, "c")};

QCoro::Task<> runAndMark(QCoro::Task<> task, bool* done) {
    co_await std::move(task);
    *done = true;
}

struct MonitorTest : ::testing::Test {
    MonitorTest() {
        for (const auto* host : {"a", "b", "c"})
            probe.setAnswer(QString::fromLatin1(host), 50);
    }

    QList<Clock::Duration> callTimes(const QString& host) const {
        QList<Clock::Duration> times;
        for (const auto& call : probe.calls()) {
            if (call.host == host)
                times.append(call.at);
        }
        return times;
    }

    std::optional<int> milliseconds(const QUuid& id) const {
        const auto samples = monitor.samples();
        return samples.contains(id) ? std::optional(samples.value(id).milliseconds) : std::nullopt;
    }

    ManualClock clock;
    ScriptedLatencyProbe probe{clock};
    LatencyMonitor monitor{probe, clock};
};

} // namespace

TEST_F(MonitorTest, SelectedNodeEveryActiveIntervalOthersEveryOthersInterval) {
    monitor.update(threeNodes, idA, 10s, 30s);
    clock.advance(31s);
    // One measurement per half-second tick; each next one is timed from the end of the last.
    EXPECT_EQ(callTimes("a"), (QList<Clock::Duration>{0s, 10s, 20s, 30s}));
    EXPECT_EQ(callTimes("b"), (QList<Clock::Duration>{500ms, 30500ms}));
    EXPECT_EQ(callTimes("c"), (QList<Clock::Duration>{1s, 31s}));
}

TEST_F(MonitorTest, IntervalsBelowOneSecondAreRaisedToOne) {
    monitor.update(threeNodes, idA, -5s, 999ms);
    EXPECT_EQ(monitor.activeInterval(), 1s);
    EXPECT_EQ(monitor.othersInterval(), 1s);
}

TEST_F(MonitorTest, SameTargetsAndSelectionOnlyChangeThePace) {
    monitor.update(threeNodes, idA, 10s, 30s);
    clock.advance(2s);
    const auto before = probe.calls().size();
    monitor.update(threeNodes, idA, 10s, 30s);
    clock.advance(7s);
    EXPECT_EQ(probe.calls().size(), before) << "no target may become due early";
    clock.advance(1s);
    EXPECT_EQ(probe.calls().size(), before + 1);
}

TEST_F(MonitorTest, NewSelectionKeepsSamplesAndMakesEveryTargetDue) {
    monitor.update(threeNodes, idA, 10s, 30s);
    clock.advance(2s);
    probe.setAnswer(QStringLiteral("a"), 60);

    monitor.update(threeNodes, idB, 10s, 30s);
    EXPECT_EQ(monitor.samples().size(), 3);
    clock.advance(1500ms);
    // Everything is measured again from the next tick, in list order; the figures are smoothed onto the old.
    EXPECT_EQ(callTimes("a").last(), 2500ms);
    EXPECT_EQ(callTimes("b").last(), 3s);
    EXPECT_EQ(callTimes("c").last(), 3500ms);
    EXPECT_EQ(milliseconds(idA), 56);
}

TEST_F(MonitorTest, LosingANodeDropsItsSampleInOneChangeAndAnEmptyListStopsProbing) {
    monitor.update(threeNodes, idA, 10s, 30s);
    clock.advance(2s);
    QSignalSpy changes(&monitor, &LatencyMonitor::samplesChanged);
    monitor.update({target(idA, "a"), target(idC, "c")}, idA, 10s, 30s);
    ASSERT_EQ(changes.size(), 1);
    const auto published = changes.first().first().value<LatencyTable>();
    EXPECT_EQ(published.size(), 2);
    EXPECT_FALSE(published.contains(idB));

    monitor.update({}, idA, 10s, 30s);
    EXPECT_TRUE(monitor.samples().isEmpty());
    EXPECT_FALSE(monitor.isProbing());
    const auto before = probe.calls().size();
    clock.advance(60s);
    EXPECT_EQ(probe.calls().size(), before);
}

TEST_F(MonitorTest, RecordsRawThenSmoothedAndForgetsANodeThatStopsAnswering) {
    probe.setAnswer(QStringLiteral("a"), 100);
    monitor.update({target(idA, "a")}, idA, 10s, 30s);
    EXPECT_EQ(monitor.samples().value(idA), (LatencySample{100, clock.now()}));

    probe.setAnswer(QStringLiteral("a"), 110);
    clock.advance(10s);
    EXPECT_EQ(monitor.samples().value(idA), (LatencySample{106, clock.now()}));

    probe.setAnswer(QStringLiteral("a"), std::nullopt);
    clock.advance(10s);
    EXPECT_FALSE(monitor.samples().contains(idA)) << "a failed measurement must not keep the old figure";

    probe.setAnswer(QStringLiteral("a"), 300);
    clock.advance(10s);
    EXPECT_EQ(milliseconds(idA), 300);
}

// A node removed or moved to another server while it is measured gets no figure from that measurement.
TEST_F(MonitorTest, OnlyACurrentTargetGetsTheFigureOfAMeasurementInFlight) {
    probe.holdAnswers(QStringLiteral("b"));
    probe.holdAnswers(QStringLiteral("old"));
    monitor.update({target(idB, "b"), target(idA, "old")}, idA, 10s, 30s);
    clock.advance(500ms);
    ASSERT_EQ(probe.heldCount(), 1);
    monitor.update({target(idA, "old")}, idA, 10s, 30s);
    probe.answer(QStringLiteral("b"), 42);
    EXPECT_FALSE(monitor.samples().contains(idB));

    clock.advance(500ms);
    probe.setAnswer(QStringLiteral("new"), 80);
    monitor.update({target(idA, "new")}, idA, 10s, 30s);
    probe.answer(QStringLiteral("old"), 5);
    EXPECT_FALSE(monitor.samples().contains(idA));
    clock.advance(500ms);
    EXPECT_EQ(milliseconds(idA), 80);
}

TEST_F(MonitorTest, SwitchingOffLetsTheProbeInFlightFinishAndSwitchingOnMakesEveryTargetDueOnce) {
    probe.holdAnswers(QStringLiteral("a"));
    monitor.update(threeNodes, idA, 10s, 30s);
    monitor.setActive(false);
    probe.answer(QStringLiteral("a"), 70);
    EXPECT_EQ(milliseconds(idA), 70);
    clock.advance(60s);
    EXPECT_FALSE(monitor.isProbing());
    EXPECT_EQ(probe.calls().size(), 1);

    probe.setAnswer(QStringLiteral("a"), 50);
    monitor.setActive(true);
    EXPECT_EQ(callTimes("a").last(), 60s) << "due now on activation";
    clock.advance(1s);
    monitor.setActive(true);
    clock.advance(8s);
    EXPECT_EQ(callTimes("a").size(), 2) << "a second activation changes nothing";
}

TEST_F(MonitorTest, TargetsDueTogetherAreMeasuredInListOrderOneAtATime) {
    for (const auto* host : {"a", "b", "c"})
        probe.holdAnswers(QString::fromLatin1(host));
    monitor.update(threeNodes, idB, 10s, 30s);
    EXPECT_EQ(probe.hostsCalled(), QStringList{QStringLiteral("a")});
    clock.advance(5s);
    EXPECT_EQ(probe.heldCount(), 1) << "the loop waits for each measurement";
    probe.answer(QStringLiteral("a"), 10);
    clock.advance(500ms);
    EXPECT_EQ(probe.hostsCalled(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST_F(MonitorTest, MeasureAllCapsEveryNodeByTheBudgetAndRecordsOnlyCurrentTargets) {
    probe.holdAnswers(QStringLiteral("b"));
    probe.holdAnswers(QStringLiteral("c"));
    monitor.setActive(false);
    monitor.update(threeNodes, idA, 10s, 30s);
    bool done = false;
    runAndMark(monitor.measureAll(2s), &done);
    EXPECT_EQ(probe.calls().size(), 3) << "all nodes are measured at the same time";
    EXPECT_EQ(milliseconds(idA), 50);

    monitor.update({target(idA, "a"), target(idB, "b")}, idA, 10s, 30s);
    probe.answer(QStringLiteral("c"), 20);
    EXPECT_FALSE(monitor.samples().contains(idC)) << "no longer a target";
    clock.advance(1999ms);
    EXPECT_FALSE(done);
    clock.advance(1ms);
    EXPECT_TRUE(done);
    probe.answer(QStringLiteral("b"), 20);
    EXPECT_EQ(monitor.samples().keys(), QList<QUuid>{idA}) << "a late answer is dropped";
}
