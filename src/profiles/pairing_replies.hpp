#pragma once

#include "profiles/data_usage.hpp"
#include "profiles/node_records.hpp"
#include "profiles/profile.hpp"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QUuid>

#include <optional>

namespace tessaron {

// The replies of the pairing service. Decoding throws JsonDecodingError for a reply that is not the
// expected JSON, and TessaronProfileError when one of its profiles fails validation: one bad profile fails
// the whole reply.

// The reply to a roster pull: the account's profiles with what the service knows about their nodes.
struct TessaronRosterResponse {
    QList<TessaronProfile> profiles;
    // Keyed by profile id; an absent table reads as empty.
    QHash<QUuid, TessaronNodeHealth> health;
    QHash<QUuid, TessaronNodeGeo> geo;
    std::optional<TessaronDataUsage> usage;
    std::optional<TessaronClientGeo> clientGeo;

    static TessaronRosterResponse decode(const QByteArray& body);
    static TessaronRosterResponse fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const TessaronRosterResponse&, const TessaronRosterResponse&) = default;
};

// The reply to a redeemed invitation: its profile, and the other profiles the invitation grants.
struct TessaronRedeemResult {
    TessaronProfile profile;
    std::optional<QList<TessaronProfile>> profiles;

    static TessaronRedeemResult decode(const QByteArray& body);
    static TessaronRedeemResult fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const TessaronRedeemResult&, const TessaronRedeemResult&) = default;
};

} // namespace tessaron
