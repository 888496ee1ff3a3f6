#pragma once

#include "account/account_records.hpp"
#include "profiles/profile.hpp"

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// The records of successful account-service replies. Every field not marked optional must be present with
// the right JSON type, or decoding throws JsonDecodingError; unknown keys are ignored; dates are internet
// date-times.

// A device whose session ended because of this sign-in.
struct TessaronEvictedDevice {
    QString deviceName;
    QString platform;

    static TessaronEvictedDevice fromJSON(const QJsonValue& value);
    bool operator==(const TessaronEvictedDevice&) const = default;
};

// A completed sign-in.
struct TessaronAuthSession {
    QString sessionToken;
    TessaronAccount account;
    // None when the service did not say, which is not the same as an empty list.
    std::optional<QList<TessaronEvictedDevice>> evicted;

    static TessaronAuthSession fromJSON(const QJsonValue& value);
    bool operator==(const TessaronAuthSession&) const = default;
};

// A requested e-mail code.
struct TessaronEmailChallenge {
    QString challengeID;
    qint64 resendAfterSeconds = 0;

    static TessaronEmailChallenge fromJSON(const QJsonValue& value);
    bool operator==(const TessaronEmailChallenge&) const = default;
};

// The start of a web sign-in. The page stays text: whoever opens it checks that it is HTTPS.
struct TessaronOAuthStart {
    QString authorizeURL;
    QString state;

    static TessaronOAuthStart fromJSON(const QJsonValue& value);
    bool operator==(const TessaronOAuthStart&) const = default;
};

// The profile of the account's active grant. A profile that fails validation throws its own
// TessaronProfileError rather than a decoding error.
struct TessaronProfileEnvelope {
    TessaronProfile profile;

    static TessaronProfileEnvelope fromJSON(const QJsonValue& value);
};

// A newly created link for other devices' clients.
struct TessaronSubscriptionLink {
    QUrl url;
    QString deviceName;
    QDateTime createdAt;

    static TessaronSubscriptionLink fromJSON(const QJsonValue& value);
    bool operator==(const TessaronSubscriptionLink&) const = default;
};

// Whether the account has a subscription link, and its history.
struct TessaronSubscriptionLinkStatus {
    bool active = false;
    std::optional<QString> deviceName;
    std::optional<QDateTime> createdAt;
    std::optional<QDateTime> lastFetchedAt;

    static TessaronSubscriptionLinkStatus fromJSON(const QJsonValue& value);
    bool operator==(const TessaronSubscriptionLinkStatus&) const = default;
};

} // namespace tessaron
