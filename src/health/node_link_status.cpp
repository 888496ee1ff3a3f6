#include "health/node_link_status.hpp"

#include "health/latency_tier.hpp"

namespace tessaron {

NodeLinkStatus NodeLinkStatus::derive(const std::optional<LatencySample>& sample,
                                      std::optional<LatencyTier> tier, bool isDown, bool isPaused,
                                      bool isBusy) {
    if (isPaused)
        return NodeLinkStatus::paused;
    if (isBusy)
        return NodeLinkStatus::busy;
    if (isDown)
        return NodeLinkStatus::offline;
    if (!sample || !tier)
        return NodeLinkStatus::checking;
    switch (*tier) {
    case LatencyTier::excellent:
    case LatencyTier::good:
        return NodeLinkStatus::fast;
    case LatencyTier::fair:
    case LatencyTier::poor:
        break;
    }
    return NodeLinkStatus::online;
}

NodeLinkStatus nodeLinkStatus(const QUuid& id, const LatencyTable& latencies, const NodeHealthTable& health,
                              const QDateTime& now) {
    const auto entry = health.value(id);
    const auto found = latencies.constFind(id);
    const auto sample = found == latencies.cend() ? std::nullopt : std::optional(*found);
    const auto tier = sample ? std::optional(latencyTier(sample->milliseconds)) : std::nullopt;
    return NodeLinkStatus::derive(sample, tier, NodeHealthOrder::isReportedDown(health, id, now),
                                  entry.paused, entry.busy);
}

} // namespace tessaron
