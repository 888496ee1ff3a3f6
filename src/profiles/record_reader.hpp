#pragma once

#include "profiles/decoding_error.hpp"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace tessaron {

// Reads the fields of one JSON object the way the service records are coded: a required key must be
// present, not null and of the right type; null reads as absent for an optional one; unknown keys are
// ignored. Every failure is a JsonDecodingError naming the key.
class RecordReader {
public:
    // Throws typeMismatch when the value is not an object.
    explicit RecordReader(const QJsonValue& value);

    bool boolean(const QString& key) const;
    double number(const QString& key) const;
    std::optional<double> optionalNumber(const QString& key) const;
    qint64 integer(const QString& key) const;
    QString string(const QString& key) const;
    std::optional<QString> optionalString(const QString& key) const;
    QDateTime date(const QString& key) const;
    std::optional<QDateTime> optionalDate(const QString& key) const;
    QJsonArray array(const QString& key) const;
    std::optional<QJsonArray> optionalArray(const QString& key) const;
    std::optional<QJsonObject> optionalObject(const QString& key) const;

    // The raw value of a required key, for nested records.
    QJsonValue required(const QString& key) const;
    // The raw value of an optional key; none when it is absent or null.
    std::optional<QJsonValue> optional(const QString& key) const;

    [[noreturn]] static void fail(JsonDecodingErrorKind kind, const QString& key,
                                  const QString& description = {});

private:
    QJsonObject object_;
};

} // namespace tessaron
