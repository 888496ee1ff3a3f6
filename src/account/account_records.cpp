#include "account/account_records.hpp"

#include "profiles/json_values.hpp"
#include "profiles/record_reader.hpp"

#include <QJsonArray>

#include <algorithm>

namespace tessaron {

namespace {

// Absent or null gives `whenAbsent`; any other type than a Boolean fails.
bool flag(const RecordReader& fields, const QString& key, bool whenAbsent) {
    const auto value = fields.optional(key);
    if (!value)
        return whenAbsent;
    if (!value->isBool())
        RecordReader::fail(JsonDecodingErrorKind::typeMismatch, key);
    return value->toBool();
}

QStringList providerNames(const RecordReader& fields) {
    const QString key = QStringLiteral("providers");
    QStringList names;
    for (const QJsonValue& name : fields.optionalArray(key).value_or(QJsonArray{})) {
        if (!name.isString())
            RecordReader::fail(JsonDecodingErrorKind::typeMismatch, key);
        names.append(name.toString());
    }
    return names;
}

QList<TessaronAccount::Grant> grantsOf(const RecordReader& fields) {
    QList<TessaronAccount::Grant> grants;
    for (const QJsonValue& grant : fields.optionalArray(QStringLiteral("grants")).value_or(QJsonArray{}))
        grants.append(TessaronAccount::Grant::fromJSON(grant));
    return grants;
}

// Older services sent the list of sessions rather than their number; anything else counts as none.
qint64 sessionCount(const RecordReader& fields) {
    const auto value = fields.optional(QStringLiteral("sessions")).value_or(QJsonValue());
    if (const auto count = integralValue(value))
        return *count;
    if (value.isArray())
        return value.toArray().size();
    return 0;
}

} // namespace

TessaronProviders TessaronProviders::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {
        .email = flag(fields, QStringLiteral("email"), false),
        .apple = flag(fields, QStringLiteral("apple"), false),
        .google = flag(fields, QStringLiteral("google"), false),
        .whop = flag(fields, QStringLiteral("whop"), false),
    };
}

QJsonObject TessaronProviders::toJSON() const {
    return {{QStringLiteral("email"), email},
            {QStringLiteral("apple"), apple},
            {QStringLiteral("google"), google},
            {QStringLiteral("whop"), whop}};
}

TessaronAccount::Grant TessaronAccount::Grant::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    Grant grant{
        .id = fields.string(QStringLiteral("id")),
        .type = fields.string(QStringLiteral("type")),
        .status = fields.string(QStringLiteral("status")),
        .label = fields.optionalString(QStringLiteral("label")),
        .expiresAt = std::nullopt,
    };
    if (const auto expiresAt = fields.optional(QStringLiteral("expiresAt"));
        expiresAt && expiresAt->isString())
        grant.expiresAt = dateFromText(expiresAt->toString());
    return grant;
}

QJsonObject TessaronAccount::Grant::toJSON() const {
    QJsonObject object{
        {QStringLiteral("id"), id}, {QStringLiteral("type"), type}, {QStringLiteral("status"), status}};
    if (label)
        object.insert(QStringLiteral("label"), *label);
    if (expiresAt)
        object.insert(QStringLiteral("expiresAt"), dateText(*expiresAt));
    return object;
}

TessaronAccount TessaronAccount::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    TessaronAccount account;
    account.id = fields.string(QStringLiteral("id"));
    account.email = fields.string(QStringLiteral("email"));
    account.providers = providerNames(fields);
    account.createdAt = fields.date(QStringLiteral("createdAt"));
    account.grants = grantsOf(fields);
    account.sessions = sessionCount(fields);
    account.subscriptionLinks = flag(fields, QStringLiteral("subscriptionLinks"), true);
    return account;
}

QJsonObject TessaronAccount::toJSON() const {
    QJsonArray grantArray;
    for (const auto& grant : grants)
        grantArray.append(grant.toJSON());
    return {{QStringLiteral("id"), id},
            {QStringLiteral("email"), email},
            {QStringLiteral("providers"), QJsonArray::fromStringList(providers)},
            {QStringLiteral("createdAt"), dateText(createdAt)},
            {QStringLiteral("grants"), grantArray},
            {QStringLiteral("sessions"), sessions},
            {QStringLiteral("subscriptionLinks"), subscriptionLinks}};
}

std::optional<TessaronAccount::Grant> TessaronAccount::activeGrant() const {
    const auto found = std::ranges::find_if(grants, &Grant::isActive);
    if (found == grants.end())
        return std::nullopt;
    return *found;
}

} // namespace tessaron
