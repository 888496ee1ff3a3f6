#pragma once

#include "account/device_swap_presenting.hpp"

#include <QMessageBox>

namespace tessaron {

// The device-swap dialogs as message boxes on the application's windows.
class TessaronSystemDeviceSwapPresenter final : public TessaronDeviceSwapPresenting {
public:
    void confirmSwap(TessaronDeviceSlot slot, std::optional<QString> deviceName,
                     std::function<void(bool confirmed)> completion) override;
    void showCooldown(QString message, std::function<void()> completion) override;

    // The confirmation's informative text: the holder by name when known, else the kind of device.
    static QString takenText(TessaronDeviceSlot slot, const std::optional<QString>& deviceName);

    // Shows `box` (taking it over) window-modal on the active window, else on the main window; with
    // neither, application-modal from a queued call. `completion` receives the role of the button that
    // closed it, or InvalidRole when the box went away unanswered; always queued, exactly once.
    static void present(QMessageBox* box, std::function<void(QMessageBox::ButtonRole)> completion);
};

} // namespace tessaron
