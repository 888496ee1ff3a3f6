#include "account_service.hpp"

#include "profiles/json_values.hpp"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QUrl>

#include <array>
#include <cstdio>

namespace tessaron::local_service {

namespace {

using namespace std::chrono_literals;

constexpr auto challengeLifetime = 10min;
constexpr int codeAttempts = 5;
constexpr qint64 resendAfterSeconds = 30;
constexpr auto webSignInLifetime = 10min;
constexpr auto webCodeLifetime = 5min;
constexpr qint64 daysBetweenComputerSwaps = 30;

// The app's own scheme; the path keeps the callback apart from invitation links in the same scheme.
const QString webSignInCallback = QStringLiteral("tessaron://auth/callback");
const QString unauthorized = QStringLiteral("unauthorized");

QDateTime after(const QDateTime& date, std::chrono::seconds duration) {
    return date.addSecs(duration.count());
}

// 256 random bits in URL-safe base64 without padding: 43 characters.
QString randomToken() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), sizeof words);
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString randomID(const char* prefix) {
    return QString::fromLatin1(prefix) + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

std::optional<QString> plausibleEmail(const std::optional<QString>& text) {
    if (!text)
        return std::nullopt;
    const QString email = text->trimmed().toLower();
    if (!email.contains(u'@') || email.startsWith(u'@') || email.endsWith(u'@'))
        return std::nullopt;
    return email;
}

// What every sign-in request says about the computer it comes from.
struct SigningInDevice {
    QUuid installationID;
    QString deviceName;
    QString platform;

    static std::optional<SigningInDevice> from(const QJsonObject& body) {
        const auto installationID = uuidField(body, QStringLiteral("installationID"));
        const auto deviceName = textField(body, QStringLiteral("deviceName"));
        const auto platform = textField(body, QStringLiteral("platform"));
        if (!installationID || !deviceName || !platform)
            return std::nullopt;
        return SigningInDevice{*installationID, *deviceName, *platform};
    }
};

ServiceReply invalidRequest() {
    return ServiceReply::refusal(400, QStringLiteral("invalid_request"));
}

template <typename Record> void dropExpired(QHash<QString, Record>& table, const QDateTime& now) {
    table.removeIf([&](const auto& entry) { return entry.value().expiresAt <= now; });
}

// The callback names the sign-in it ends, so the app can refuse one that another page started.
QString callbackWith(const QString& key, const QString& value, const QString& state) {
    const auto encoded = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    return webSignInCallback + u'?' + key + u'=' + encoded(value) + QStringLiteral("&state=") +
           encoded(state);
}

} // namespace

AccountService::AccountService(const Clock& clock, const SeedCatalogue& seeds, std::string origin,
                               std::optional<std::filesystem::path> stateFile)
    : clock_(clock)
    , seeds_(seeds)
    , origin_(std::move(origin))
    , stateFile_(std::move(stateFile))
    , ledger_(stateFile_ ? AccountLedger::load(*stateFile_) : AccountLedger()) {}

ServiceReply AccountService::startEmailSignIn(const QJsonObject& body) {
    const auto installationID = uuidField(body, QStringLiteral("installationID"));
    if (!installationID)
        return invalidRequest();
    const auto email = plausibleEmail(textField(body, QStringLiteral("email")));
    if (!email)
        return ServiceReply::refusal(400, QStringLiteral("invalid_email"));

    const std::lock_guard lock(mutex_);
    const QDateTime now = clock_.now();
    dropExpired(challenges_, now);
    const QString challengeID = randomID("challenge-");
    const QString code =
        QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1'000'000), 6, 10, QChar(u'0'));
    challenges_.insert(challengeID, {.email = *email,
                                     .code = code,
                                     .installationID = *installationID,
                                     .expiresAt = after(now, challengeLifetime),
                                     .attemptsLeft = codeAttempts});
    std::printf("e-mail code for %s: %s\n", qPrintable(*email), qPrintable(code));
    std::fflush(stdout);
    return ServiceReply::ok({{QStringLiteral("challengeID"), challengeID},
                             {QStringLiteral("resendAfterSeconds"), resendAfterSeconds}});
}

