#pragma once

#include "account/device_swap_presenting.hpp"

namespace tessaron::sign_in {

// The device-swap question and the cooldown notice, on the terminal. The answer is read at once; the
// completion arrives queued, as the dialogs' does.
class TerminalSwapPresenter final : public TessaronDeviceSwapPresenting {
public:
    void confirmSwap(TessaronDeviceSlot slot, std::optional<QString> deviceName,
                     std::function<void(bool)> done) override;
    void showCooldown(QString message, std::function<void()> done) override;

    // The user said no, or could not switch yet: no profile is coming.
    bool declined() const { return declined_; }

private:
    bool declined_ = false;
};

} // namespace tessaron::sign_in
