#include "account/account_model.hpp"

#include "account/oauth_callback.hpp"
#include "session/tessaron_session.hpp"

#include <QStringDecoder>

namespace tessaron {

namespace {

QString unreachableText(const QString& detail) {
    return TessaronAccountError::network(detail).userMessage().value_or(QString());
}

// Only the service's verdict on the code wipes it: a code that never reached the service (an outage) stays
// for another Return. An expired challenge can be replaced at once, whatever the old wait said.
TessaronLoginFlow afterFailedVerification(TessaronLoginFlow flow, const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const TessaronAccountError& refused) {
        if (refused.kind() == TessaronAccountErrorKind::challengeExpired)
            flow.resendRemaining = 0;
        if (refused.kind() == TessaronAccountErrorKind::challengeExpired ||
            refused.kind() == TessaronAccountErrorKind::invalidCode)
            flow.code.clear();
    } catch (...) {
    }
    return flow;
}

} // namespace

void TessaronAccountModel::setEmail(const QString& email) {
    auto flow = flow_;
    flow.email = email;
    setFlow(std::move(flow));
}

bool TessaronAccountModel::acceptCode(const QString& text) {
    auto flow = flow_;
    const bool completed = flow.acceptCode(text);
    setFlow(std::move(flow));
    return completed;
}

void TessaronAccountModel::countDownResend() {
    if (flow_.resendRemaining <= 0)
        return;
    auto flow = flow_;
    --flow.resendRemaining;
    setFlow(std::move(flow));
}

void TessaronAccountModel::failSignIn(const QString& message, bool fromCallback) {
    showError(message, fromCallback);
    setBusy(false);
}

QCoro::Task<std::optional<QUuid>> TessaronAccountModel::beginSignIn() {
    QPointer self(this);
    setBusy(true);
    showError(std::nullopt);
    auto installation = co_await readInstallationID();
    if (self && !installation.value)
        failSignIn(errorText(installation.error));
    co_return self ? installation.value : std::nullopt;
}

void TessaronAccountModel::resetLoginFlow() {
    TessaronLoginFlow flow;
    flow.email = flow_.email;
    setFlow(std::move(flow));
    setEvictedDeviceNames({});
}

QCoro::Task<> TessaronAccountModel::startEmailSignIn() {
    if (isBusy_ || !flow_.isEmailPlausible() || !services_.client)
        co_return;
    QPointer self(this);
    const auto installation = co_await beginSignIn();
    if (!installation)
        co_return;
    const QString email = flow_.email.trimmed().toLower();
    auto outcome = co_await outcomeOf(services_.client->startEmailChallenge(email, *installation));
    if (!self)
        co_return;
    if (outcome.failed()) {
        failSignIn(errorText(outcome.error));
        co_return;
    }
    auto flow = flow_;
    flow.challengeID = outcome.value->challengeID;
    flow.step = TessaronLoginFlow::Step::code;
    flow.code.clear();
    flow.resendRemaining = TessaronLoginFlow::clampedResendSeconds(outcome.value->resendAfterSeconds);
    setFlow(std::move(flow));
    setBusy(false);
}

QCoro::Task<> TessaronAccountModel::verifyEmailCode(TessaronSession* session) {
    if (isBusy_ || !services_.client || !flow_.challengeID ||
        flow_.code.size() != TessaronLoginFlow::codeLength)
        co_return;
    QPointer self(this);
    QPointer sessionRef(session);
    setBusy(true);
    const auto challengeID = *flow_.challengeID;
    const auto code = flow_.code;
    const auto installation = co_await readInstallationID();
    if (!self)
        co_return;
    TaskOutcome<TessaronAuthSession> outcome;
    if (installation.value) {
        outcome = co_await outcomeOf(services_.client->verifyEmailCode(challengeID, code, *installation.value,
                                                                       services_.deviceName()));
    } else {
        outcome.error = installation.error;
    }
    if (!self)
        co_return;
    if (outcome.failed())
        setFlow(afterFailedVerification(flow_, outcome.error));
    co_await finishSignIn(std::move(outcome), sessionRef);
}

