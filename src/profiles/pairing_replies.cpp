#include "profiles/pairing_replies.hpp"

#include "profiles/json_values.hpp"
#include "profiles/record_reader.hpp"

#include <QJsonArray>
#include <QJsonDocument>

namespace tessaron {

namespace {

QJsonValue parseBody(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, {});
    if (!document.isObject())
        RecordReader::fail(JsonDecodingErrorKind::typeMismatch, {});
    return document.object();
}

QList<TessaronProfile> profilesOf(const QJsonArray& array) {
    QList<TessaronProfile> profiles;
    profiles.reserve(array.size());
    for (const QJsonValue& profile : array)
        profiles.append(TessaronProfile::fromJSON(profile));
    return profiles;
}

QJsonArray arrayOf(const QList<TessaronProfile>& profiles) {
    QJsonArray array;
    for (const TessaronProfile& profile : profiles)
        array.append(profile.toJSON());
    return array;
}

// A key that is not a profile id fails the reply: the table could not be matched to its profiles.
template <typename Record> QHash<QUuid, Record> tableOf(const RecordReader& fields, const QString& key) {
    QHash<QUuid, Record> table;
    const auto object = fields.optionalObject(key);
    if (!object)
        return table;
    for (auto entry = object->constBegin(); entry != object->constEnd(); ++entry) {
        const auto id = uuidFromText(entry.key());
        if (!id)
            RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, key);
        table.insert(*id, Record::fromJSON(entry.value()));
    }
    return table;
}

template <typename Record> QJsonObject objectOf(const QHash<QUuid, Record>& table) {
    QJsonObject object;
    for (auto entry = table.constBegin(); entry != table.constEnd(); ++entry)
        object.insert(uuidText(entry.key()), entry.value().toJSON());
    return object;
}

template <typename Record>
std::optional<Record> optionalRecord(const RecordReader& fields, const QString& key) {
    const auto value = fields.optional(key);
    return value ? std::optional(Record::fromJSON(*value)) : std::nullopt;
}

} // namespace

TessaronRosterResponse TessaronRosterResponse::decode(const QByteArray& body) {
    return fromJSON(parseBody(body));
}

TessaronRosterResponse TessaronRosterResponse::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {
        .profiles = profilesOf(fields.array(QStringLiteral("profiles"))),
        .health = tableOf<TessaronNodeHealth>(fields, QStringLiteral("health")),
        .geo = tableOf<TessaronNodeGeo>(fields, QStringLiteral("geo")),
        .usage = optionalRecord<TessaronDataUsage>(fields, QStringLiteral("usage")),
        .clientGeo = optionalRecord<TessaronClientGeo>(fields, QStringLiteral("clientGeo")),
    };
}

QJsonObject TessaronRosterResponse::toJSON() const {
    QJsonObject object{
        {QStringLiteral("profiles"), arrayOf(profiles)},
        {QStringLiteral("health"), objectOf(health)},
        {QStringLiteral("geo"), objectOf(geo)},
    };
    if (usage)
        object.insert(QStringLiteral("usage"), usage->toJSON());
    if (clientGeo)
        object.insert(QStringLiteral("clientGeo"), clientGeo->toJSON());
    return object;
}

TessaronRedeemResult TessaronRedeemResult::decode(const QByteArray& body) {
    return fromJSON(parseBody(body));
}

TessaronRedeemResult TessaronRedeemResult::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    const auto profiles = fields.optionalArray(QStringLiteral("profiles"));
    return {
        .profile = TessaronProfile::fromJSON(fields.required(QStringLiteral("profile"))),
        .profiles = profiles ? std::optional(profilesOf(*profiles)) : std::nullopt,
    };
}

QJsonObject TessaronRedeemResult::toJSON() const {
    QJsonObject object{{QStringLiteral("profile"), profile.toJSON()}};
    if (profiles)
        object.insert(QStringLiteral("profiles"), arrayOf(*profiles));
    return object;
}

} // namespace tessaron
