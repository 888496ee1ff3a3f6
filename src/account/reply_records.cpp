#include "account/reply_records.hpp"

#include "account/json_reader.hpp"

namespace tessaron {

TessaronEvictedDevice TessaronEvictedDevice::fromJson(const QJsonObject& object, const QString& path) {
    const JsonObjectReader reader(object, path);
    return {.deviceName = reader.requiredString(QStringLiteral("deviceName")),
            .platform = reader.requiredString(QStringLiteral("platform"))};
}

TessaronAuthSession TessaronAuthSession::fromJson(const QJsonObject& object) {
    const JsonObjectReader reader(object);
    return {
        .sessionToken = reader.requiredString(QStringLiteral("sessionToken")),
        .account = TessaronAccount::fromJson(reader.requiredObject(QStringLiteral("account")),
                                             reader.pathOf(QStringLiteral("account"))),
        .evicted = reader.optionalObjectArray(QStringLiteral("evicted"), &TessaronEvictedDevice::fromJson),
    };
}

TessaronEmailChallenge TessaronEmailChallenge::fromJson(const QJsonObject& object) {
    const JsonObjectReader reader(object);
    return {.challengeID = reader.requiredString(QStringLiteral("challengeID")),
            .resendAfterSeconds = reader.requiredInteger(QStringLiteral("resendAfterSeconds"))};
}

TessaronOAuthStart TessaronOAuthStart::fromJson(const QJsonObject& object) {
    const JsonObjectReader reader(object);
    return {.authorizeURL = reader.requiredString(QStringLiteral("authorizeURL")),
            .state = reader.requiredString(QStringLiteral("state"))};
}

TessaronSubscriptionLink TessaronSubscriptionLink::fromJson(const QJsonObject& object) {
    const JsonObjectReader reader(object);
    const QString urlKey = QStringLiteral("url");
    const QUrl url(reader.requiredString(urlKey), QUrl::StrictMode);
    if (url.isEmpty() || !url.isValid())
        throw JsonDecodingError(JsonDecodingErrorKind::dataCorrupted, reader.pathOf(urlKey),
                                QStringLiteral("Invalid URL string."));
    return {.url = url,
            .deviceName = reader.requiredString(QStringLiteral("deviceName")),
            .createdAt = reader.requiredDate(QStringLiteral("createdAt"))};
}

TessaronSubscriptionLinkStatus TessaronSubscriptionLinkStatus::fromJson(const QJsonObject& object) {
    const JsonObjectReader reader(object);
    return {.active = reader.requiredBool(QStringLiteral("active")),
            .deviceName = reader.optionalString(QStringLiteral("deviceName")),
            .createdAt = reader.optionalDate(QStringLiteral("createdAt")),
            .lastFetchedAt = reader.optionalDate(QStringLiteral("lastFetchedAt"))};
}

} // namespace tessaron
