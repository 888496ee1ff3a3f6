#pragma once

#include "health/failover_candidate.hpp"
#include "health/node_ordering.hpp"
#include "profiles/profile.hpp"

#include <QList>

#include <optional>

namespace tessaron::FailoverPlanner {

struct Node {
    QUuid id;
    bool hasXHTTP = false;
};

// Every transport, in the order failover tries them on one node.
inline const QList<TessaronTransport> transports{TessaronTransport::tcp, TessaronTransport::xhttp};

// The nodes failover walks through: healthy ones fastest first, then those reported down or paused,
// fastest first as well.
QList<QUuid> orderedNodes(const QList<QUuid>& ids, const LatencyTable& latencies,
                          const NodeHealthTable& health, const QDateTime& now);

// Node-major: each node with each of the transports in order, xhttp only where the node has it.
QList<FailoverCandidate> candidates(const QList<Node>& nodes,
                                    const QList<TessaronTransport>& order = transports);

// The one after `current`, wrapping round; the first when `current` is not in the list; none for an empty
// list.
std::optional<FailoverCandidate> candidate(const FailoverCandidate& current,
                                           const QList<FailoverCandidate>& list);

// A start without an explicit transport uses xhttp only when this node last worked over it and still has it.
bool prefersXHTTP(const std::optional<FailoverCandidate>& lastGood, const TessaronProfile& profile);

} // namespace tessaron::FailoverPlanner
