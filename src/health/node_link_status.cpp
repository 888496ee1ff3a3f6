#include "health/node_link_status.hpp"

#include "health/latency_tier.hpp"

namespace tessaron {

NodeLinkStatus nodeLinkStatus(const QUuid& id, const LatencyTable& latencies, const NodeHealthTable& health,
                              const QDateTime& now) {
    const auto entry = health.value(id);
    if (entry.paused)
        return NodeLinkStatus::paused;
    if (entry.busy)
        return NodeLinkStatus::busy;
    if (NodeHealthOrder::isReportedDown(health, id, now))
        return NodeLinkStatus::offline;
    const auto sample = latencies.constFind(id);
    if (sample == latencies.cend())
        return NodeLinkStatus::checking;
    switch (latencyTier(sample->milliseconds)) {
    case LatencyTier::excellent:
    case LatencyTier::good:
        return NodeLinkStatus::fast;
    case LatencyTier::fair:
    case LatencyTier::poor:
        break;
    }
    return NodeLinkStatus::online;
}

} // namespace tessaron
