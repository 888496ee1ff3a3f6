#include "profiles/node_records.hpp"

#include "profiles/json_values.hpp"
#include "profiles/record_reader.hpp"

namespace tessaron {

namespace {

template <typename Value> void insertIfPresent(QJsonObject& object, const QString& key, const Value& value) {
    if (value)
        object.insert(key, *value);
}

std::optional<TessaronNodeGeo::Purpose> purposeFromRawValue(QStringView text) {
    if (text == u"exit")
        return TessaronNodeGeo::Purpose::exit;
    if (text == u"homebound")
        return TessaronNodeGeo::Purpose::homebound;
    return std::nullopt;
}

QString rawValue(TessaronNodeGeo::Purpose purpose) {
    return purpose == TessaronNodeGeo::Purpose::exit ? QStringLiteral("exit") : QStringLiteral("homebound");
}

} // namespace

TessaronNodeHealth TessaronNodeHealth::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    TessaronNodeHealth health;
    health.up = fields.boolean(QStringLiteral("up"));
    health.checkedAt = fields.date(QStringLiteral("checkedAt"));
    health.paused = fields.boolean(QStringLiteral("paused"));
    health.resumesAt = fields.optionalDate(QStringLiteral("resumesAt"));
    health.load = fields.optionalNumber(QStringLiteral("load"));
    if (health.load && (*health.load < 0 || *health.load > 1))
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, QStringLiteral("load"));
    health.busy = fields.boolean(QStringLiteral("busy"));
    return health;
}

QJsonObject TessaronNodeHealth::toJSON() const {
    QJsonObject object{
        {QStringLiteral("up"), up},
        {QStringLiteral("checkedAt"), dateText(checkedAt)},
        {QStringLiteral("paused"), paused},
        {QStringLiteral("busy"), busy},
    };
    if (resumesAt)
        object.insert(QStringLiteral("resumesAt"), dateText(*resumesAt));
    insertIfPresent(object, QStringLiteral("load"), load);
    return object;
}

TessaronNodeGeo TessaronNodeGeo::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    TessaronNodeGeo geo;
    geo.country = fields.string(QStringLiteral("country"));
    geo.lat = fields.optionalNumber(QStringLiteral("lat"));
    geo.lon = fields.optionalNumber(QStringLiteral("lon"));
    const auto purpose = purposeFromRawValue(fields.string(QStringLiteral("purpose")));
    if (!purpose)
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, QStringLiteral("purpose"));
    geo.purpose = *purpose;
    return geo;
}

QJsonObject TessaronNodeGeo::toJSON() const {
    QJsonObject object{{QStringLiteral("country"), country}, {QStringLiteral("purpose"), rawValue(purpose)}};
    insertIfPresent(object, QStringLiteral("lat"), lat);
    insertIfPresent(object, QStringLiteral("lon"), lon);
    return object;
}

TessaronClientGeo TessaronClientGeo::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {
        .country = fields.string(QStringLiteral("country")),
        .city = fields.optionalString(QStringLiteral("city")),
        .lat = fields.optionalNumber(QStringLiteral("lat")),
        .lon = fields.optionalNumber(QStringLiteral("lon")),
    };
}

QJsonObject TessaronClientGeo::toJSON() const {
    QJsonObject object{{QStringLiteral("country"), country}};
    insertIfPresent(object, QStringLiteral("city"), city);
    insertIfPresent(object, QStringLiteral("lat"), lat);
    insertIfPresent(object, QStringLiteral("lon"), lon);
    return object;
}

} // namespace tessaron
