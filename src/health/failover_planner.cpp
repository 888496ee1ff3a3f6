#include "health/failover_planner.hpp"

namespace tessaron::FailoverPlanner {

QList<QUuid> orderedNodes(const QList<QUuid>& ids, const LatencyTable& latencies,
                          const NodeHealthTable& health, const QDateTime& now) {
    const auto split = NodeHealthOrder::partition(ids, health, now);
    return FastestPick::ordered(split.kept, latencies) + FastestPick::ordered(split.demoted, latencies);
}

QList<FailoverCandidate> candidates(const QList<Node>& nodes, const QList<TessaronTransport>& order) {
    QList<FailoverCandidate> list;
    for (const auto& node : nodes) {
        for (const auto transport : order) {
            if (transport == TessaronTransport::xhttp && !node.hasXHTTP)
                continue;
            list.append({node.id, transport});
        }
    }
    return list;
}

std::optional<FailoverCandidate> candidate(const FailoverCandidate& current,
                                           const QList<FailoverCandidate>& list) {
    if (list.isEmpty())
        return std::nullopt;
    const auto position = list.indexOf(current);
    if (position < 0)
        return list.first();
    return list.at((position + 1) % list.size());
}

bool prefersXHTTP(const std::optional<FailoverCandidate>& lastGood, const TessaronProfile& profile) {
    return profile.xhttp && lastGood && lastGood->profileID == profile.id &&
           lastGood->transport == TessaronTransport::xhttp;
}

} // namespace tessaron::FailoverPlanner
