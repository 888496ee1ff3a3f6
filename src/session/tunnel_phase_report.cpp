#include "session/tunnel_phase_report.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/record_reader.hpp"

#include <QJsonDocument>

#include <cmath>

namespace tessaron {

namespace {
const QString phaseKey = QStringLiteral("phase");
const QString sinceKey = QStringLiteral("since");
const QString attemptsKey = QStringLiteral("attempts");
const QString lastErrorKey = QStringLiteral("lastError");
constexpr double maximumSeconds = 1e12;
} // namespace

TessaronTunnelPhaseReport TessaronTunnelPhaseReport::fromJSON(const QJsonValue& value) {
    const RecordReader reader(value);
    const double since = reader.number(sinceKey);
    // Far beyond any real date: a number this size would overflow the conversion to milliseconds.
    if (!(std::abs(since) < maximumSeconds))
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, sinceKey);
    return {
        .phase = reader.string(phaseKey),
        .since = QDateTime::fromMSecsSinceEpoch(std::llround(since * 1000), Qt::UTC),
        .attempts = reader.integer(attemptsKey),
        .lastError = reader.optionalString(lastErrorKey),
    };
}

std::optional<TessaronTunnelPhaseReport> TessaronTunnelPhaseReport::decode(const QByteArray& data) {
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    try {
        return fromJSON(document.object());
    } catch (const TessaronError&) {
        return std::nullopt;
    }
}

bool TessaronTunnelPhaseReport::isBlocked() const {
    return phase == TessaronTunnelPhaseContract::blocked;
}

} // namespace tessaron