QCoro::Task<> TessaronAccountModel::finishSignIn(TaskOutcome<TessaronAuthSession> outcome,
                                                 QPointer<TessaronSession> session) {
    if (outcome.failed()) {
        failSignIn(errorText(outcome.error));
        co_return;
    }
    applyAuthSession(*outcome.value, session);
    setBusy(false);
}

QCoro::Task<> TessaronAccountModel::completeAppleSignIn(TessaronAppleSignInResult result,
                                                        TessaronSession* session) {
    const QString appleFailure = unreachableText(QStringLiteral("apple"));
    if (result.failure) {
        const bool cancelled =
            result.failure->domain == TessaronAppleSignInResult::authorizationErrorDomain &&
            result.failure->code == TessaronAppleSignInResult::canceledCode;
        if (!cancelled)
            showError(appleFailure);
        co_return;
    }
    const auto identityToken = result.identityToken ? decodedUtf8(*result.identityToken) : std::nullopt;
    if (!identityToken || identityToken->isEmpty()) {
        showError(appleFailure);
        co_return;
    }
    if (isBusy_ || !services_.client)
        co_return;
    QPointer self(this);
    QPointer sessionRef(session);
    const auto installation = co_await beginSignIn();
    if (!installation)
        co_return;
    auto outcome = co_await outcomeOf(
        services_.client->signInWithApple(*identityToken, *installation, services_.deviceName()));
    if (self)
        co_await finishSignIn(std::move(outcome), sessionRef);
}

QCoro::Task<> TessaronAccountModel::signIn(TessaronOAuthProvider provider, TessaronSession* session) {
    if (isBusy_ || !services_.client)
        co_return;
    QPointer self(this);
    QPointer sessionRef(session);
    const auto client = *services_.client;
    const auto installation = co_await beginSignIn();
    if (!installation)
        co_return;
    auto start = co_await outcomeOf(client.startOAuth(provider, *installation));
    if (!self)
        co_return;
    if (start.failed()) {
        failSignIn(errorText(start.error));
        co_return;
    }
    const QUrl authorizeURL(start.value->authorizeURL, QUrl::StrictMode);
    if (!authorizeURL.isValid() || authorizeURL.scheme().toLower() != QStringLiteral("https")) {
        failSignIn(unreachableText(QStringLiteral("authorize URL")));
        co_return;
    }
    expectedOAuthState_ = start.value->state;
    auto result = co_await services_.webAuth.authorize(authorizeURL, callbackScheme);
    if (self)
        co_await completeWebSignIn(client, *installation, sessionRef, std::move(result));
}

QCoro::Task<> TessaronAccountModel::completeWebSignIn(TessaronAccountClient client, QUuid installation,
                                                      QPointer<TessaronSession> session,
                                                      WebAuthSession::Result result) {
    const auto expectedState = std::exchange(expectedOAuthState_, std::nullopt);
    switch (result.outcome) {
    case WebAuthSession::Outcome::cancelled:
        setBusy(false);
        co_return;
    case WebAuthSession::Outcome::failed:
        failSignIn(unreachableText(QStringLiteral("browser")));
        co_return;
    case WebAuthSession::Outcome::callback:
        break;
    }
    const auto callback = parseOAuthCallback(result.callbackUrl);
    // Any page can open the application's scheme: a callback naming another sign-in's state is not ours.
    if (callback.state && callback.state != expectedState) {
        failSignIn(oauthErrorText(std::nullopt), true);
        co_return;
    }
    if (!callback.code) {
        failSignIn(oauthErrorText(callback.error), true);
        co_return;
    }
    QPointer self(this);
    auto outcome =
        co_await outcomeOf(client.exchangeOAuthCode(*callback.code, installation, services_.deviceName()));
    if (self)
        co_await finishSignIn(std::move(outcome), session);
}

void TessaronAccountModel::cancelWebSignIn() {
    services_.webAuth.cancel();
}

bool TessaronAccountModel::deliverWebCallback(const QUrl& url) {
    return services_.webAuth.deliverCallback(url);
}

} // namespace tessaron
