#pragma once

#include <QString>
#include <QUuid>

namespace tessaron {

// A node to measure: its profile id and the server and port of its profile.
struct LatencyTarget {
    QUuid id;
    QString host;
    int port = 0;

    bool operator==(const LatencyTarget&) const = default;
};

} // namespace tessaron
