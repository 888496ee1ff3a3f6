#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <filesystem>
#include <optional>

namespace tessaron::local_service {

struct GrantRecord {
    QString id;
    QString type;
    QString status;
    std::optional<QString> label;
    std::optional<QDateTime> expiresAt;

    bool isActive() const { return status == QStringLiteral("active"); }
};

// The one computer an account may use at a time.
struct ComputerSlot {
    QUuid installationID;
    QString deviceName;
    // The last move to another computer; the next may follow 30 days later.
    std::optional<QDateTime> swappedAt;
};

struct SubscriptionLinkRecord {
    // The 43-character path token that grants access; whoever holds the link holds the access.
    QString token;
    QString deviceName;
    QDateTime createdAt;
    std::optional<QDateTime> lastFetchedAt;
};

struct AccountRecord {
    QString id;
    QString email;
    QStringList providers;
    QDateTime createdAt;
    QList<GrantRecord> grants;
    std::optional<ComputerSlot> computer;
    std::optional<SubscriptionLinkRecord> subscriptionLink;

    const GrantRecord* grant(const QString& grantID) const;
    bool hasActiveGrant() const;
};

struct SessionRecord {
    QString accountID;
    QUuid installationID;
    QString deviceName;
    QString platform;
    QDateTime createdAt;
};

// Everything the account endpoints remember between requests, and between runs when kept in a file.
struct AccountLedger {
    // Keyed by account id.
    QHash<QString, AccountRecord> accounts;
    // Keyed by session token.
    QHash<QString, SessionRecord> sessions;
    // Invitation profiles linked to an account: profile id to account id.
    QHash<QUuid, QString> linkedProfiles;

    AccountRecord* accountWithEmail(const QString& email);
    qint64 sessionCount(const QString& accountID) const;
    void endSessions(const QString& accountID, const QUuid& installationID);
    void remove(const QString& accountID);

    // The account as its replies show it.
    QJsonObject replyObject(const AccountRecord& account) const;

    // An unreadable or missing file gives an empty ledger; a damaged one is reported on stderr.
    static AccountLedger load(const std::filesystem::path& file);
    // Reported on stderr when it fails: the service keeps serving from memory.
    void save(const std::filesystem::path& file) const;
};

} // namespace tessaron::local_service
