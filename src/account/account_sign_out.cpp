#include "account/account_model.hpp"

#include "session/tessaron_session.hpp"

namespace tessaron {

QCoro::Task<> TessaronAccountModel::signOut(TessaronSession* session) {
    if (isBusy_)
        co_return;
    QPointer self(this);
    ++generation_;
    if (session) {
        co_await session->resetForSignOut();
        if (!self)
            co_return;
    }
    const auto token = sessionToken();
    if (services_.client && token) {
        co_await outcomeOf(services_.client->logout(*token));
        if (!self)
            co_return;
    }
    endAccountLocally();
    setEvictedDeviceNames({});
}

QCoro::Task<> TessaronAccountModel::deleteAccount(TessaronSession* session) {
    if (isBusy_ || !services_.client)
        co_return;
    const auto token = sessionToken();
    if (!token) {
        // Without a token nothing can be deleted; the user must sign in again to do it.
        ++generation_;
        setAccount(std::nullopt);
        setSignedIn(false);
        showError(TessaronAccountError(TessaronAccountErrorKind::unauthorized).userMessage());
        co_return;
    }
    QPointer self(this);
    QPointer sessionRef(session);
    setBusy(true);
    auto outcome = co_await outcomeOf(services_.client->deleteAccount(*token));
    if (!self)
        co_return;
    if (outcome.failed()) {
        failSignIn(errorText(outcome.error));
        co_return;
    }
    ++generation_;
    if (sessionRef) {
        co_await sessionRef->resetForSignOut();
        if (!self)
            co_return;
    }
    endAccountLocally();
    setBusy(false);
}

void TessaronAccountModel::endAccountLocally() {
    // Flows started while sign-out or deletion waited belong to the account that ends here.
    ++generation_;
    clearSubscriptionLinkState();
    // Links of earlier accounts too: their ids are not known any more.
    inKeychain([store = services_.linkStore] { store.removeAll(); });
    forgetSessionToken();
    setAccount(std::nullopt);
    setSignedIn(false);
    showError(std::nullopt);
    setFlow(TessaronLoginFlow{});
}

void TessaronAccountModel::clearSubscriptionLinkState() {
    if (account_)
        inKeychain([store = services_.linkStore, id = account_->id] { store.remove(id); });
    setSubscriptionLocalURL(std::nullopt);
    setSubscriptionStatus(std::nullopt);
    setSubscriptionUnavailable(false);
    showOtherDevicesError(std::nullopt);
}

QCoro::Task<> TessaronAccountModel::linkProfileIfSignedIn(TessaronSession* session) {
    QPointer self(this);
    QPointer sessionRef(session);
    co_await signInStateKnown();
    if (!self || !isSignedIn_ || !services_.client || !sessionRef)
        co_return;
    const auto token = sessionToken();
    if (!token)
        co_return;
    const auto installation = co_await readInstallationID();
    if (!self || !sessionRef || !installation.value || !sessionRef->selectedID())
        co_return;
    co_await performLink(*sessionRef->selectedID(), *installation.value, *token);
}

QCoro::Task<> TessaronAccountModel::performLink(QUuid profileID, QUuid installation, QString token) {
    if (!services_.client)
        co_return;
    QPointer self(this);
    const auto generation = generation_;
    auto outcome = co_await outcomeOf(services_.client->linkProfile(token, profileID, installation));
    if (!self || generation != generation_)
        co_return;
    if (outcome.failed())
        showError(errorText(outcome.error));
    else
        setAccount(std::move(outcome.value));
}

} // namespace tessaron
