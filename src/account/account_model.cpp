#include "account/account_model.hpp"

#include "session/error_sanitizer.hpp"
#include "session/tessaron_session.hpp"

#include <QMetaObject>
#include <QScopeGuard>

#include <qcoro/qcorosignal.h>

namespace tessaron {

namespace {

bool underTestHarness() {
    static const bool set = qEnvironmentVariableIsSet(TessaronAccountModel::testHarnessVariable.constData());
    return set;
}

QString messageOf(const TessaronAccountError& error) {
    return error.userMessage().value_or(QString());
}

} // namespace

TessaronAccountModel::TessaronAccountModel(TessaronAccountServices services,
                                           std::optional<bool> refreshOnLaunch, QObject* parent)
    : QObject(parent)
    , services_(std::move(services)) {
    loadSessionToken(refreshOnLaunch.value_or(!underTestHarness()));
}

QCoro::Task<> TessaronAccountModel::loadSessionToken(bool thenRefresh) {
    QPointer self(this);
    const auto generation = generation_;
    auto load = [store = services_.tokenStore] {
        return store.load();
    };
    auto stored = co_await services_.keychain.run(std::move(load));
    if (!self)
        co_return;
    // A sign-in or sign-out while the keyring answered has the last word.
    if (generation == generation_) {
        token_ = std::move(stored);
        setSignedIn(token_.has_value());
    }
    signInStateKnown_ = true;
    Q_EMIT signInStateBecameKnown();
    if (thenRefresh) {
        QMetaObject::invokeMethod(
            this, [this] { refresh(nullptr); }, Qt::QueuedConnection);
    }
}

QCoro::Task<> TessaronAccountModel::signInStateKnown() {
    if (!signInStateKnown_)
        co_await qCoro(this, &TessaronAccountModel::signInStateBecameKnown);
}

void TessaronAccountModel::setAccount(std::optional<TessaronAccount> account) {
    publish(account_, std::move(account), &TessaronAccountModel::accountChanged);
}
void TessaronAccountModel::setSignedIn(bool signedIn) {
    publish(isSignedIn_, signedIn, &TessaronAccountModel::isSignedInChanged);
}
void TessaronAccountModel::setBusy(bool busy) {
    publish(isBusy_, busy, &TessaronAccountModel::isBusyChanged);
}
void TessaronAccountModel::setFlow(TessaronLoginFlow flow) {
    publish(flow_, std::move(flow), &TessaronAccountModel::flowChanged);
}
void TessaronAccountModel::setEvictedDeviceNames(QStringList names) {
    publish(lastEvictedDeviceNames_, std::move(names), &TessaronAccountModel::lastEvictedDeviceNamesChanged);
}
void TessaronAccountModel::showError(std::optional<QString> message, bool fromCallback) {
    lastErrorIsOAuthCallback_ = fromCallback;
    publish(lastError_, std::move(message), &TessaronAccountModel::lastErrorChanged);
}
void TessaronAccountModel::showOtherDevicesError(std::optional<QString> message) {
    publish(otherDevicesError_, std::move(message), &TessaronAccountModel::otherDevicesErrorChanged);
}
void TessaronAccountModel::setSubscriptionLocalURL(std::optional<QUrl> url) {
    publish(subscriptionLocalURL_, std::move(url), &TessaronAccountModel::subscriptionLocalURLChanged);
}
void TessaronAccountModel::setSubscriptionStatus(std::optional<TessaronSubscriptionLinkStatus> status) {
    publish(subscriptionStatus_, std::move(status), &TessaronAccountModel::subscriptionStatusChanged);
}
void TessaronAccountModel::setSubscriptionUnavailable(bool unavailable) {
    publish(subscriptionUnavailable_, unavailable, &TessaronAccountModel::subscriptionUnavailableChanged);
}
void TessaronAccountModel::setSubscriptionBusy(bool busy) {
    publish(isSubscriptionBusy_, busy, &TessaronAccountModel::isSubscriptionBusyChanged);
}

QCoro::Task<> TessaronAccountModel::saveSessionToken(QString token) {
    QPointer self(this);
    auto save = [store = services_.tokenStore, token] {
        if (store.save(token))
            return true;
        // An older token must not outlive the sign-in that replaced it.
        store.remove();
        return false;
    };
    const bool saved = co_await services_.keychain.run(std::move(save));
    if (self && !saved)
        log_.error(QStringLiteral("session token not stored; kept for this run"));
}

void TessaronAccountModel::forgetSessionToken() {
    token_.reset();
    inKeychain([store = services_.tokenStore] { store.remove(); });
}

QCoro::Task<TaskOutcome<QUuid>> TessaronAccountModel::readInstallationID() const {
    return outcomeOf(services_.keychain.run(services_.installationID));
}

QString TessaronAccountModel::errorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const TessaronAccountError& accountError) {
        return messageOf(accountError);
    } catch (const CancellationError&) {
        return messageOf(TessaronAccountError::network(QStringLiteral("cancelled")));
    } catch (...) {
        return messageOf(TessaronAccountError::server(0));
    }
}

