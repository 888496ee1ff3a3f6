#include "account/account_client.hpp"

#include "profiles/decoding_error.hpp"

#include <QJsonArray>
#include <QJsonDocument>

#include <initializer_list>
#include <utility>

namespace tessaron {

namespace {

using Field = std::pair<QStringView, QString>;

QByteArray jsonString(const QString& text) {
    const auto array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2);
}

// A request body of text fields. QJsonObject would sort the keys; the bodies keep their declared order.
QByteArray encodeBody(std::initializer_list<Field> fields) {
    QByteArray body = "{";
    for (const auto& [key, value] : fields) {
        if (body.size() > 1)
            body += ',';
        body += jsonString(key.toString()) + ':' + jsonString(value);
    }
    return body + '}';
}

// The account reply decoder: a body that is no JSON object, or misses what the record needs, is unreadable.
template <typename Record> Record decodeReply(const QByteArray& bytes) {
    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw TessaronAccountError::network(QStringLiteral("unreadable response"));
    try {
        return Record::fromJSON(document.object());
    } catch (const JsonDecodingError&) {
        throw TessaronAccountError::network(QStringLiteral("unreadable response"));
    }
}

QString lowercaseText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces);
}

const QString macPlatform = QStringLiteral("macos");

} // namespace

template <typename Record>
QCoro::Task<Record> TessaronAccountClient::fetchRecord(std::shared_ptr<const State> state, Request request,
                                                       FailureMapping mapFailure,
                                                       CancellationToken cancellation) {
    const auto reply = co_await perform(state, std::move(request), mapFailure, std::move(cancellation));
    co_return decodeReply<Record>(reply);
}

QCoro::Task<> TessaronAccountClient::fetchNothing(std::shared_ptr<const State> state, Request request,
                                                  CancellationToken cancellation) {
    co_await perform(state, std::move(request), &mapCommonFailure, std::move(cancellation));
}

QCoro::Task<TessaronSubscriptionLink>
TessaronAccountClient::fetchTrustedLink(std::shared_ptr<const State> state, Request request,
                                        CancellationToken cancellation) {
    const auto expectedHost = state->baseURL.host();
    auto link = co_await fetchRecord<TessaronSubscriptionLink>(
        state, std::move(request), &mapSubscriptionLinkFailure, std::move(cancellation));
    if (!isTrustedSubscriptionURL(link.url, expectedHost))
        throw TessaronAccountError::network(QStringLiteral("untrusted subscription URL"));
    co_return link;
}

QCoro::Task<TessaronProviders> TessaronAccountClient::fetchProviders(CancellationToken cancellation) const {
    return fetchRecord<TessaronProviders>(state_,
                                          {.path = QStringLiteral("/v1/auth/providers"), .method = "GET"},
                                          &mapCommonFailure, std::move(cancellation));
}

QCoro::Task<TessaronAccount> TessaronAccountClient::fetchAccount(QString token,
                                                                 CancellationToken cancellation) const {
    return fetchRecord<TessaronAccount>(
        state_, {.path = QStringLiteral("/v1/account"), .method = "GET", .token = std::move(token)},
        &mapCommonFailure, std::move(cancellation));
}

QCoro::Task<TessaronEmailChallenge>
TessaronAccountClient::startEmailChallenge(QString email, QUuid installationID,
                                           CancellationToken cancellation) const {
    return fetchRecord<TessaronEmailChallenge>(
        state_,
        {.path = QStringLiteral("/v1/auth/email/start"),
         .method = "POST",
         .body = encodeBody({{u"email", email}, {u"installationID", lowercaseText(installationID)}})},
        &mapEmailStartFailure, std::move(cancellation));
}

QCoro::Task<TessaronAuthSession>
TessaronAccountClient::verifyEmailCode(QString challengeID, QString code, QUuid installationID,
                                       QString deviceName, CancellationToken cancellation) const {
    return fetchRecord<TessaronAuthSession>(
        state_,
        {.path = QStringLiteral("/v1/auth/email/verify"),
         .method = "POST",
         .body = encodeBody({{u"challengeID", challengeID},
                             {u"code", code},
                             {u"installationID", lowercaseText(installationID)},
                             {u"deviceName", deviceName},
                             {u"platform", macPlatform}})},
        &mapEmailVerificationFailure, std::move(cancellation));
}

