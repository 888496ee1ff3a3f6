#include "account_screens/account_screen_model.hpp"

#include "account/account_model.hpp"
#include "platform/task_slot.hpp"
#include "session/tessaron_session.hpp"

namespace tessaron {

void startRefresh(TaskSlot& slot, AccountScreenModel& model, QPointer<TessaronSession> session) {
    slot.start([model = QPointer(&model), session](CancellationToken token) -> QCoro::Task<> {
        if (model)
            return model->refresh(session.data(), token);
        return []() -> QCoro::Task<> {
            co_return;
        }();
    });
}

TessaronAccountScreenModel::TessaronAccountScreenModel(TessaronAccountModel& model, QObject* parent)
    : AccountScreenModel(parent)
    , model_(model) {
    const auto forward = [this] {
        Q_EMIT changed();
    };
    connect(&model, &TessaronAccountModel::accountChanged, this, forward);
    connect(&model, &TessaronAccountModel::providersChanged, this, forward);
    connect(&model, &TessaronAccountModel::isBusyChanged, this, forward);
    connect(&model, &TessaronAccountModel::lastErrorChanged, this, forward);
    connect(&model, &TessaronAccountModel::flowChanged, this, forward);
    connect(&model, &TessaronAccountModel::lastEvictedDeviceNamesChanged, this, forward);
    connect(&model, &TessaronAccountModel::subscriptionLocalURLChanged, this, forward);
    connect(&model, &TessaronAccountModel::subscriptionStatusChanged, this, forward);
    connect(&model, &TessaronAccountModel::subscriptionUnavailableChanged, this, forward);
    connect(&model, &TessaronAccountModel::otherDevicesErrorChanged, this, forward);
    connect(&model, &TessaronAccountModel::isSubscriptionBusyChanged, this, forward);
}

const std::optional<TessaronAccount>& TessaronAccountScreenModel::account() const {
    return model_.account();
}
const std::optional<TessaronProviders>& TessaronAccountScreenModel::providers() const {
    return model_.providers();
}
bool TessaronAccountScreenModel::isServiceConfigured() const {
    return model_.isServiceConfigured();
}
bool TessaronAccountScreenModel::isBusy() const {
    return model_.isBusy();
}
const std::optional<QString>& TessaronAccountScreenModel::lastError() const {
    return model_.lastError();
}
bool TessaronAccountScreenModel::lastErrorIsOAuthCallback() const {
    return model_.lastErrorIsOAuthCallback();
}
const TessaronLoginFlow& TessaronAccountScreenModel::flow() const {
    return model_.flow();
}
const QStringList& TessaronAccountScreenModel::lastEvictedDeviceNames() const {
    return model_.lastEvictedDeviceNames();
}
const std::optional<QUrl>& TessaronAccountScreenModel::subscriptionLocalURL() const {
    return model_.subscriptionLocalURL();
}
const std::optional<TessaronSubscriptionLinkStatus>& TessaronAccountScreenModel::subscriptionStatus() const {
    return model_.subscriptionStatus();
}
bool TessaronAccountScreenModel::subscriptionUnavailable() const {
    return model_.subscriptionUnavailable();
}
const std::optional<QString>& TessaronAccountScreenModel::otherDevicesError() const {
    return model_.otherDevicesError();
}
bool TessaronAccountScreenModel::isSubscriptionBusy() const {
    return model_.isSubscriptionBusy();
}

void TessaronAccountScreenModel::setEmail(const QString& email) {
    model_.setEmail(email);
}
bool TessaronAccountScreenModel::acceptCode(const QString& text) {
    return model_.acceptCode(text);
}
void TessaronAccountScreenModel::countDownResend() {
    model_.countDownResend();
}
void TessaronAccountScreenModel::resetLoginFlow() {
    model_.resetLoginFlow();
}
void TessaronAccountScreenModel::cancelWebSignIn() {
    model_.cancelWebSignIn();
}

QCoro::Task<> TessaronAccountScreenModel::refresh(TessaronSession* session, CancellationToken cancellation) {
    return model_.refresh(session, std::move(cancellation));
}
QCoro::Task<> TessaronAccountScreenModel::startEmailSignIn() {
    return model_.startEmailSignIn();
}
QCoro::Task<> TessaronAccountScreenModel::verifyEmailCode(TessaronSession* session) {
    return model_.verifyEmailCode(session);
}
QCoro::Task<> TessaronAccountScreenModel::signIn(TessaronOAuthProvider provider, TessaronSession* session) {
    return model_.signIn(provider, session);
}
QCoro::Task<> TessaronAccountScreenModel::signOut(TessaronSession* session) {
    return model_.signOut(session);
}
QCoro::Task<> TessaronAccountScreenModel::deleteAccount(TessaronSession* session) {
    return model_.deleteAccount(session);
}
QCoro::Task<> TessaronAccountScreenModel::refreshSubscriptionLink(CancellationToken cancellation) {
    return model_.refreshSubscriptionLink(std::move(cancellation));
}
QCoro::Task<> TessaronAccountScreenModel::createSubscriptionLink() {
    return model_.createSubscriptionLink();
}
QCoro::Task<> TessaronAccountScreenModel::replaceSubscriptionLink() {
    return model_.replaceSubscriptionLink();
}
QCoro::Task<> TessaronAccountScreenModel::revokeSubscriptionLink() {
    return model_.revokeSubscriptionLink();
}

} // namespace tessaron
