#include "health/failover_candidate.hpp"

#include "profiles/json_values.hpp"
#include "profiles/record_reader.hpp"

namespace tessaron {

namespace {
const QString profileIDKey = QStringLiteral("profileID");
const QString transportKey = QStringLiteral("transport");
} // namespace

FailoverCandidate FailoverCandidate::fromJSON(const QJsonValue& value) {
    const RecordReader reader(value);
    const auto id = uuidFromText(reader.string(profileIDKey));
    if (!id)
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, profileIDKey);
    const auto transport = transportFromRawValue(reader.string(transportKey));
    if (!transport)
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, transportKey);
    return {*id, *transport};
}

QJsonObject FailoverCandidate::toJSON() const {
    return {{profileIDKey, uuidText(profileID)}, {transportKey, rawValue(transport)}};
}

} // namespace tessaron