QCoro::Task<TessaronAuthSession>
TessaronAccountClient::signInWithApple(QString identityToken, QUuid installationID, QString deviceName,
                                       CancellationToken cancellation) const {
    return fetchRecord<TessaronAuthSession>(
        state_,
        {.path = QStringLiteral("/v1/auth/apple"),
         .method = "POST",
         .body = encodeBody({{u"identityToken", identityToken},
                             {u"installationID", lowercaseText(installationID)},
                             {u"deviceName", deviceName},
                             {u"platform", macPlatform}})},
        &mapAppleSignInFailure, std::move(cancellation));
}

QCoro::Task<TessaronOAuthStart> TessaronAccountClient::startOAuth(TessaronOAuthProvider provider,
                                                                  QUuid installationID,
                                                                  CancellationToken cancellation) const {
    const QString providerName =
        provider == TessaronOAuthProvider::whop ? QStringLiteral("whop") : QStringLiteral("google");
    return fetchRecord<TessaronOAuthStart>(
        state_,
        {.path = QStringLiteral("/v1/auth/oauth/start"),
         .method = "POST",
         .body =
             encodeBody({{u"provider", providerName}, {u"installationID", lowercaseText(installationID)}})},
        &mapCommonFailure, std::move(cancellation));
}

QCoro::Task<TessaronAuthSession>
TessaronAccountClient::exchangeOAuthCode(QString code, QUuid installationID, QString deviceName,
                                         CancellationToken cancellation) const {
    return fetchRecord<TessaronAuthSession>(
        state_,
        {.path = QStringLiteral("/v1/auth/oauth/exchange"),
         .method = "POST",
         .body = encodeBody({{u"code", code},
                             {u"installationID", lowercaseText(installationID)},
                             {u"deviceName", deviceName},
                             {u"platform", macPlatform}})},
        &mapCommonFailure, std::move(cancellation));
}

QCoro::Task<> TessaronAccountClient::logout(QString token, CancellationToken cancellation) const {
    return fetchNothing(
        state_, {.path = QStringLiteral("/v1/auth/logout"), .method = "POST", .token = std::move(token)},
        std::move(cancellation));
}

QCoro::Task<> TessaronAccountClient::deleteAccount(QString token, CancellationToken cancellation) const {
    return fetchNothing(
        state_, {.path = QStringLiteral("/v1/account"), .method = "DELETE", .token = std::move(token)},
        std::move(cancellation));
}

QCoro::Task<TessaronProfileEnvelope>
TessaronAccountClient::fetchProfile(QString token, QString grantID, QUuid installationID, QString deviceName,
                                    bool deviceSwap, CancellationToken cancellation) const {
    return fetchRecord<TessaronProfileEnvelope>(
        state_,
        {.path = QStringLiteral("/v1/account/profile"),
         .method = "POST",
         .body = encodeBody({{u"grantID", grantID},
                             {u"installationID", lowercaseText(installationID)},
                             {u"deviceName", deviceName}}),
         .token = std::move(token),
         .deviceSwap = deviceSwap},
        &mapProfileFailure, std::move(cancellation));
}

QCoro::Task<TessaronAccount> TessaronAccountClient::linkProfile(QString token, QUuid profileID,
                                                                QUuid installationID,
                                                                CancellationToken cancellation) const {
    return fetchRecord<TessaronAccount>(
        state_,
        {.path = QStringLiteral("/v1/account/link"),
         .method = "POST",
         .body = encodeBody(
             {{u"profileID", lowercaseText(profileID)}, {u"installationID", lowercaseText(installationID)}}),
         .token = std::move(token)},
        &mapLinkFailure, std::move(cancellation));
}

QCoro::Task<TessaronSubscriptionLink>
TessaronAccountClient::createSubscriptionLink(QString token, QString deviceName,
                                              CancellationToken cancellation) const {
    return fetchTrustedLink(state_,
                            {.path = QStringLiteral("/v1/account/subscription-link"),
                             .method = "POST",
                             .body = encodeBody({{u"deviceName", deviceName}}),
                             .token = std::move(token)},
                            std::move(cancellation));
}

QCoro::Task<TessaronSubscriptionLinkStatus>
TessaronAccountClient::fetchSubscriptionLinkStatus(QString token, CancellationToken cancellation) const {
    return fetchRecord<TessaronSubscriptionLinkStatus>(
        state_,
        {.path = QStringLiteral("/v1/account/subscription-link"), .method = "GET", .token = std::move(token)},
        &mapCommonFailure, std::move(cancellation));
}

QCoro::Task<> TessaronAccountClient::deleteSubscriptionLink(QString token,
                                                            CancellationToken cancellation) const {
    return fetchNothing(state_,
                        {.path = QStringLiteral("/v1/account/subscription-link"),
                         .method = "DELETE",
                         .token = std::move(token)},
                        std::move(cancellation));
}

} // namespace tessaron
