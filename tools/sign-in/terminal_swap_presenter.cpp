#include "terminal_swap_presenter.hpp"

#include "account/system_device_swap_presenter.hpp"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

namespace tessaron::sign_in {

void TerminalSwapPresenter::confirmSwap(TessaronDeviceSlot slot, std::optional<QString> deviceName,
                                        std::function<void(bool)> done) {
    std::printf("Use Tessaron on this device?\n%s [y/N] ",
                qPrintable(TessaronSystemDeviceSwapPresenter::takenText(slot, deviceName)));
    std::fflush(stdout);
    std::string answer;
    const bool confirmed = std::getline(std::cin, answer) && (answer == "y" || answer == "Y");
    declined_ = !confirmed;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [done = std::move(done), confirmed] { done(confirmed); },
        Qt::QueuedConnection);
}

void TerminalSwapPresenter::showCooldown(QString message, std::function<void()> done) {
    std::printf("%s\n", qPrintable(message));
    std::fflush(stdout);
    declined_ = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(done), Qt::QueuedConnection);
}

} // namespace tessaron::sign_in
