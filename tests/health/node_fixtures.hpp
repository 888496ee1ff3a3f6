#pragma once

#include "health/latency_sample.hpp"
#include "health/node_ordering.hpp"

#include <QDateTime>
#include <QUuid>

#include <initializer_list>
#include <utility>

namespace tessaron::testing {

// Named nodes A to F with readable ids, and small builders for the tables the rules read.
inline QUuid node(char name) {
    return QUuid::fromString(
        QStringLiteral("{00000000-0000-0000-0000-0000000000%1}").arg(int(name), 2, 16, QChar(u'0')));
}

inline QList<QUuid> nodes(const char* names) {
    QList<QUuid> ids;
    for (const char* name = names; *name; ++name)
        ids.append(node(*name));
    return ids;
}

inline QSet<QUuid> nodeSet(const char* names) {
    const auto ids = nodes(names);
    return {ids.cbegin(), ids.cend()};
}

inline QDateTime referenceNow() {
    return QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
}

inline LatencyTable latencies(std::initializer_list<std::pair<char, int>> entries,
                              const QDateTime& measuredAt = referenceNow()) {
    LatencyTable table;
    for (const auto& [name, milliseconds] : entries)
        table.insert(node(name), {milliseconds, measuredAt});
    return table;
}

struct HealthEntry {
    char name;
    bool up = true;
    int checkedSecondsAgo = 0;
    bool paused = false;
    std::optional<double> load = std::nullopt;
    bool busy = false;
};

inline HealthEntry loaded(char name, double load) {
    return {name, true, 0, false, load};
}

inline HealthEntry busy(char name) {
    return {name, true, 0, false, std::nullopt, true};
}

inline NodeHealthTable health(std::initializer_list<HealthEntry> entries,
                              const QDateTime& now = referenceNow()) {
    NodeHealthTable table;
    for (const auto& e : entries)
        table.insert(node(e.name),
                     {e.up, now.addSecs(-e.checkedSecondsAgo), e.paused, std::nullopt, e.load, e.busy});
    return table;
}

} // namespace tessaron::testing
