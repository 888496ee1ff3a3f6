#include "account/account_model.hpp"

#include "session/tessaron_session.hpp"

namespace tessaron {

bool TessaronAccountModel::mayRecover(const TessaronSession* session, const QString& token) const {
    // Another flow owns the busy flag, or the account this token belonged to has ended.
    return services_.client && session && !session->selectedSummary() && !isBusy_ &&
           sessionToken() == token && account_ && account_->activeGrant();
}

QCoro::Task<> TessaronAccountModel::recoverProfileFromGrant(TessaronSession* sessionPointer, QString token,
                                                            bool deviceSwap, bool prompt,
                                                            CancellationToken cancellation) {
    QPointer self(this);
    QPointer session(sessionPointer);
    if (!mayRecover(session, token))
        co_return;
    const auto installation = co_await readInstallationID();
    if (!self || !installation.value || !mayRecover(session, token))
        co_return;
    const auto grant = account_->activeGrant();
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
        co_await self->recoverProfileFromGrant(session, token, true, true);
}

} // namespace tessaron
