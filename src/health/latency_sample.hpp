#pragma once

#include <QDateTime>
#include <QHash>
#include <QUuid>

namespace tessaron {

// A node's smoothed TCP connect time and when the measurement that produced it was taken.
struct LatencySample {
    int milliseconds = 0;
    QDateTime measuredAt;

    bool operator==(const LatencySample&) const = default;
};

// The latest sample of every node that answered, by profile id.
using LatencyTable = QHash<QUuid, LatencySample>;

} // namespace tessaron
