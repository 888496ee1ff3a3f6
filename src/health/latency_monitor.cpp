#include "health/latency_monitor.hpp"

#include "health/bounded_wait.hpp"
#include "health/latency_smoother.hpp"
#include "platform/one_shot.hpp"

#include <algorithm>

namespace tessaron {

struct LatencyMonitor::Round {
    qsizetype pending = 0;
    OneShot<bool> done;
};

LatencyMonitor::LatencyMonitor(LatencyProbe& probe, Clock& clock, QObject* parent)
    : QObject(parent)
    , probe_(probe)
    , clock_(clock) {}

void LatencyMonitor::update(QList<LatencyTarget> targets, std::optional<QUuid> activeID,
                            Clock::Duration activeInterval, Clock::Duration othersInterval) {
    activeInterval_ = std::max(activeInterval, minimumInterval);
    othersInterval_ = std::max(othersInterval, minimumInterval);
    if (targets.isEmpty()) {
        stop();
        return;
    }
    const bool sameTargets = targets == targets_;
    const bool sameActive = activeID == activeID_;
    activeID_ = activeID;
    if (sameTargets && sameActive && loop_.isRunning())
        return;
    if (!sameTargets) {
        auto kept = samples_;
        kept.removeIf([&targets](const auto& entry) {
            return std::none_of(targets.cbegin(), targets.cend(),
                                [&entry](const LatencyTarget& target) { return target.id == entry.key(); });
        });
        setSamples(std::move(kept));
        targets_ = std::move(targets);
    }
    makeEveryTargetDue();
    startLoopUnlessRunning();
}

void LatencyMonitor::setActive(bool active) {
    if (active == isActive_)
        return;
    isActive_ = active;
    if (active && !targets_.isEmpty()) {
        makeEveryTargetDue();
        startLoopUnlessRunning();
    }
}

QCoro::Task<> LatencyMonitor::measureAll(Clock::Duration budget) {
    return measureRound(QPointer(this), targets_, &clock_, &probe_, budget);
}

QCoro::Task<std::optional<int>> LatencyMonitor::measureCapped(Clock* clock, LatencyProbe* probe, QString host,
                                                              int port, Clock::Duration budget) {
    auto result = std::make_shared<std::optional<int>>();
    TessaronBoundedWait::Work work = [probe, host, port, result]() -> QCoro::Task<> {
        *result = co_await probe->measure(host, port);
    };
    const auto outcome = co_await TessaronBoundedWait(*clock).run(budget, std::move(work));
    if (outcome == TessaronBoundedWait::Outcome::timedOut)
        co_return std::nullopt;
    co_return *result;
}

QCoro::Task<> LatencyMonitor::probeLoop(QPointer<LatencyMonitor> self, CancellationToken cancellation) {
    while (self && !cancellation.isCancelled()) {
        if (!self->isActive_ || self->targets_.isEmpty())
            co_return;
        Clock* clock = &self->clock_;
        if (const auto target = self->nextDueTarget()) {
            const auto milliseconds = co_await self->probe_.measure(target->host, target->port);
            if (!self || cancellation.isCancelled())
                co_return;
            self->record(*target, milliseconds);
            self->scheduleNext(*target);
        }
        co_await clock->sleep(tick, cancellation);
    }
}

QCoro::Task<> LatencyMonitor::measureRound(QPointer<LatencyMonitor> self, QList<LatencyTarget> targets,
                                           Clock* clock, LatencyProbe* probe, Clock::Duration budget) {
    if (targets.isEmpty())
        co_return;
    auto round = std::make_shared<Round>();
    round->pending = targets.size();
    for (const auto& target : targets)
        measureInRound(self, target, clock, probe, budget, round);
    co_await round->done;
}

QCoro::Task<> LatencyMonitor::measureInRound(QPointer<LatencyMonitor> self, LatencyTarget target,
                                             Clock* clock, LatencyProbe* probe, Clock::Duration budget,
                                             std::shared_ptr<Round> round) {
    const auto milliseconds = co_await measureCapped(clock, probe, target.host, target.port, budget);
    if (self)
        self->record(target, milliseconds);
    if (--round->pending == 0)
        round->done.resume(true);
}

void LatencyMonitor::stop() {
    loop_.cancel();
    targets_.clear();
    activeID_.reset();
    nextDue_.clear();
    setSamples({});
}

void LatencyMonitor::makeEveryTargetDue() {
    const auto now = clock_.monotonic();
    nextDue_.clear();
    for (const auto& target : std::as_const(targets_))
        nextDue_.insert(target.id, now);
}

void LatencyMonitor::startLoopUnlessRunning() {
    if (loop_.isRunning())
        return;
    loop_.start(
        [self = QPointer(this)](CancellationToken cancellation) { return probeLoop(self, cancellation); });
}

std::optional<LatencyTarget> LatencyMonitor::nextDueTarget() const {
    const auto now = clock_.monotonic();
    std::optional<LatencyTarget> earliest;
    Clock::Duration earliestDue{};
    for (const auto& target : targets_) {
        const auto due = nextDue_.value(target.id, now);
        if (due <= now && (!earliest || due < earliestDue)) {
            earliest = target;
            earliestDue = due;
        }
    }
    return earliest;
}

Clock::Duration LatencyMonitor::intervalFor(const QUuid& id) const {
    return activeID_ == id ? activeInterval_ : othersInterval_;
}

void LatencyMonitor::record(const LatencyTarget& target, std::optional<int> milliseconds) {
    // A node removed or moved while it was being measured must not get a figure it did not earn.
    if (!targets_.contains(target))
        return;
    auto updated = samples_;
    if (milliseconds) {
        const auto previous = samples_.contains(target.id)
                                  ? std::optional(samples_.value(target.id).milliseconds)
                                  : std::nullopt;
        updated.insert(target.id, {LatencySmoother::smooth(previous, *milliseconds), clock_.now()});
    } else {
        updated.remove(target.id);
    }
    setSamples(std::move(updated));
}

void LatencyMonitor::scheduleNext(const LatencyTarget& target) {
    if (targets_.contains(target))
        nextDue_.insert(target.id, clock_.monotonic() + intervalFor(target.id));
}

void LatencyMonitor::setSamples(LatencyTable samples) {
    if (samples == samples_)
        return;
    samples_ = std::move(samples);
    Q_EMIT samplesChanged(samples_);
}

} // namespace tessaron
