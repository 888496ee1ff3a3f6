#include "account/account_model.hpp"

namespace tessaron {

namespace {

bool isKind(const std::exception_ptr& error, TessaronAccountErrorKind kind) {
    try {
        std::rethrow_exception(error);
    } catch (const TessaronAccountError& accountError) {
        return accountError.kind() == kind;
    } catch (...) {
        return false;
    }
}

} // namespace

std::optional<TessaronAccountModel::LinkFlowStart> TessaronAccountModel::beginLinkFlow(bool clearsError) {
    if (isSubscriptionBusy_ || !account_ || !services_.client)
        return std::nullopt;
    auto token = sessionToken();
    if (!token)
        return std::nullopt;
    setSubscriptionBusy(true);
    if (clearsError)
        showOtherDevicesError(std::nullopt);
    return LinkFlowStart{*services_.client, std::move(*token), account_->id, generation_};
}

bool TessaronAccountModel::endLinkFlow(const LinkFlowStart& start) {
    setSubscriptionBusy(false);
    return start.generation == generation_;
}

void TessaronAccountModel::showLinkFailure(const std::exception_ptr& error) {
    const QString text = otherDevicesErrorText(error);
    if (!text.isEmpty())
        showOtherDevicesError(text);
}

void TessaronAccountModel::forgetSubscriptionLink(const QString& accountID) {
    inKeychain([store = services_.linkStore, accountID] { store.remove(accountID); });
    setSubscriptionLocalURL(std::nullopt);
    setSubscriptionStatus(std::nullopt);
}

QCoro::Task<> TessaronAccountModel::refreshSubscriptionLink(CancellationToken cancellation) {
    const auto start = beginLinkFlow(false);
    if (!start)
        co_return;
    QPointer self(this);
    auto outcome = co_await outcomeOf(start->client.fetchSubscriptionLinkStatus(start->token, cancellation));
    if (!self)
        co_return;
    const bool active = outcome.value && outcome.value->active;
    std::optional<QUrl> stored;
    if (active && start->generation == generation_) {
        // Read while the flow still holds its busy flag, so no other link flow can land in between.
        auto read = [store = services_.linkStore, id = start->accountID] {
            return store.readURL(id);
        };
        stored = co_await services_.keychain.run(std::move(read));
        if (!self)
            co_return;
    }
    if (!endLinkFlow(*start))
        co_return;
    if (outcome.failed()) {
        if (isKind(outcome.error, TessaronAccountErrorKind::unavailable))
            setSubscriptionUnavailable(true);
        else
            showLinkFailure(outcome.error);
        co_return;
    }
    setSubscriptionStatus(std::move(outcome.value));
    setSubscriptionUnavailable(false);
    showOtherDevicesError(std::nullopt);
    if (!active)
        inKeychain([store = services_.linkStore, id = start->accountID] { store.remove(id); });
    setSubscriptionLocalURL(stored);
}

QCoro::Task<bool> TessaronAccountModel::createLink(LinkFlowStart start, CancellationToken cancellation) {
    QPointer self(this);
    auto outcome = co_await outcomeOf(
        start.client.createSubscriptionLink(start.token, subscriptionLinkLabel, std::move(cancellation)));
    if (!self || !endLinkFlow(start))
        co_return false;
    if (outcome.failed())
        showLinkFailure(outcome.error);
    else
        applyCreatedSubscriptionLink(*outcome.value, start.accountID);
    co_return !outcome.failed();
}

QCoro::Task<> TessaronAccountModel::createSubscriptionLink(CancellationToken cancellation) {
    if (auto start = beginLinkFlow(true))
        co_await createLink(std::move(*start), std::move(cancellation));
}

void TessaronAccountModel::applyCreatedSubscriptionLink(const TessaronSubscriptionLink& link,
                                                        const QString& accountID) {
    inKeychain([store = services_.linkStore, url = link.url, accountID] { store.write(url, accountID); });
    setSubscriptionLocalURL(link.url);
    setSubscriptionStatus(TessaronSubscriptionLinkStatus{.active = true,
                                                         .deviceName = link.deviceName,
                                                         .createdAt = link.createdAt,
                                                         .lastFetchedAt = std::nullopt});
    setSubscriptionUnavailable(false);
}

QCoro::Task<> TessaronAccountModel::replaceSubscriptionLink(CancellationToken cancellation) {
    auto start = beginLinkFlow(true);
    if (!start)
        co_return;
    QPointer self(this);
    auto removed = co_await outcomeOf(start->client.deleteSubscriptionLink(start->token, cancellation));
    if (!self)
        co_return;
    if (start->generation != generation_) {
        setSubscriptionBusy(false);
        co_return;
    }
    if (removed.failed()) {
        setSubscriptionBusy(false);
        showLinkFailure(removed.error);
        co_return;
    }
    // The old URL is dead at the service from here on, whatever the new request brings.
    forgetSubscriptionLink(start->accountID);
    co_await createLink(std::move(*start), std::move(cancellation));
}

QCoro::Task<> TessaronAccountModel::revokeSubscriptionLink(CancellationToken cancellation) {
    const auto start = beginLinkFlow(true);
    if (!start)
        co_return;
    QPointer self(this);
    auto removed = co_await outcomeOf(start->client.deleteSubscriptionLink(start->token, cancellation));
    if (!self || !endLinkFlow(*start))
        co_return;
    if (removed.failed())
        showLinkFailure(removed.error);
    else
        clearSubscriptionLinkState();
}

} // namespace tessaron
