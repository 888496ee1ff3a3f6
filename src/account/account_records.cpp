#include "account/account_records.hpp"

#include "account/iso8601_date.hpp"
#include "account/json_reader.hpp"

#include <QJsonArray>

#include <algorithm>

namespace tessaron {

TessaronProviders TessaronProviders::fromJson(const QJsonObject& object) {
    const JsonObjectReader reader(object);
    return {
        .email = reader.optionalBool(QStringLiteral("email"), false),
        .apple = reader.optionalBool(QStringLiteral("apple"), false),
        .google = reader.optionalBool(QStringLiteral("google"), false),
        .whop = reader.optionalBool(QStringLiteral("whop"), false),
    };
}

QJsonObject TessaronProviders::toJson() const {
    return {{QStringLiteral("email"), email},
            {QStringLiteral("apple"), apple},
            {QStringLiteral("google"), google},
            {QStringLiteral("whop"), whop}};
}

TessaronAccount::Grant TessaronAccount::Grant::fromJson(const QJsonObject& object, const QString& path) {
    const JsonObjectReader reader(object, path);
    Grant grant{
        .id = reader.requiredString(QStringLiteral("id")),
        .type = reader.requiredString(QStringLiteral("type")),
        .status = reader.requiredString(QStringLiteral("status")),
        .label = reader.optionalString(QStringLiteral("label")),
        .expiresAt = std::nullopt,
    };
    if (const auto expiresAt = reader.value(QStringLiteral("expiresAt")); expiresAt.isString())
        grant.expiresAt = parseInternetDateTime(expiresAt.toString());
    return grant;
}

QJsonObject TessaronAccount::Grant::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), id}, {QStringLiteral("type"), type}, {QStringLiteral("status"), status}};
    if (label)
        object.insert(QStringLiteral("label"), *label);
    if (expiresAt)
        object.insert(QStringLiteral("expiresAt"), formatInternetDateTime(*expiresAt));
    return object;
}

namespace {

QStringList readProviders(const JsonObjectReader& reader) {
    const QString key = QStringLiteral("providers");
    QStringList providers;
    const auto array = reader.optionalArray(key).value_or(QJsonArray{});
    for (qsizetype index = 0; index < array.size(); ++index) {
        if (!array[index].isString())
            throw JsonDecodingError(JsonDecodingErrorKind::typeMismatch,
                                    JsonObjectReader::pathOf(reader.pathOf(key), index),
                                    QStringLiteral("Expected a string."));
        providers.append(array[index].toString());
    }
    return providers;
}

// Older services sent the list of sessions rather than their number; anything else counts as none.
qint64 readSessionCount(const JsonObjectReader& reader) {
    const auto value = reader.value(QStringLiteral("sessions"));
    if (const auto count = exactInteger(value))
        return *count;
    if (value.isArray())
        return value.toArray().size();
    return 0;
}

} // namespace

TessaronAccount TessaronAccount::fromJson(const QJsonObject& object, const QString& path) {
    const JsonObjectReader reader(object, path);
    TessaronAccount account;
    account.id = reader.requiredString(QStringLiteral("id"));
    account.email = reader.requiredString(QStringLiteral("email"));
    account.providers = readProviders(reader);
    account.createdAt = reader.requiredDate(QStringLiteral("createdAt"));
    account.grants =
        reader.optionalObjectArray(QStringLiteral("grants"), &Grant::fromJson).value_or(QList<Grant>{});
    account.sessions = readSessionCount(reader);
    account.subscriptionLinks = reader.optionalBool(QStringLiteral("subscriptionLinks"), true);
    return account;
}

QJsonObject TessaronAccount::toJson() const {
    QJsonArray grantArray;
    for (const auto& grant : grants)
        grantArray.append(grant.toJson());
    return {{QStringLiteral("id"), id},
            {QStringLiteral("email"), email},
            {QStringLiteral("providers"), QJsonArray::fromStringList(providers)},
            {QStringLiteral("createdAt"), formatInternetDateTime(createdAt)},
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
