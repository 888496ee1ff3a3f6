#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace tessaron {

// Reads the internet date-time form the account service writes ("2026-03-05T14:30:00Z",
// "2026-03-05T15:30:00.250+01:00"): full date, "T", full time, and "Z" or an offset with a colon. Fractional
// seconds are optional; anything else (a date alone, a missing zone, a space for the "T") is no date.
std::optional<QDateTime> parseInternetDateTime(const QString& text);

// The same form in UTC, with milliseconds only when the instant has them, so it reads back unchanged.
QString formatInternetDateTime(const QDateTime& instant);

} // namespace tessaron
