#pragma once

#include "account_ledger.hpp"
#include "seed_catalogue.hpp"
#include "service_reply.hpp"

#include "platform/clock.hpp"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace tessaron::local_service {

// The account service as a development stand-in: sign-in by an e-mail code (printed on stdout) or through a
// local web page, accounts with one active grant that gives the seeded account group, one computer slot per
// account, profile links and subscription links. Safe to call from the server's worker threads.
class AccountService {
public:
    // `origin` is where this service answers, for the links it hands out. With a state file, accounts and
    // sessions outlive a restart of the service.
    AccountService(const Clock& clock, const SeedCatalogue& seeds, std::string origin,
                   std::optional<std::filesystem::path> stateFile);

    ServiceReply startEmailSignIn(const QJsonObject& body);
    ServiceReply verifyEmailCode(const QJsonObject& body);

    ServiceReply startWebSignIn(const QJsonObject& body);
    // The provider's name for the sign-in page, or none when the sign-in is unknown or expired.
    std::optional<QString> webSignInProvider(const QString& state);
    // Ends the page's part of a web sign-in and gives the callback URL that hands the result to the app:
    // with a one-time code, or with an error when the state is stale, the user cancelled (no e-mail) or
    // the e-mail is not plausible; always with the sign-in's state.
    QString finishWebSignIn(const QString& state, const std::optional<QString>& email);
    ServiceReply exchangeWebCode(const QJsonObject& body);

    // The operations below take the bearer token of the request, when it carried one.
    ServiceReply logout(const std::optional<QString>& token);
    ServiceReply account(const std::optional<QString>& token);
    ServiceReply deleteAccount(const std::optional<QString>& token);
    ServiceReply grantProfile(const std::optional<QString>& token, const QJsonObject& body, bool deviceSwap);
    ServiceReply linkProfile(const std::optional<QString>& token, const QJsonObject& body);
    ServiceReply subscriptionLinkStatus(const std::optional<QString>& token);
    ServiceReply createSubscriptionLink(const std::optional<QString>& token, const QJsonObject& body);
    ServiceReply deleteSubscriptionLink(const std::optional<QString>& token);
    // What another device's client reads through a subscription link; none for an unknown link.
    std::optional<QJsonObject> subscription(const QString& linkToken);

private:
    struct EmailChallenge {
        QString email;
        QString code;
        QUuid installationID;
        QDateTime expiresAt;
        int attemptsLeft = 0;
    };
    struct WebSignIn {
        QString provider;
        QUuid installationID;
        QDateTime expiresAt;
        // Set once the page has completed, for the exchange.
        QString email;
    };

    AccountRecord* signedInAccount(const std::optional<QString>& token);
    ServiceReply signIn(const QString& email, const QString& provider, const QJsonObject& body);
    AccountRecord newAccount(const QString& email) const;
    // A refusal, or none when the installation holds (or now takes) the account's computer slot.
    std::optional<ServiceReply> claimComputerSlot(AccountRecord& account, const QUuid& installationID,
                                                  const QString& deviceName, bool deviceSwap);
    void persist() const;

    const Clock& clock_;
    const SeedCatalogue& seeds_;
    const std::string origin_;
    const std::optional<std::filesystem::path> stateFile_;

    std::mutex mutex_;
    AccountLedger ledger_;
    // Keyed by challenge id.
    QHash<QString, EmailChallenge> challenges_;
    // Keyed by the state of the sign-in page, and after it by the one-time code.
    QHash<QString, WebSignIn> webSignIns_;
    QHash<QString, WebSignIn> webCodes_;
};

} // namespace tessaron::local_service
