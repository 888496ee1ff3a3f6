#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaron {

// Decoding throws JsonDecodingError (profiles/decoding_error.hpp) for a value of the wrong shape.

// The sign-in methods the account service offers.
struct TessaronProviders {
    bool email = false;
    bool apple = false;
    bool google = false;
    bool whop = false;

    // A missing or null flag is false; a flag of another JSON type fails the decode.
    static TessaronProviders fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;
    bool operator==(const TessaronProviders&) const = default;
};

// The signed-in account as the service describes it.
struct TessaronAccount {
    struct Grant {
        QString id;
        QString type;
        QString status;
        std::optional<QString> label;
        std::optional<QDateTime> expiresAt;

        // Only the exact status "active" counts.
        bool isActive() const { return status == QStringLiteral("active"); }

        // An end date that is not a readable date-time is treated as no end date.
        static Grant fromJSON(const QJsonValue& value);
        QJsonObject toJSON() const;
        bool operator==(const Grant&) const = default;
    };

    QString id;
    QString email;
    QStringList providers;
    QDateTime createdAt;
    QList<Grant> grants;
    qint64 sessions = 0;
    bool subscriptionLinks = true;

    // The first active grant in the service's order.
    std::optional<Grant> activeGrant() const;

    // Strict on identity and dates, lenient on the counters and flags the service has changed over time.
    // One grant that fails to decode fails the whole account.
    static TessaronAccount fromJSON(const QJsonValue& value);
    QJsonObject toJSON() const;
    bool operator==(const TessaronAccount&) const = default;
};

} // namespace tessaron
