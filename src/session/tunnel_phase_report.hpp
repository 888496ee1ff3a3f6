#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace tessaron {

// The tunnel's answer to the "phase" message: its own view of the link. Only whether it says "blocked"
// drives the application; the other fields are the tunnel's to define.
struct TessaronTunnelPhaseReport {
    QString phase;
    // Sent as seconds since 1970, fractions allowed.
    QDateTime since;
    qint64 attempts = 0;
    std::optional<QString> lastError;

    // Throws JsonDecodingError for a missing required key or a value of the wrong type.
    static TessaronTunnelPhaseReport fromJSON(const QJsonValue& value);
    // None for bytes that are no such report.
    static std::optional<TessaronTunnelPhaseReport> decode(const QByteArray& data);

    bool isBlocked() const;

    bool operator==(const TessaronTunnelPhaseReport&) const = default;
};

} // namespace tessaron
