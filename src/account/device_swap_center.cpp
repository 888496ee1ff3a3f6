#include "account/device_swap_center.hpp"

#include <QPointer>

namespace tessaron {

namespace {

// Owns the retry for as long as it runs: the center has forgotten the swap by then.
QCoro::Task<> runRetry(std::function<QCoro::Task<>()> retry) {
    co_await retry();
}

} // namespace

TessaronDeviceSwapCenter::TessaronDeviceSwapCenter(TessaronDeviceSwapPresenting& presenter, QObject* parent)
    : QObject(parent)
    , presenter_(presenter) {}

void TessaronDeviceSwapCenter::requestSwap(TessaronPendingSwap swap) {
    if (dialogOnScreen()) {
        log_.info(QStringLiteral("device-swap confirm dropped: another dialog is on screen"));
        return;
    }
    const auto slot = swap.slot;
    const auto deviceName = swap.deviceName;
    pending_ = std::move(swap);
    Q_EMIT pendingChanged();
    presenter_.confirmSwap(slot, deviceName, [self = QPointer(this)](bool confirmed) {
        if (self)
            self->finishSwap(confirmed);
    });
}

void TessaronDeviceSwapCenter::finishSwap(bool confirmed) {
    auto swap = std::exchange(pending_, std::nullopt);
    Q_EMIT pendingChanged();
    if (confirmed && swap && swap->retry)
        runRetry(std::move(swap->retry));
}

void TessaronDeviceSwapCenter::showCooldown(const QString& message) {
    if (dialogOnScreen()) {
        log_.info(QStringLiteral("device-swap cooldown notice dropped: another dialog is on screen"));
        return;
    }
    lockedOnScreen_ = true;
    lockedMessage_ = message;
    Q_EMIT lockedMessageChanged(lockedMessage_);
    presenter_.showCooldown(message, [self = QPointer(this)] {
        if (self)
            self->finishCooldown();
    });
}

void TessaronDeviceSwapCenter::finishCooldown() {
    lockedOnScreen_ = false;
    lockedMessage_.reset();
    Q_EMIT lockedMessageChanged(lockedMessage_);
}

} // namespace tessaron
