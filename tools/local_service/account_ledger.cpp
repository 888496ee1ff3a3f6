#include "account_ledger.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/json_values.hpp"
#include "profiles/record_reader.hpp"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cstdio>

namespace tessaron::local_service {

namespace {

template <typename Value> void insertIfPresent(QJsonObject& object, const QString& key, const Value& value) {
    if (value)
        object.insert(key, *value);
}

void insertDateIfPresent(QJsonObject& object, const QString& key, const std::optional<QDateTime>& date) {
    if (date)
        object.insert(key, dateText(*date));
}

QJsonObject grantObject(const GrantRecord& grant) {
    QJsonObject object{{QStringLiteral("id"), grant.id},
                       {QStringLiteral("type"), grant.type},
                       {QStringLiteral("status"), grant.status}};
    insertIfPresent(object, QStringLiteral("label"), grant.label);
    insertDateIfPresent(object, QStringLiteral("expiresAt"), grant.expiresAt);
    return object;
}

GrantRecord grantFrom(const QJsonValue& value) {
    const RecordReader fields(value);
    return {.id = fields.string(QStringLiteral("id")),
            .type = fields.string(QStringLiteral("type")),
            .status = fields.string(QStringLiteral("status")),
            .label = fields.optionalString(QStringLiteral("label")),
            .expiresAt = fields.optionalDate(QStringLiteral("expiresAt"))};
}

QUuid uuidFrom(const RecordReader& fields, const QString& key) {
    const auto id = uuidFromText(fields.string(key));
    if (!id)
        RecordReader::fail(JsonDecodingErrorKind::dataCorrupted, key);
    return *id;
}

// The stored form of an account adds what its replies leave out: the computer slot and the link.
QJsonObject storedAccount(const AccountLedger& ledger, const AccountRecord& account) {
    QJsonObject object = ledger.replyObject(account);
    if (account.computer) {
        QJsonObject slot{{QStringLiteral("installationID"), uuidText(account.computer->installationID)},
                         {QStringLiteral("deviceName"), account.computer->deviceName}};
        insertDateIfPresent(slot, QStringLiteral("swappedAt"), account.computer->swappedAt);
        object.insert(QStringLiteral("computer"), slot);
    }
    if (const auto& link = account.subscriptionLink) {
        QJsonObject stored{{QStringLiteral("token"), link->token},
                           {QStringLiteral("deviceName"), link->deviceName},
                           {QStringLiteral("createdAt"), dateText(link->createdAt)}};
        insertDateIfPresent(stored, QStringLiteral("lastFetchedAt"), link->lastFetchedAt);
        object.insert(QStringLiteral("subscriptionLink"), stored);
    }
    return object;
}

AccountRecord accountFrom(const QJsonValue& value) {
    const RecordReader fields(value);
    AccountRecord account;
    account.id = fields.string(QStringLiteral("id"));
    account.email = fields.string(QStringLiteral("email"));
    account.createdAt = fields.date(QStringLiteral("createdAt"));
    for (const QJsonValue provider : fields.array(QStringLiteral("providers")))
        account.providers.append(provider.toString());
    for (const QJsonValue grant : fields.array(QStringLiteral("grants")))
        account.grants.append(grantFrom(grant));
    if (const auto slot = fields.optional(QStringLiteral("computer"))) {
        const RecordReader slotFields(*slot);
        account.computer =
            ComputerSlot{.installationID = uuidFrom(slotFields, QStringLiteral("installationID")),
                         .deviceName = slotFields.string(QStringLiteral("deviceName")),
                         .swappedAt = slotFields.optionalDate(QStringLiteral("swappedAt"))};
    }
    if (const auto link = fields.optional(QStringLiteral("subscriptionLink"))) {
        const RecordReader linkFields(*link);
        account.subscriptionLink =
            SubscriptionLinkRecord{.token = linkFields.string(QStringLiteral("token")),
                                   .deviceName = linkFields.string(QStringLiteral("deviceName")),
                                   .createdAt = linkFields.date(QStringLiteral("createdAt")),
                                   .lastFetchedAt = linkFields.optionalDate(QStringLiteral("lastFetchedAt"))};
    }
    return account;
}

QJsonObject storedSession(const QString& token, const SessionRecord& session) {
    return {{QStringLiteral("token"), token},
            {QStringLiteral("accountID"), session.accountID},
            {QStringLiteral("installationID"), uuidText(session.installationID)},
            {QStringLiteral("deviceName"), session.deviceName},
            {QStringLiteral("platform"), session.platform},
            {QStringLiteral("createdAt"), dateText(session.createdAt)}};
}

AccountLedger ledgerFrom(const QJsonValue& value) {
    const RecordReader fields(value);
    AccountLedger ledger;
    for (const QJsonValue stored : fields.array(QStringLiteral("accounts"))) {
        AccountRecord account = accountFrom(stored);
        ledger.accounts.insert(account.id, std::move(account));
    }
    for (const QJsonValue stored : fields.array(QStringLiteral("sessions"))) {
        const RecordReader session(stored);
        ledger.sessions.insert(session.string(QStringLiteral("token")),
                               {.accountID = session.string(QStringLiteral("accountID")),
                                .installationID = uuidFrom(session, QStringLiteral("installationID")),
                                .deviceName = session.string(QStringLiteral("deviceName")),
                                .platform = session.string(QStringLiteral("platform")),
                                .createdAt = session.date(QStringLiteral("createdAt"))});
    }
    const auto links = fields.optionalObject(QStringLiteral("linkedProfiles")).value_or(QJsonObject());
    for (auto link = links.constBegin(); link != links.constEnd(); ++link) {
        if (const auto profileID = uuidFromText(link.key()))
            ledger.linkedProfiles.insert(*profileID, link.value().toString());
    }
    return ledger;
}

} // namespace

const GrantRecord* AccountRecord::grant(const QString& grantID) const {
    for (const GrantRecord& candidate : grants) {
        if (candidate.id == grantID)
            return &candidate;
    }
    return nullptr;
}

bool AccountRecord::hasActiveGrant() const {
    return std::any_of(grants.begin(), grants.end(),
                       [](const GrantRecord& grant) { return grant.isActive(); });
}

AccountRecord* AccountLedger::accountWithEmail(const QString& email) {
    for (AccountRecord& account : accounts) {
        if (account.email == email)
            return &account;
    }
    return nullptr;
}

qint64 AccountLedger::sessionCount(const QString& accountID) const {
    return std::count_if(sessions.cbegin(), sessions.cend(),
                         [&](const SessionRecord& session) { return session.accountID == accountID; });
}

void AccountLedger::endSessions(const QString& accountID, const QUuid& installationID) {
    sessions.removeIf([&](const auto& entry) {
        return entry.value().accountID == accountID && entry.value().installationID == installationID;
    });
}

void AccountLedger::remove(const QString& accountID) {
    accounts.remove(accountID);
    sessions.removeIf([&](const auto& entry) { return entry.value().accountID == accountID; });
    linkedProfiles.removeIf([&](const auto& entry) { return entry.value() == accountID; });
}

QJsonObject AccountLedger::replyObject(const AccountRecord& account) const {
    QJsonArray grants;
    for (const GrantRecord& grant : account.grants)
        grants.append(grantObject(grant));
    return {{QStringLiteral("id"), account.id},
            {QStringLiteral("email"), account.email},
            {QStringLiteral("providers"), QJsonArray::fromStringList(account.providers)},
            {QStringLiteral("createdAt"), dateText(account.createdAt)},
            {QStringLiteral("grants"), grants},
            {QStringLiteral("sessions"), sessionCount(account.id)},
            {QStringLiteral("subscriptionLinks"), true}};
}

AccountLedger AccountLedger::load(const std::filesystem::path& file) {
    QFile stored(QString::fromStdString(file.string()));
    if (!stored.open(QIODevice::ReadOnly))
        return {};
    try {
        return ledgerFrom(QJsonDocument::fromJson(stored.readAll()).object());
    } catch (const JsonDecodingError& error) {
        std::fprintf(stderr, "ignoring the unreadable %s (%s)\n", file.c_str(), qPrintable(error.key()));
        return {};
    }
}

void AccountLedger::save(const std::filesystem::path& file) const {
    QJsonArray storedAccounts;
    for (const AccountRecord& account : accounts)
        storedAccounts.append(storedAccount(*this, account));
    QJsonArray storedSessions;
    for (auto session = sessions.cbegin(); session != sessions.cend(); ++session)
        storedSessions.append(storedSession(session.key(), session.value()));
    QJsonObject links;
    for (auto link = linkedProfiles.cbegin(); link != linkedProfiles.cend(); ++link)
        links.insert(uuidText(link.key()), link.value());

    QSaveFile saved(QString::fromStdString(file.string()));
    const QJsonObject ledger{{QStringLiteral("accounts"), storedAccounts},
                             {QStringLiteral("sessions"), storedSessions},
                             {QStringLiteral("linkedProfiles"), links}};
    if (!saved.open(QIODevice::WriteOnly) || saved.write(QJsonDocument(ledger).toJson()) < 0 ||
        !saved.commit())
        std::fprintf(stderr, "cannot save %s: %s\n", file.c_str(), qPrintable(saved.errorString()));
}

} // namespace tessaron::local_service
