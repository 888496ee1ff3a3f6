#include "profiles/data_usage.hpp"

#include "profiles/json_values.hpp"
#include "profiles/record_reader.hpp"

namespace tessaron {

TessaronDataUsage::Level TessaronDataUsage::level() const {
    constexpr double warningFraction = 0.8;
    if (usedBytes >= capBytes)
        return Level::exhausted;
    if (capBytes < 1)
        return Level::normal;
    // A negative use (a service fault) falls below the threshold too.
    const double fraction = static_cast<double>(usedBytes) / static_cast<double>(capBytes);
    return fraction < warningFraction ? Level::normal : Level::warning;
}

TessaronDataUsage TessaronDataUsage::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {
        .usedBytes = fields.integer(QStringLiteral("usedBytes")),
        .capBytes = fields.integer(QStringLiteral("capBytes")),
        .resetsAt = fields.date(QStringLiteral("resetsAt")),
    };
}

QJsonObject TessaronDataUsage::toJSON() const {
    return {
        {QStringLiteral("usedBytes"), usedBytes},
        {QStringLiteral("capBytes"), capBytes},
        {QStringLiteral("resetsAt"), dateText(resetsAt)},
    };
}

} // namespace tessaron
