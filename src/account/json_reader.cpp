#include "account/json_reader.hpp"

#include "account/iso8601_date.hpp"

#include <QJsonDocument>

#include <cmath>

namespace tessaron {

JsonDecodingError::JsonDecodingError(JsonDecodingErrorKind kind, QString path, QString description)
    : EnumError(kind)
    , path_(std::move(path))
    , description_(std::move(description)) {}

std::optional<qint64> exactInteger(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // 2^63 itself is out of range; every double below it in magnitude converts exactly when whole.
    if (number != std::floor(number) || std::fabs(number) >= 9223372036854775808.0)
        return std::nullopt;
    return value.toInteger();
}

QJsonObject parseJsonObject(const QByteArray& bytes) {
    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw JsonDecodingError(JsonDecodingErrorKind::dataCorrupted, {},
                                QStringLiteral("The given data was not valid JSON."));
    if (!document.isObject())
        throw JsonDecodingError(JsonDecodingErrorKind::typeMismatch, {},
                                QStringLiteral("Expected an object."));
    return document.object();
}

JsonObjectReader::JsonObjectReader(QJsonObject object, QString path)
    : object_(std::move(object))
    , path_(std::move(path)) {}

QString JsonObjectReader::pathOf(const QString& key) const {
    return path_.isEmpty() ? key : path_ + u'.' + key;
}

QString JsonObjectReader::pathOf(const QString& arrayPath, qsizetype index) {
    return QStringLiteral("%1[%2]").arg(arrayPath).arg(index);
}

QJsonValue JsonObjectReader::present(const QString& key) const {
    const auto found = object_.find(key);
    if (found == object_.end())
        throw JsonDecodingError(JsonDecodingErrorKind::keyNotFound, pathOf(key),
                                QStringLiteral("No value for the key."));
    if (found->isNull())
        throw JsonDecodingError(JsonDecodingErrorKind::valueNotFound, pathOf(key),
                                QStringLiteral("Found null instead of a value."));
    return *found;
}

void JsonObjectReader::failType(const QString& key, const char* expected) const {
    throw JsonDecodingError(JsonDecodingErrorKind::typeMismatch, pathOf(key),
                            QStringLiteral("Expected %1.").arg(QLatin1StringView(expected)));
}

QJsonObject JsonObjectReader::objectAt(const QJsonArray& array, const QString& key, qsizetype index) const {
    if (!array[index].isObject())
        throw JsonDecodingError(JsonDecodingErrorKind::typeMismatch, pathOf(pathOf(key), index),
                                QStringLiteral("Expected an object."));
    return array[index].toObject();
}

QString JsonObjectReader::requiredString(const QString& key) const {
    const auto value = present(key);
    if (!value.isString())
        failType(key, "a string");
    return value.toString();
}

std::optional<QString> JsonObjectReader::optionalString(const QString& key) const {
    const auto value = object_.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        failType(key, "a string");
    return value.toString();
}

bool JsonObjectReader::requiredBool(const QString& key) const {
    const auto value = present(key);
    if (!value.isBool())
        failType(key, "a Boolean");
    return value.toBool();
}

bool JsonObjectReader::optionalBool(const QString& key, bool whenAbsent) const {
    const auto value = object_.value(key);
    if (value.isUndefined() || value.isNull())
        return whenAbsent;
    if (!value.isBool())
        failType(key, "a Boolean");
    return value.toBool();
}

qint64 JsonObjectReader::requiredInteger(const QString& key) const {
    const auto integer = exactInteger(present(key));
    if (!integer)
        failType(key, "a whole number");
    return *integer;
}

QJsonObject JsonObjectReader::requiredObject(const QString& key) const {
    const auto value = present(key);
    if (!value.isObject())
        failType(key, "an object");
    return value.toObject();
}

std::optional<QJsonArray> JsonObjectReader::optionalArray(const QString& key) const {
    const auto value = object_.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isArray())
        failType(key, "an array");
    return value.toArray();
}

QDateTime JsonObjectReader::requiredDate(const QString& key) const {
    const auto date = parseInternetDateTime(requiredString(key));
    if (!date)
        throw JsonDecodingError(JsonDecodingErrorKind::dataCorrupted, pathOf(key),
                                QStringLiteral("Not an ISO8601 date."));
    return *date;
}

std::optional<QDateTime> JsonObjectReader::optionalDate(const QString& key) const {
    if (!optionalString(key))
        return std::nullopt;
    return requiredDate(key);
}

} // namespace tessaron
