#pragma once

#include "health/latency_sample.hpp"
#include "health/latency_tier.hpp"
#include "health/node_ordering.hpp"

#include <QDateTime>
#include <QUuid>

#include <optional>

namespace tessaron {

// The state of a node as the node list, its rows and the connection hero show it. A class around the
// cases, so that the rule reads as the status's own: `NodeLinkStatus::derive(…)`.
class NodeLinkStatus {
public:
    enum Value { fast, online, offline, busy, checking, paused };

    constexpr NodeLinkStatus(Value value)
        : value_(value) {}
    constexpr operator Value() const { return value_; }

    // The rule itself: paused, busy, down, then no figure (checking), then the tier (excellent and good are
    // fast).
    static NodeLinkStatus derive(const std::optional<LatencySample>& sample, std::optional<LatencyTier> tier,
                                 bool isDown, bool isPaused, bool isBusy);

private:
    Value value_;
};

// What the roster says outranks what the latency says: paused, then busy, then a live down report; a node
// without a figure is still being checked; below 120 ms it is fast.
NodeLinkStatus nodeLinkStatus(const QUuid& id, const LatencyTable& latencies, const NodeHealthTable& health,
                              const QDateTime& now);

} // namespace tessaron
