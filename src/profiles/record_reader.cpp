#include "profiles/record_reader.hpp"

#include "profiles/json_values.hpp"

namespace tessaron {

RecordReader::RecordReader(const QJsonValue& value) {
    if (!value.isObject())
        fail(JsonDecodingErrorKind::typeMismatch, {});
    object_ = value.toObject();
}

void RecordReader::fail(JsonDecodingErrorKind kind, const QString& key, const QString& description) {
    throw JsonDecodingError(kind, key, description);
}

QJsonValue RecordReader::required(const QString& key) const {
    const auto found = object_.constFind(key);
    if (found == object_.constEnd())
        fail(JsonDecodingErrorKind::keyNotFound, key);
    if (found->isNull())
        fail(JsonDecodingErrorKind::valueNotFound, key);
    return *found;
}

std::optional<QJsonValue> RecordReader::optional(const QString& key) const {
    const QJsonValue value = object_.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value;
}

bool RecordReader::boolean(const QString& key) const {
    const QJsonValue value = required(key);
    if (!value.isBool())
        fail(JsonDecodingErrorKind::typeMismatch, key);
    return value.toBool();
}

namespace {

double numberOf(const QJsonValue& value, const QString& key) {
    if (!value.isDouble())
        RecordReader::fail(JsonDecodingErrorKind::typeMismatch, key);
    return value.toDouble();
}

QString stringOf(const QJsonValue& value, const QString& key) {
    if (!value.isString())
        RecordReader::fail(JsonDecodingErrorKind::typeMismatch, key);
    return value.toString();
}

QDateTime dateOf(const QJsonValue& value, const QString& key) {
    const auto date = dateFromText(stringOf(value, key));
    if (!date)
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, key, QStringLiteral("Not an ISO8601 date."));
    return *date;
}

} // namespace

double RecordReader::number(const QString& key) const {
    return numberOf(required(key), key);
}

std::optional<double> RecordReader::optionalNumber(const QString& key) const {
    const auto value = optional(key);
    return value ? std::optional(numberOf(*value, key)) : std::nullopt;
}

qint64 RecordReader::integer(const QString& key) const {
    const QJsonValue value = required(key);
    if (!value.isDouble())
        fail(JsonDecodingErrorKind::typeMismatch, key);
    const auto integral = integralValue(value);
    if (!integral)
        fail(JsonDecodingErrorKind::dataCorrupted, key);
    return *integral;
}

QString RecordReader::string(const QString& key) const {
    return stringOf(required(key), key);
}

std::optional<QString> RecordReader::optionalString(const QString& key) const {
    const auto value = optional(key);
    return value ? std::optional(stringOf(*value, key)) : std::nullopt;
}

QDateTime RecordReader::date(const QString& key) const {
    return dateOf(required(key), key);
}

std::optional<QDateTime> RecordReader::optionalDate(const QString& key) const {
    const auto value = optional(key);
    return value ? std::optional(dateOf(*value, key)) : std::nullopt;
}

QJsonArray RecordReader::array(const QString& key) const {
    const QJsonValue value = required(key);
    if (!value.isArray())
        fail(JsonDecodingErrorKind::typeMismatch, key);
    return value.toArray();
}

std::optional<QJsonArray> RecordReader::optionalArray(const QString& key) const {
    const auto value = optional(key);
    if (!value)
        return std::nullopt;
    if (!value->isArray())
        fail(JsonDecodingErrorKind::typeMismatch, key);
    return value->toArray();
}

std::optional<QJsonObject> RecordReader::optionalObject(const QString& key) const {
    const auto value = optional(key);
    if (!value)
        return std::nullopt;
    if (!value->isObject())
        fail(JsonDecodingErrorKind::typeMismatch, key);
    return value->toObject();
}

} // namespace tessaron