QString TessaronAccountModel::otherDevicesErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const TessaronAccountError& accountError) {
        return messageOf(accountError);
    } catch (const CancellationError&) {
        return {};
    } catch (const TessaronError& other) {
        return TessaronErrorSanitizer::message(other);
    } catch (...) {
        return messageOf(TessaronAccountError::server(0));
    }
}

QCoro::Task<> TessaronAccountModel::refresh(TessaronSession* session, CancellationToken cancellation) {
    QPointer self(this);
    QPointer sessionRef(session);
    // Before the stored token is read a signed-in user looks signed out: nothing would be fetched. The wait
    // holds no mark, so a refresh cancelled while the keyring is slow keeps no later one away.
    co_await signInStateKnown();
    if (!self || cancellation.isCancelled())
        co_return;
    // A cancelled refresh still unwinding sends and changes nothing more: it turns no one away.
    if (isRefreshing_ && !runningRefresh_.isCancelled())
        co_return;
    const quint64 turn = ++refreshTurn_;
    isRefreshing_ = true;
    runningRefresh_ = cancellation;
    const auto release = qScopeGuard([self, turn] {
        if (self && self->refreshTurn_ == turn)
            self->isRefreshing_ = false;
    });
    if (!services_.client) {
        publish(providers_, std::optional<TessaronProviders>(), &TessaronAccountModel::providersChanged);
        co_return;
    }
    const auto client = *services_.client;
    if (!providers_) {
        auto providers = co_await outcomeOf(client.fetchProviders(cancellation));
        if (!self || cancellation.isCancelled())
            co_return;
        if (providers.value)
            publish(providers_, std::optional(*providers.value), &TessaronAccountModel::providersChanged);
    }
    const auto token = sessionToken();
    if (!token || cancellation.isCancelled())
        co_return;
    const auto generation = generation_;
    auto fetched = co_await outcomeOf(client.fetchAccount(*token, cancellation));
    if (!self || generation != generation_)
        co_return;
    if (fetched.value) {
        setAccount(std::move(fetched.value));
    } else {
        try {
            std::rethrow_exception(fetched.error);
        } catch (const TessaronAccountError& error) {
            if (error.kind() == TessaronAccountErrorKind::unauthorized) {
                ++generation_;
                forgetSessionToken();
                setAccount(std::nullopt);
                setSignedIn(false);
                co_return;
            }
        } catch (const CancellationError&) {
            co_return;
        } catch (...) {
        }
    }
    if (sessionRef && !didAttemptGrantRecovery_ && isSignedIn_ && !cancellation.isCancelled()) {
        // Spent as it starts, whatever it finds: a later refresh must not bring back a connection the user
        // removed in this run.
        didAttemptGrantRecovery_ = true;
        co_await recoverProfileFromGrant(sessionRef, *token, false, true, cancellation);
    }
}

void TessaronAccountModel::applyAuthSession(const TessaronAuthSession& authSession,
                                            TessaronSession* session) {
    ++generation_;
    token_ = authSession.sessionToken;
    saveSessionToken(authSession.sessionToken);
    setSignedIn(true);
    setAccount(authSession.account);
    showError(std::nullopt);
    QStringList evicted;
    for (const auto& device : authSession.evicted.value_or(QList<TessaronEvictedDevice>()))
        evicted.append(device.deviceName);
    setEvictedDeviceNames(std::move(evicted));
    auto flow = flow_;
    flow.step = TessaronLoginFlow::Step::done;
    setFlow(std::move(flow));
    // Queued, as a task would start: the caller lowers isBusy first.
    QMetaObject::invokeMethod(
        this,
        [self = QPointer(this), sessionRef = QPointer(session), token = authSession.sessionToken] {
            followUpSignIn(self, sessionRef, token);
        },
        Qt::QueuedConnection);
}

QCoro::Task<> TessaronAccountModel::followUpSignIn(QPointer<TessaronAccountModel> self,
                                                   QPointer<TessaronSession> session, QString token) {
    if (!self || !session)
        co_return;
    co_await session->redeemDeferredInvitation();
    if (!self || !session)
        co_return;
    if (!session->selectedSummary()) {
        co_await self->recoverProfileFromGrant(session, token, false, true);
        co_return;
    }
    const auto installation = co_await self->readInstallationID();
    if (self && session && installation.value && session->selectedID())
        co_await self->performLink(*session->selectedID(), *installation.value, token);
}

} // namespace tessaron
