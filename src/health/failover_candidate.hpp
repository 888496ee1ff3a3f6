#pragma once

#include "profiles/transport.hpp"

#include <QJsonObject>
#include <QJsonValue>
#include <QUuid>

namespace tessaron {

// A node with the transport to reach it: the unit that failover moves between and that is remembered as
// the last working one.
struct FailoverCandidate {
    QUuid profileID;
    TessaronTransport transport = TessaronTransport::tcp;

    // {"profileID": upper-case UUID text, "transport": "tcp" or "xhttp"}. Decoding throws JsonDecodingError
    // for a missing key or a bad value.
    static FailoverCandidate fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const FailoverCandidate&, const FailoverCandidate&) = default;
};

} // namespace tessaron
