#pragma once

#include "account/device_slot.hpp"

#include <QString>

#include <functional>
#include <optional>

namespace tessaron {

// Shows the two dialogs of a refused device slot. Each completion is called exactly once, queued on the
// main thread, never from inside the call that showed the dialog.
class TessaronDeviceSwapPresenting {
public:
    virtual ~TessaronDeviceSwapPresenting() = default;

    // Asks whether to move the slot to this computer; the completion receives true only for the switch.
    virtual void confirmSwap(TessaronDeviceSlot slot, std::optional<QString> deviceName,
                             std::function<void(bool confirmed)> completion) = 0;
    // Tells the user the slot is locked; the completion runs when the notice is dismissed.
    virtual void showCooldown(QString message, std::function<void()> completion) = 0;
};

} // namespace tessaron
