#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>

namespace tessaron {

// The account's data use this month, as the pairing service reports it with the roster.
struct TessaronDataUsage {
    enum class Level { normal, warning, exhausted };

    qint64 usedBytes = 0;
    qint64 capBytes = 0;
    QDateTime resetsAt;

    // Exhausted at or above the cap (a cap of 0 included); a warning from 80 % of a positive cap.
    Level level() const;

    // Throws JsonDecodingError.
    static TessaronDataUsage fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;

    friend bool operator==(const TessaronDataUsage&, const TessaronDataUsage&) = default;
};

} // namespace tessaron
