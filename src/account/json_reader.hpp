#pragma once

#include "platform/tessaron_error.hpp"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <type_traits>

namespace tessaron {

enum class JsonDecodingErrorKind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

// A service reply that does not have the shape its record needs. Whoever decodes the reply turns this into
// its own error; other errors thrown while decoding (a profile's validation) are not of this type.
class JsonDecodingError final : public EnumError<JsonDecodingErrorKind> {
public:
    JsonDecodingError(JsonDecodingErrorKind kind, QString path, QString description);

    QString domain() const override { return QStringLiteral("JsonDecodingError"); }
    // Where in the reply the decode failed, such as "account.grants[1].status".
    const QString& path() const { return path_; }
    const QString& description() const { return description_; }

private:
    QString path_;
    QString description_;
};

// The whole-number value of a JSON number (3 and 3.0 alike); none for fractions, other types or numbers
// outside the 64-bit range.
std::optional<qint64> exactInteger(const QJsonValue& value);

// The top-level object of a reply body.
QJsonObject parseJsonObject(const QByteArray& bytes);

// Reads the fields of one JSON object, naming the failing key in the error. Absent and null count as the
// same thing everywhere: a required field fails on both, an optional field gives none on both.
class JsonObjectReader {
public:
    explicit JsonObjectReader(QJsonObject object, QString path = {});

    QString requiredString(const QString& key) const;
    std::optional<QString> optionalString(const QString& key) const;
    bool requiredBool(const QString& key) const;
    // Absent or null gives `whenAbsent`.
    bool optionalBool(const QString& key, bool whenAbsent) const;
    qint64 requiredInteger(const QString& key) const;
    QJsonObject requiredObject(const QString& key) const;
    std::optional<QJsonArray> optionalArray(const QString& key) const;
    // An optional array of objects, each decoded by `decode(object, path)`; one bad element fails all.
    template <typename Decode>
    auto optionalObjectArray(const QString& key, Decode decode) const
        -> std::optional<QList<std::invoke_result_t<Decode, QJsonObject, QString>>>;
    QDateTime requiredDate(const QString& key) const;
    // A present value that is no internet date-time fails, as an absent required date does.
    std::optional<QDateTime> optionalDate(const QString& key) const;

    QJsonValue value(const QString& key) const { return object_.value(key); }
    QString pathOf(const QString& key) const;
    static QString pathOf(const QString& arrayPath, qsizetype index);

private:
    // The value of a key that must be there; absent or null fails.
    QJsonValue present(const QString& key) const;
    [[noreturn]] void failType(const QString& key, const char* expected) const;
    QJsonObject objectAt(const QJsonArray& array, const QString& key, qsizetype index) const;

    QJsonObject object_;
    QString path_;
};

template <typename Decode>
auto JsonObjectReader::optionalObjectArray(const QString& key, Decode decode) const
    -> std::optional<QList<std::invoke_result_t<Decode, QJsonObject, QString>>> {
    const auto array = optionalArray(key);
    if (!array)
        return std::nullopt;
    QList<std::invoke_result_t<Decode, QJsonObject, QString>> records;
    for (qsizetype index = 0; index < array->size(); ++index)
        records.append(decode(objectAt(*array, key, index), pathOf(pathOf(key), index)));
    return records;
}

} // namespace tessaron
