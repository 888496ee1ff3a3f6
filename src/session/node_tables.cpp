#include "session/node_tables.hpp"

#include <QSet>

namespace tessaron {

namespace {

template <typename Value>
QHash<QUuid, Value> replaceCovered(QHash<QUuid, Value> table, const QSet<QUuid>& covered,
                                   const QHash<QUuid, Value>& reply) {
    table.removeIf([&covered](const auto& entry) { return covered.contains(entry.key()); });
    table.insert(reply);
    return table;
}

} // namespace

NodeTables adoptRosterNodeTables(const NodeTables& current, const TessaronRosterResponse& reply,
                                 const QUuid& sourceID, const QList<QUuid>& managedIDs) {
    QSet<QUuid> covered{sourceID};
    for (const auto& id : managedIDs)
        covered.insert(id);
    for (const auto& profile : reply.profiles)
        covered.insert(profile.id);
    return {replaceCovered(current.health, covered, reply.health),
            replaceCovered(current.geo, covered, reply.geo)};
}

} // namespace tessaron
