#pragma once

#include "account/device_slot.hpp"
#include "account/device_swap_presenting.hpp"
#include "platform/system_log.hpp"

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tessaron {

// A refused slot the user may move to this computer, and how to ask again once they agree.
struct TessaronPendingSwap {
    TessaronDeviceSlot slot;
    std::optional<QString> deviceName;
    // Repeats the refused request with the device-swap flag; runs on the main thread.
    std::function<QCoro::Task<>()> retry;
};

// Keeps the device-swap dialogs to one at a time: a request that arrives while one is up is dropped, not
// queued. Lives on the main thread.
class TessaronDeviceSwapCenter final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<QString> lockedMessage READ lockedMessage NOTIFY lockedMessageChanged)

public:
    // The presenter must outlive the center.
    explicit TessaronDeviceSwapCenter(TessaronDeviceSwapPresenting& presenter, QObject* parent = nullptr);

    // The confirmation on screen.
    const std::optional<TessaronPendingSwap>& pending() const { return pending_; }
    // The cooldown notice on screen.
    const std::optional<QString>& lockedMessage() const { return lockedMessage_; }

    void requestSwap(TessaronPendingSwap swap);
    void showCooldown(const QString& message);

Q_SIGNALS:
    void pendingChanged();
    void lockedMessageChanged(const std::optional<QString>& message);

private:
    void finishSwap(bool confirmed);
    void finishCooldown();
    bool dialogOnScreen() const { return pending_.has_value() || lockedOnScreen_; }

    TessaronDeviceSwapPresenting& presenter_;
    std::optional<TessaronPendingSwap> pending_;
    std::optional<QString> lockedMessage_;
    SystemLog log_{QStringLiteral("device-swap")};
    bool lockedOnScreen_ = false;
};

} // namespace tessaron