ServiceReply AccountService::verifyEmailCode(const QJsonObject& body) {
    const auto challengeID = textField(body, QStringLiteral("challengeID"));
    const auto code = textField(body, QStringLiteral("code"));
    const auto device = SigningInDevice::from(body);
    if (!challengeID || !code || !device)
        return invalidRequest();

    const std::lock_guard lock(mutex_);
    dropExpired(challenges_, clock_.now());
    const auto challenge = challenges_.find(*challengeID);
    // A challenge belongs to the installation that asked for the code.
    if (challenge == challenges_.end() || challenge->installationID != device->installationID)
        return ServiceReply::refusal(410, QStringLiteral("challenge_expired"));
    if (challenge->code != *code) {
        const int attemptsLeft = --challenge->attemptsLeft;
        if (attemptsLeft == 0)
            challenges_.erase(challenge);
        return ServiceReply::refusal(401, QStringLiteral("invalid_code"),
                                     {{QStringLiteral("attemptsLeft"), attemptsLeft}});
    }
    const QString email = challenge->email;
    challenges_.erase(challenge);
    return signIn(email, QStringLiteral("email"), body);
}

ServiceReply AccountService::startWebSignIn(const QJsonObject& body) {
    const auto provider = textField(body, QStringLiteral("provider"));
    const auto installationID = uuidField(body, QStringLiteral("installationID"));
    if (!installationID || !provider)
        return invalidRequest();
    if (*provider != u"google" && *provider != u"whop")
        return ServiceReply::refusal(400, QStringLiteral("invalid_provider"));

    const std::lock_guard lock(mutex_);
    const QDateTime now = clock_.now();
    dropExpired(webSignIns_, now);
    const QString state = randomToken();
    webSignIns_.insert(state, {.provider = *provider,
                               .installationID = *installationID,
                               .expiresAt = after(now, webSignInLifetime),
                               .email = {}});
    return ServiceReply::ok(
        {{QStringLiteral("authorizeURL"),
          QString::fromStdString(origin_) + QStringLiteral("/oauth/authorize?state=") + state},
         {QStringLiteral("state"), state}});
}

std::optional<QString> AccountService::webSignInProvider(const QString& state) {
    const std::lock_guard lock(mutex_);
    dropExpired(webSignIns_, clock_.now());
    const auto started = webSignIns_.constFind(state);
    if (started == webSignIns_.constEnd())
        return std::nullopt;
    return started->provider;
}

QString AccountService::finishWebSignIn(const QString& state, const std::optional<QString>& email) {
    const std::lock_guard lock(mutex_);
    const QDateTime now = clock_.now();
    dropExpired(webSignIns_, now);
    dropExpired(webCodes_, now);
    // A state completes once: a replayed page gets the same answer as an expired one.
    WebSignIn started = webSignIns_.take(state);
    if (started.provider.isEmpty())
        return callbackWith(QStringLiteral("error"), QStringLiteral("invalid_state"), state);
    if (!email)
        return callbackWith(QStringLiteral("error"), QStringLiteral("access_denied"), state);
    const auto plausible = plausibleEmail(email);
    if (!plausible)
        return callbackWith(QStringLiteral("error"), QStringLiteral("email_required"), state);

    started.email = *plausible;
    started.expiresAt = after(now, webCodeLifetime);
    const QString code = randomToken();
    webCodes_.insert(code, started);
    return callbackWith(QStringLiteral("code"), code, state);
}

ServiceReply AccountService::exchangeWebCode(const QJsonObject& body) {
    const auto code = textField(body, QStringLiteral("code"));
    const auto device = SigningInDevice::from(body);
    if (!code || !device)
        return invalidRequest();

    const std::lock_guard lock(mutex_);
    dropExpired(webCodes_, clock_.now());
    // A code is good for one exchange, by the installation that started the sign-in.
    const WebSignIn completed = webCodes_.take(*code);
    if (completed.email.isEmpty() || completed.installationID != device->installationID)
        return ServiceReply::refusal(400, QStringLiteral("invalid_code"));
    return signIn(completed.email, completed.provider, body);
}

ServiceReply AccountService::logout(const std::optional<QString>& token) {
    const std::lock_guard lock(mutex_);
    if (!token || !ledger_.sessions.remove(*token))
        return ServiceReply::refusal(401, unauthorized);
    persist();
    return ServiceReply::noContent();
}

ServiceReply AccountService::account(const std::optional<QString>& token) {
    const std::lock_guard lock(mutex_);
    const AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    return ServiceReply::ok(ledger_.replyObject(*account));
}

