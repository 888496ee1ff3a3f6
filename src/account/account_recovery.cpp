#include "account/account_model.hpp"

#include "session/tessaron_session.hpp"

namespace tessaron {

QCoro::Task<> TessaronAccountModel::recoverProfileFromGrant(TessaronSession* session, QString token,
                                                            bool deviceSwap, bool prompt,
                                                            CancellationToken cancellation) {
    return recover(session, std::move(token), deviceSwap, prompt, std::move(cancellation), false);
}

QCoro::Task<> TessaronAccountModel::recover(QPointer<TessaronSession> session, QString token, bool deviceSwap,
                                            bool prompt, CancellationToken cancellation, bool fromRefresh) {
    if (!services_.client || !session || session->selectedSummary())
        co_return;
    // Another flow owns the busy flag, or the account this token belonged to has ended.
    if (isBusy_ || sessionToken() != token)
        co_return;
    const auto grant = account_ ? account_->activeGrant() : std::nullopt;
    if (!grant)
        co_return;
    const auto installation = readInstallationID();
    if (!installation.value)
        co_return;
    if (fromRefresh)
        didAttemptGrantRecovery_ = true;
    QPointer self(this);
    const auto generation = generation_;
    setBusy(true);
    auto outcome = co_await outcomeOf(services_.client->fetchProfile(
        token, grant->id, *installation.value, services_.deviceName(), deviceSwap, cancellation));
    if (!self)
        co_return;
    TaskOutcome<bool> installed;
    if (outcome.value && session && generation == generation_)
        installed = co_await outcomeOf(session->installAccountProfile(outcome.value->profile));
    if (!self)
        co_return;
    setBusy(false);
    const auto error = outcome.failed() ? outcome.error : installed.error;
    if (!error || generation != generation_)
        co_return;
    try {
        std::rethrow_exception(error);
    } catch (const TessaronAccountError& accountError) {
        if (const auto slotError = accountError.deviceSlotError()) {
            if (prompt)
                showDeviceSwap(*slotError, session, token);
            co_return;
        }
        showError(errorText(error));
    } catch (const CancellationError&) {
    } catch (...) {
        showError(errorText(error));
    }
}

void TessaronAccountModel::showDeviceSwap(const TessaronDeviceSlotError& error,
                                          QPointer<TessaronSession> session, const QString& token) {
    if (const auto* taken = error.taken()) {
        services_.deviceSwap.requestSwap({.slot = taken->slot,
                                          .deviceName = taken->deviceName,
                                          .retry = [self = QPointer(this), session, token] {
                                              return retryWithSwap(self, session, token);
                                          }});
    } else if (const auto* locked = error.locked()) {
        services_.deviceSwap.showCooldown(
            TessaronDeviceSlotError::cooldownText(locked->slot, locked->nextSwapAt));
    }
}

QCoro::Task<> TessaronAccountModel::retryWithSwap(QPointer<TessaronAccountModel> self,
                                                  QPointer<TessaronSession> session, QString token) {
    if (self && session)
        co_await self->recover(session, token, true, true, {}, false);
}

} // namespace tessaron
