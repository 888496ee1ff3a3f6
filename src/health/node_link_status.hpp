#pragma once

#include "health/latency_sample.hpp"
#include "health/latency_tier.hpp"
#include "health/node_ordering.hpp"

#include <QDateTime>
#include <QUuid>

#include <optional>

namespace tessaron {

// The state of a node as the node list, its rows and the connection hero show it.
enum class NodeLinkStatus { fast, online, offline, busy, checking, paused };

// The rule itself: paused, busy, down, then no figure (checking), then the tier (excellent and good are
// fast).
NodeLinkStatus deriveNodeLinkStatus(const std::optional<LatencySample>& sample,
                                    std::optional<LatencyTier> tier, bool isDown, bool isPaused, bool isBusy);

// What the roster says outranks what the latency says: paused, then busy, then a live down report; a node
// without a figure is still being checked; below 120 ms it is fast.
NodeLinkStatus nodeLinkStatus(const QUuid& id, const LatencyTable& latencies, const NodeHealthTable& health,
                              const QDateTime& now);

} // namespace tessaron
