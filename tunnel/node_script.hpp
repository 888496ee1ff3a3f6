#pragma once

#include <QJsonObject>

#include <chrono>
#include <optional>

namespace tessaron {

// What a test makes the tunnel do for one node instead of (or after) reaching it. Scripts arrive over the
// tunnel's socket, keyed by the server address of the profile:
//   {"stayConnecting": true}   reports connecting and gets no further
//   {"failWith": 12}           fails with that code of the tunnel's domain without reaching the node
//   {"blockedAfter": 5}        once connected, the phase report says "blocked" from 5 s on (at most a day)
struct NodeScript {
    bool stayConnecting = false;
    std::optional<qint64> failWith;
    std::optional<std::chrono::milliseconds> blockedAfter;

    // None for anything but an object made of the fields above.
    static std::optional<NodeScript> fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

} // namespace tessaron
