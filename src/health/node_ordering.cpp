#include "health/node_ordering.hpp"

#include <algorithm>
#include <optional>

namespace tessaron {

namespace NodeHealthOrder {

bool isReportedDown(const NodeHealthTable& health, const QUuid& id, const QDateTime& now) {
    const auto entry = health.constFind(id);
    if (entry == health.cend() || entry->up)
        return false;
    return entry->checkedAt.msecsTo(now) < std::chrono::milliseconds(downReportLifetime).count();
}

Partition partition(const QList<QUuid>& ids, const NodeHealthTable& health, const QDateTime& now) {
    Partition result;
    for (const auto& id : ids) {
        const auto entry = health.constFind(id);
        const bool demoted = entry != health.cend() && (entry->paused || isReportedDown(health, id, now));
        (demoted ? result.demoted : result.kept).append(id);
    }
    return result;
}

} // namespace NodeHealthOrder

namespace FastestPick {

QList<QUuid> ordered(const QList<QUuid>& ids, const LatencyTable& latencies) {
    QList<QUuid> measured;
    QList<QUuid> unmeasured;
    for (const auto& id : ids)
        (latencies.contains(id) ? measured : unmeasured).append(id);
    std::stable_sort(measured.begin(), measured.end(),
                     [&latencies](const QUuid& a, const QUuid& b) { return isFaster(a, b, latencies); });
    return measured + unmeasured;
}

bool isFaster(const QUuid& id, const QUuid& than, const LatencyTable& latencies) {
    return latencies.value(id).milliseconds < latencies.value(than).milliseconds;
}

} // namespace FastestPick

namespace LoadAwarePick {

namespace {

struct Ranked {
    QUuid id;
    int milliseconds;
};

double loadOf(const NodeHealthTable& health, const QUuid& id) {
    const auto entry = health.constFind(id);
    return entry == health.cend() ? 0.0 : entry->load.value_or(0.0);
}

QList<QUuid> pool(const QList<QUuid>& candidates, const LatencyTable& latencies,
                  const NodeHealthTable& health, const QSet<QUuid>& excluding) {
    QList<QUuid> measured;
    QList<QUuid> free;
    for (const auto& id : candidates) {
        if (excluding.contains(id) || !latencies.contains(id))
            continue;
        measured.append(id);
        if (!health.value(id).busy)
            free.append(id);
    }
    // When every measured node is busy, a busy node is still better than none.
    return free.isEmpty() ? measured : free;
}

} // namespace

QUuid pick(const QList<QUuid>& candidates, const LatencyTable& latencies, const NodeHealthTable& health,
           const QSet<QUuid>& excluding, const QUuid& fallback) {
    std::optional<Ranked> best;
    std::optional<Ranked> second;
    for (const auto& id : pool(candidates, latencies, health, excluding)) {
        const Ranked node{id, latencies.value(id).milliseconds};
        // Ties never replace: the earlier node keeps its place.
        if (!best) {
            best = node;
        } else if (node.milliseconds < best->milliseconds) {
            second = best;
            best = node;
        } else if (!second || node.milliseconds < second->milliseconds) {
            second = node;
        }
    }
    if (!best)
        return fallback;
    if (!second || second->milliseconds - best->milliseconds > loadTieBreakMilliseconds)
        return best->id;
    return loadOf(health, second->id) < loadOf(health, best->id) ? second->id : best->id;
}

} // namespace LoadAwarePick

} // namespace tessaron
