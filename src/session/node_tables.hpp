#pragma once

#include "profiles/node_records.hpp"
#include "profiles/pairing_replies.hpp"

#include <QHash>
#include <QList>
#include <QUuid>

namespace tessaron {

// The health and location of every known node, keyed by profile id.
struct NodeTables {
    QHash<QUuid, TessaronNodeHealth> health;
    QHash<QUuid, TessaronNodeGeo> geo;

    bool operator==(const NodeTables&) const = default;
};

// The tables after a roster reply for one roster source: the reply speaks for the source, the profiles
// the source manages and every profile it lists, so those nodes take exactly the reply's entries (a node
// the reply leaves out loses its own), while the nodes of other sources keep theirs.
NodeTables adoptRosterNodeTables(const NodeTables& current, const TessaronRosterResponse& reply,
                                 const QUuid& sourceID, const QList<QUuid>& managedIDs);

} // namespace tessaron
