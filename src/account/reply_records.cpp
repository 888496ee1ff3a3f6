#include "account/reply_records.hpp"

#include "profiles/record_reader.hpp"

namespace tessaron {

TessaronEvictedDevice TessaronEvictedDevice::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {.deviceName = fields.string(QStringLiteral("deviceName")),
            .platform = fields.string(QStringLiteral("platform"))};
}

TessaronAuthSession TessaronAuthSession::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    TessaronAuthSession session{
        .sessionToken = fields.string(QStringLiteral("sessionToken")),
        .account = TessaronAccount::fromJSON(fields.required(QStringLiteral("account"))),
        .evicted = std::nullopt,
    };
    if (const auto evicted = fields.optionalArray(QStringLiteral("evicted"))) {
        session.evicted.emplace();
        for (const QJsonValue& device : *evicted)
            session.evicted->append(TessaronEvictedDevice::fromJSON(device));
    }
    return session;
}

TessaronEmailChallenge TessaronEmailChallenge::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {.challengeID = fields.string(QStringLiteral("challengeID")),
            .resendAfterSeconds = fields.integer(QStringLiteral("resendAfterSeconds"))};
}

TessaronOAuthStart TessaronOAuthStart::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {.authorizeURL = fields.string(QStringLiteral("authorizeURL")),
            .state = fields.string(QStringLiteral("state"))};
}

TessaronProfileEnvelope TessaronProfileEnvelope::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {.profile = TessaronProfile::fromJSON(fields.required(QStringLiteral("profile")))};
}

TessaronSubscriptionLink TessaronSubscriptionLink::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    const QString urlKey = QStringLiteral("url");
    const QUrl url(fields.string(urlKey), QUrl::StrictMode);
    if (url.isEmpty() || !url.isValid())
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, urlKey);
    return {.url = url,
            .deviceName = fields.string(QStringLiteral("deviceName")),
            .createdAt = fields.date(QStringLiteral("createdAt"))};
}

TessaronSubscriptionLinkStatus TessaronSubscriptionLinkStatus::fromJSON(const QJsonValue& value) {
    const RecordReader fields(value);
    return {.active = fields.boolean(QStringLiteral("active")),
            .deviceName = fields.optionalString(QStringLiteral("deviceName")),
            .createdAt = fields.optionalDate(QStringLiteral("createdAt")),
            .lastFetchedAt = fields.optionalDate(QStringLiteral("lastFetchedAt"))};
}

} // namespace tessaron