ServiceReply AccountService::deleteAccount(const std::optional<QString>& token) {
    const std::lock_guard lock(mutex_);
    const AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    ledger_.remove(account->id);
    persist();
    return ServiceReply::noContent();
}

ServiceReply AccountService::grantProfile(const std::optional<QString>& token, const QJsonObject& body,
                                          bool deviceSwap) {
    const std::lock_guard lock(mutex_);
    AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    const auto grantID = textField(body, QStringLiteral("grantID"));
    const auto installationID = uuidField(body, QStringLiteral("installationID"));
    const auto deviceName = textField(body, QStringLiteral("deviceName"));
    if (!grantID || !installationID || !deviceName)
        return invalidRequest();
    const GrantRecord* grant = account->grant(*grantID);
    if (!grant || !grant->isActive())
        return ServiceReply::refusal(403, QStringLiteral("grant_not_active"));
    if (auto refusal = claimComputerSlot(*account, *installationID, *deviceName, deviceSwap))
        return *refusal;
    persist();
    return ServiceReply::ok({{QStringLiteral("profile"), seeds_.accountGroup().primary().toJSON()}});
}

ServiceReply AccountService::linkProfile(const std::optional<QString>& token, const QJsonObject& body) {
    const std::lock_guard lock(mutex_);
    const AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    const auto profileID = uuidField(body, QStringLiteral("profileID"));
    if (!profileID || !uuidField(body, QStringLiteral("installationID")))
        return invalidRequest();

    const NodeGroup* group = seeds_.groupOf(*profileID);
    const QString owner = ledger_.linkedProfiles.value(*profileID);
    if (!group || (!owner.isEmpty() && owner != account->id))
        return ServiceReply::refusal(403, QStringLiteral("not_your_grant"));
    // Every account's grant gives the account group, so its profiles belong to no account in particular.
    if (group != &seeds_.accountGroup() && owner.isEmpty()) {
        ledger_.linkedProfiles.insert(*profileID, account->id);
        persist();
    }
    return ServiceReply::ok(ledger_.replyObject(*account));
}

ServiceReply AccountService::subscriptionLinkStatus(const std::optional<QString>& token) {
    const std::lock_guard lock(mutex_);
    const AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    QJsonObject status{{QStringLiteral("active"), account->subscriptionLink.has_value()}};
    if (const auto& link = account->subscriptionLink) {
        status.insert(QStringLiteral("deviceName"), link->deviceName);
        status.insert(QStringLiteral("createdAt"), dateText(link->createdAt));
        if (link->lastFetchedAt)
            status.insert(QStringLiteral("lastFetchedAt"), dateText(*link->lastFetchedAt));
    }
    return ServiceReply::ok(status);
}

ServiceReply AccountService::createSubscriptionLink(const std::optional<QString>& token,
                                                    const QJsonObject& body) {
    const std::lock_guard lock(mutex_);
    AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    const auto deviceName = textField(body, QStringLiteral("deviceName"));
    if (!deviceName)
        return invalidRequest();
    if (!account->hasActiveGrant())
        return ServiceReply::refusal(403, QStringLiteral("no_access"));

    // A new link replaces the old one, which stops working at once.
    const SubscriptionLinkRecord& link =
        account->subscriptionLink.emplace(SubscriptionLinkRecord{.token = randomToken(),
                                                                 .deviceName = *deviceName,
                                                                 .createdAt = clock_.now(),
                                                                 .lastFetchedAt = std::nullopt});
    persist();
    return ServiceReply::ok(
        {{QStringLiteral("url"), QString::fromStdString(origin_) + QStringLiteral("/v1/sub/") + link.token},
         {QStringLiteral("deviceName"), link.deviceName},
         {QStringLiteral("createdAt"), dateText(link.createdAt)}});
}

ServiceReply AccountService::deleteSubscriptionLink(const std::optional<QString>& token) {
    const std::lock_guard lock(mutex_);
    AccountRecord* account = signedInAccount(token);
    if (!account)
        return ServiceReply::refusal(401, unauthorized);
    account->subscriptionLink.reset();
    persist();
    return ServiceReply::noContent();
}

