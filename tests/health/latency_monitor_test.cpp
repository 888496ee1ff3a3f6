#include "health/latency_monitor.hpp"
#include "node_fixtures.hpp"
#include "scripted_latency_probe.hpp"
#include "support/manual_clock.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace tessaron;
using namespace tessaron::testing;
using Times = QList<tessaron::Clock::Duration>;

namespace {

const QUuid idA = node('A'), idB = node('B'), idC = node('C');

const QList<LatencyTarget> threeNodes{{idA, u"a"_s, 443}, {idB, u"b"_s, 443}, {idC, u"c"_s, 443}};

QCoro::Task<> runAndMark(QCoro::Task<> task, bool* done) {
    co_await std::move(task);
    *done = true;
}

struct MonitorTest : ::testing::Test {
    static LatencyTarget target(const QUuid& id, const QString& host) { return {id, host, 443}; }

    MonitorTest() {
        for (const auto& host : {u"a"_s, u"b"_s, u"c"_s})
            probe.setAnswer(host, 50);
    }

    void update(const QList<LatencyTarget>& targets, const QUuid& active = idA) {
        monitor.update(targets, active, 10s, 30s);
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

TEST_F(MonitorTest, PacesTheNodesAndMakesEveryTargetDueOnlyForANewListOrSelection) {
    update(threeNodes);
    clock.advance(31s);
    // One measurement per half-second tick; each next one is timed from the end of the last.
    EXPECT_EQ(probe.callTimes(u"a"_s), (Times{0s, 10s, 20s, 30s}));
    EXPECT_EQ(probe.callTimes(u"b"_s), (Times{500ms, 30500ms}));
    EXPECT_EQ(probe.callTimes(u"c"_s), (Times{1s, 31s}));

    // The same list and node only change the pace: no target becomes due early.
    monitor.update(threeNodes, idA, -5s, 999ms);
    EXPECT_EQ((Times{monitor.activeInterval(), monitor.othersInterval()}), (Times{1s, 1s}));
    clock.advance(10s);
    EXPECT_EQ(probe.callTimes(u"a"_s).mid(4), (Times{40s, 41s}));

    // A new selection keeps the samples; everything is measured again from the next tick, in list order, and
    // the figures are smoothed onto the old.
    probe.setAnswer(u"a"_s, 60);
    update(threeNodes, idB);
    clock.advance(1500ms);
    for (const auto& [host, at] :
         {std::pair(u"a"_s, 41500ms), std::pair(u"b"_s, 42000ms), std::pair(u"c"_s, 42500ms)})
        EXPECT_EQ(probe.callTimes(host).last(), at) << host.toStdString();
    EXPECT_EQ(milliseconds(idA), 56);

    QSignalSpy changes(&monitor, &LatencyMonitor::samplesChanged);
    update({target(idA, u"a"_s), target(idC, u"c"_s)}, idB);
    ASSERT_EQ(changes.size(), 1) << "a lost node's sample goes in one change";
    const auto published = changes.first().first().value<LatencyTable>();
    EXPECT_EQ(QSet(published.keyBegin(), published.keyEnd()), (QSet<QUuid>{idA, idC}));

    update({});
    EXPECT_TRUE(monitor.samples().isEmpty());
    const auto stopped = probe.callCount();
    clock.advance(60s);
    EXPECT_EQ(probe.callCount(), stopped);
}

// A node removed or moved to another server while it is measured gets no figure from that measurement.
TEST_F(MonitorTest, OnlyACurrentTargetGetsTheFigureOfAMeasurementInFlightAndAFailureForgetsIt) {
    probe.holdAnswers(u"b"_s);
    probe.holdAnswers(u"old"_s);
    update({target(idB, u"b"_s), target(idA, u"old"_s)});
    clock.advance(500ms);
    ASSERT_EQ(probe.callCount(), 1);
    update({target(idA, u"old"_s)});
    probe.answer(u"b"_s, 42);
    EXPECT_FALSE(monitor.samples().contains(idB));

    clock.advance(500ms);
    probe.setAnswer(u"new"_s, 80);
    update({target(idA, u"new"_s)});
    probe.answer(u"old"_s, 5);
    EXPECT_FALSE(monitor.samples().contains(idA));
    clock.advance(500ms);
    EXPECT_EQ(monitor.samples().value(idA), (LatencySample{80, clock.now()}))
        << "the first figure is stored raw";

    probe.setAnswer(u"new"_s, std::nullopt);
    clock.advance(10s);
    EXPECT_FALSE(monitor.samples().contains(idA)) << "a failed measurement must not keep the old figure";
}

TEST_F(MonitorTest, MeasuresOneAtATimeAndSwitchingOffLetsTheProbeInFlightFinish) {
    probe.holdAnswers(u"a"_s);
    update(threeNodes);
    clock.advance(5s);
    EXPECT_EQ(probe.callCount(), 1) << "the loop waits for each measurement";
    monitor.setActive(false);
    probe.answer(u"a"_s, 70);
    EXPECT_EQ(milliseconds(idA), 70);
    clock.advance(60s);
    EXPECT_EQ(probe.callCount(), 1);

    probe.setAnswer(u"a"_s, 50);
    monitor.setActive(true);
    EXPECT_EQ(probe.callTimes(u"a"_s).last(), 65s) << "due now on activation";
    clock.advance(1s);
    monitor.setActive(true);
    clock.advance(8s);
    EXPECT_EQ(probe.callTimes(u"a"_s).size(), 2) << "a second activation changes nothing";
}

TEST_F(MonitorTest, MeasureAllMeasuresEveryNodeAtOnceAndCapsEachByTheBudget) {
    probe.holdAnswers(u"b"_s);
    probe.holdAnswers(u"c"_s);
    monitor.setActive(false);
    update(threeNodes);
    bool done = false;
    runAndMark(monitor.measureAll(2s), &done);
    EXPECT_EQ(probe.callCount(), 3);
    EXPECT_EQ(milliseconds(idA), 50);
    probe.answer(u"c"_s, 20);
    clock.advance(1999ms);
    EXPECT_FALSE(done);
    clock.advance(1ms);
    EXPECT_TRUE(done);
    probe.answer(u"b"_s, 20);
    EXPECT_EQ(QSet(monitor.samples().keyBegin(), monitor.samples().keyEnd()), (QSet<QUuid>{idA, idC}))
        << "a late answer is dropped";
}
