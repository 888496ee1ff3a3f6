#include "health/failover_policy.hpp"

namespace tessaron {

namespace {

// Fastest with a load tie-break, falling back to the first of the list.
FailoverPolicy::Action switchAmong(const QList<QUuid>& available, const LatencyTable& latencies,
                                   const NodeHealthTable& health) {
    return FailoverPolicy::Action::switchTo(
        LoadAwarePick::pick(available, latencies, health, {}, available.first()));
}

} // namespace

bool FailoverPolicy::Event::countsAsFailure() const {
    switch (kind) {
    case Kind::connectFailed:
        return cause != TessaronFailoverCause::other;
    case Kind::blocked: {
        const auto threshold = untried ? blockedUntriedThreshold : blockedTriedThreshold;
        return seconds >= double(threshold.count());
    }
    case Kind::checkFailed:
        return untried;
    case Kind::recovered:
    case Kind::paused:
        break;
    }
    return false;
}

QString FailoverPolicy::Event::kindName() const {
    switch (kind) {
    case Kind::connectFailed:
        return QStringLiteral("connectFailed");
    case Kind::blocked:
        return QStringLiteral("blocked");
    case Kind::checkFailed:
        return QStringLiteral("checkFailed");
    case Kind::recovered:
        return QStringLiteral("recovered");
    case Kind::paused:
        break;
    }
    return QStringLiteral("paused");
}

FailoverPolicy::Action FailoverPolicy::handle(const Event& event, const QDateTime& now,
                                              const QList<QUuid>& candidates, const LatencyTable& latencies,
                                              const NodeHealthTable& health) {
    expire(now);
    switch (event.kind) {
    case Event::Kind::recovered:
        exclusions_.remove(event.id);
        windowStart_.reset();
        switchesInWindow_ = 0;
        return Action::none();
    case Event::Kind::paused:
        return leavePaused(event.id, now, candidates, latencies, health);
    case Event::Kind::connectFailed:
    case Event::Kind::blocked:
    case Event::Kind::checkFailed:
        break;
    }
    if (!event.countsAsFailure())
        return Action::none();
    return fail(event.id, now, candidates, latencies, health);
}

QSet<QUuid> FailoverPolicy::activeExclusions(const QDateTime& now) {
    expire(now);
    const auto ids = exclusions_.keys();
    return {ids.cbegin(), ids.cend()};
}

void FailoverPolicy::expire(const QDateTime& now) {
    exclusions_.removeIf([&now](const auto& entry) { return entry.value().until <= now; });
    if (windowStart_ && windowStart_->msecsTo(now) >= std::chrono::milliseconds(windowDuration).count()) {
        windowStart_.reset();
        switchesInWindow_ = 0;
    }
}

void FailoverPolicy::exclude(const QUuid& id, const QDateTime& now, ExclusionReason reason) {
    exclusions_.insert(id, {now.addSecs(exclusionDuration.count()), now, reason});
}

FailoverPolicy::Action FailoverPolicy::fail(const QUuid& id, const QDateTime& now,
                                            const QList<QUuid>& candidates, const LatencyTable& latencies,
                                            const NodeHealthTable& health) {
    exclude(id, now, ExclusionReason::other);
    QList<QUuid> available;
    for (const auto& candidate : candidates) {
        if (!exclusions_.contains(candidate))
            available.append(candidate);
    }
    if (available.isEmpty() || switchesInWindow_ >= maxSwitchesPerWindow)
        return Action::giveUp();
    if (!windowStart_)
        windowStart_ = now;
    ++switchesInWindow_;
    return switchAmong(available, latencies, health);
}

FailoverPolicy::Action FailoverPolicy::leavePaused(const QUuid& id, const QDateTime& now,
                                                   const QList<QUuid>& candidates,
                                                   const LatencyTable& latencies,
                                                   const NodeHealthTable& health) {
    exclude(id, now, ExclusionReason::paused);
    QList<QUuid> available;
    for (const auto& candidate : candidates) {
        const auto exclusion = exclusions_.constFind(candidate);
        // A node that failed earlier but answered a measurement since then deserves another chance.
        const bool measuredSince =
            exclusion != exclusions_.cend() && exclusion->reason == ExclusionReason::other &&
            latencies.contains(candidate) && latencies.value(candidate).measuredAt > exclusion->since;
        if (exclusion == exclusions_.cend() || measuredSince)
            available.append(candidate);
    }
    if (available.isEmpty())
        return Action::none();
    return switchAmong(available, latencies, health);
}

} // namespace tessaron
