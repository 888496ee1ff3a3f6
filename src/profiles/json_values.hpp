#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaron {

// How the records of this subsystem read and write the JSON values that Qt leaves open to interpretation.

// A JSON number with no fractional part that fits 64 bits ("3" and "3.0" alike); none for anything else.
std::optional<qint64> integralValue(const QJsonValue& value);

// Only the bare 36-character form, in any letter case: braces and surrounding text are refused.
std::optional<QUuid> uuidFromText(QStringView text);
// The standard upper-case form.
QString uuidText(const QUuid& uuid);

// An ISO 8601 internet date-time, with or without fractional seconds. The time zone must be written:
// a date without one would silently mean the reader's local time.
std::optional<QDateTime> dateFromText(const QString& text);
// Always UTC with milliseconds, so a written date reads back to the same instant and the same text.
QString dateText(const QDateTime& date);

} // namespace tessaron
