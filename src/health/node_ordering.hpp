#pragma once

#include "health/latency_sample.hpp"
#include "profiles/node_records.hpp"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>

#include <chrono>

namespace tessaron {

// The roster's health of every node it reported, by profile id.
using NodeHealthTable = QHash<QUuid, TessaronNodeHealth>;

// Stateless ordering of nodes, shared by failover and the automatic choice of node. Every list keeps the
// caller's order wherever the rule does not decide.

namespace NodeHealthOrder {

// A down report counts this long after the service's check, then the node gets another chance.
constexpr std::chrono::seconds downReportLifetime{600};

// True while the roster's latest report of the node says down (also for a check time in the future).
bool isReportedDown(const NodeHealthTable& health, const QUuid& id, const QDateTime& now);

struct Partition {
    QList<QUuid> kept;
    // Reported down or paused.
    QList<QUuid> demoted;

    friend bool operator==(const Partition&, const Partition&) = default;
};

Partition partition(const QList<QUuid>& ids, const NodeHealthTable& health, const QDateTime& now);

} // namespace NodeHealthOrder

namespace FastestPick {

// Measured nodes by milliseconds (a stable sort), then the unmeasured in their order.
QList<QUuid> ordered(const QList<QUuid>& ids, const LatencyTable& latencies);
// A node without a sample counts as 0 ms here.
bool isFaster(const QUuid& id, const QUuid& than, const LatencyTable& latencies);

} // namespace FastestPick

namespace LoadAwarePick {

// When the runner-up is at most this much slower than the fastest, the less loaded of the two wins.
constexpr int loadTieBreakMilliseconds = 30;

// The fastest measured candidate that is neither excluded nor busy (busy ones only when all measured are);
// the fallback when no candidate qualifies, even if the fallback itself is excluded.
QUuid pick(const QList<QUuid>& candidates, const LatencyTable& latencies, const NodeHealthTable& health,
           const QSet<QUuid>& excluding, const QUuid& fallback);

} // namespace LoadAwarePick

} // namespace tessaron