std::optional<QJsonObject> AccountService::subscription(const QString& linkToken) {
    const std::lock_guard lock(mutex_);
    for (AccountRecord& account : ledger_.accounts) {
        if (account.subscriptionLink && account.subscriptionLink->token == linkToken) {
            account.subscriptionLink->lastFetchedAt = clock_.now();
            persist();
            QJsonArray profiles;
            for (const SeedNode& node : seeds_.accountGroup().nodes)
                profiles.append(node.profile.toJSON());
            return QJsonObject{{QStringLiteral("profiles"), profiles}};
        }
    }
    return std::nullopt;
}

AccountRecord* AccountService::signedInAccount(const std::optional<QString>& token) {
    if (!token)
        return nullptr;
    const auto session = ledger_.sessions.constFind(*token);
    if (session == ledger_.sessions.constEnd())
        return nullptr;
    const auto account = ledger_.accounts.find(session->accountID);
    return account == ledger_.accounts.end() ? nullptr : &*account;
}

ServiceReply AccountService::signIn(const QString& email, const QString& provider, const QJsonObject& body) {
    const auto device = SigningInDevice::from(body);
    if (!device)
        return invalidRequest();
    AccountRecord* account = ledger_.accountWithEmail(email);
    if (!account) {
        AccountRecord created = newAccount(email);
        account = &*ledger_.accounts.insert(created.id, created);
    }
    if (!account->providers.contains(provider))
        account->providers.append(provider);

    // A computer signs in once per account: a new sign-in replaces its earlier session.
    ledger_.endSessions(account->id, device->installationID);
    const QString token = randomToken();
    ledger_.sessions.insert(token, {.accountID = account->id,
                                    .installationID = device->installationID,
                                    .deviceName = device->deviceName,
                                    .platform = device->platform,
                                    .createdAt = clock_.now()});
    persist();
    return ServiceReply::ok({{QStringLiteral("sessionToken"), token},
                             {QStringLiteral("account"), ledger_.replyObject(*account)}});
}

AccountRecord AccountService::newAccount(const QString& email) const {
    const QDateTime now = clock_.now();
    // An ended trial before the active grant, as accounts that paid after trying have it. An address whose
    // name starts with "lapsed" gets the ended trial alone, so an account that brings no connection of its
    // own can be tried too.
    QList<GrantRecord> grants{{.id = randomID("grant-"),
                               .type = QStringLiteral("trial"),
                               .status = QStringLiteral("expired"),
                               .label = QStringLiteral("Trial"),
                               .expiresAt = now.addDays(-1)}};
    if (!email.startsWith(QStringLiteral("lapsed"))) {
        grants.append({.id = randomID("grant-"),
                       .type = QStringLiteral("subscription"),
                       .status = QStringLiteral("active"),
                       .label = QStringLiteral("Tessaron (development)"),
                       .expiresAt = now.addDays(365)});
    }
    return {.id = randomID("account-"),
            .email = email,
            .providers = {},
            .createdAt = now,
            .grants = grants,
            .computer = std::nullopt,
            .subscriptionLink = std::nullopt};
}

std::optional<ServiceReply> AccountService::claimComputerSlot(AccountRecord& account,
                                                              const QUuid& installationID,
                                                              const QString& deviceName, bool deviceSwap) {
    auto& slot = account.computer;
    if (!slot || slot->installationID == installationID) {
        slot = ComputerSlot{installationID, deviceName, slot ? slot->swappedAt : std::nullopt};
        return std::nullopt;
    }
    const QJsonObject computer{{QStringLiteral("slot"), QStringLiteral("computer")}};
    if (!deviceSwap) {
        QJsonObject taken = computer;
        taken.insert(QStringLiteral("deviceName"), slot->deviceName);
        return ServiceReply::refusal(409, QStringLiteral("device_slot_taken"), taken);
    }
    const QDateTime now = clock_.now();
    if (slot->swappedAt) {
        const QDateTime nextSwapAt = slot->swappedAt->addDays(daysBetweenComputerSwaps);
        if (now < nextSwapAt) {
            QJsonObject locked = computer;
            locked.insert(QStringLiteral("nextSwapAt"), dateText(nextSwapAt));
            return ServiceReply::refusal(409, QStringLiteral("device_slot_locked"), locked);
        }
    }
    // The computer that loses the slot is signed out of the account.
    ledger_.endSessions(account.id, slot->installationID);
    slot = ComputerSlot{installationID, deviceName, now};
    return std::nullopt;
}

void AccountService::persist() const {
    if (stateFile_)
        ledger_.save(*stateFile_);
}

} // namespace tessaron::local_service
