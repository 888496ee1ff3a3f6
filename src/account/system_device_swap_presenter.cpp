#include "account/system_device_swap_presenter.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>

#include <memory>

namespace tessaron {

namespace {

QString localized(const char* text) {
    return QCoreApplication::translate("TessaronDeviceSwap", text);
}

// The window the dialogs belong to: the one the user works in, else the application's main window.
QWidget* owningWindow() {
    // A dialog that just closed may still count as active until it is deleted.
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible())
        return active;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == u"main" && widget->isVisible())
            return widget;
    }
    return nullptr;
}

void queue(std::function<void()> call) {
    QMetaObject::invokeMethod(qApp, std::move(call), Qt::QueuedConnection);
}

} // namespace

void TessaronSystemDeviceSwapPresenter::confirmSwap(TessaronDeviceSlot slot,
                                                    std::optional<QString> deviceName,
                                                    std::function<void(bool confirmed)> completion) {
    auto* box = new QMessageBox;
    box->setText(localized(QT_TRANSLATE_NOOP("TessaronDeviceSwap", "Use Tessaron on this device?")));
    box->setInformativeText(takenText(slot, deviceName));
    QPushButton* switchButton = box->addButton(
        localized(QT_TRANSLATE_NOOP("TessaronDeviceSwap", "Switch to This Device")), QMessageBox::AcceptRole);
    QPushButton* cancelButton =
        box->addButton(localized(QT_TRANSLATE_NOOP("TessaronDeviceSwap", "Cancel")), QMessageBox::RejectRole);
    box->setDefaultButton(switchButton);
    box->setEscapeButton(cancelButton);
    present(box, [completion = std::move(completion)](QMessageBox::ButtonRole role) {
        completion(role == QMessageBox::AcceptRole);
    });
}

void TessaronSystemDeviceSwapPresenter::showCooldown(QString message, std::function<void()> completion) {
    auto* box = new QMessageBox;
    box->setText(localized(QT_TRANSLATE_NOOP("TessaronDeviceSwap", "Tessaron")));
    box->setInformativeText(message);
    QPushButton* ok =
        box->addButton(localized(QT_TRANSLATE_NOOP("TessaronDeviceSwap", "OK")), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    present(box, [completion = std::move(completion)](QMessageBox::ButtonRole) { completion(); });
}

QString TessaronSystemDeviceSwapPresenter::takenText(TessaronDeviceSlot slot,
                                                     const std::optional<QString>& deviceName) {
    if (deviceName && !deviceName->isEmpty()) {
        return localized(QT_TRANSLATE_NOOP(
                             "TessaronDeviceSwap",
                             "Tessaron is already set up on \u201c%1\u201d. Switching signs that device "
                             "out. You can switch once every 30 days."))
            .arg(*deviceName);
    }
    if (slot == TessaronDeviceSlot::computer) {
        return localized(QT_TRANSLATE_NOOP(
            "TessaronDeviceSwap", "Tessaron is already set up on another Mac. Switching signs that Mac out. "
                                  "You can switch once every 30 days."));
    }
    return localized(QT_TRANSLATE_NOOP(
        "TessaronDeviceSwap", "Tessaron is already set up on another iPhone or iPad. Switching signs that "
                              "device out. You can switch once every 30 days."));
}

void TessaronSystemDeviceSwapPresenter::present(QMessageBox* box,
                                                std::function<void(QMessageBox::ButtonRole)> completion) {
    // Answered once: by a button, or by the box going away with the window it belongs to.
    auto answer = std::make_shared<std::function<void(QMessageBox::ButtonRole)>>(std::move(completion));
    const auto finish = [answer](QMessageBox::ButtonRole role) {
        if (!*answer)
            return;
        queue([call = std::exchange(*answer, {}), role] { call(role); });
    };
    QObject::connect(box, &QDialog::finished, box, [box, finish] {
        QAbstractButton* clicked = box->clickedButton();
        finish(clicked ? box->buttonRole(clicked) : QMessageBox::InvalidRole);
        box->deleteLater();
    });
    QObject::connect(box, &QObject::destroyed, [finish] { finish(QMessageBox::InvalidRole); });

    if (QWidget* window = owningWindow()) {
        box->setParent(window, box->windowFlags() | Qt::Dialog);
        box->setWindowModality(Qt::WindowModal);
        box->show();
        return;
    }
    box->setWindowModality(Qt::ApplicationModal);
    queue([box = QPointer(box)] {
        if (!box)
            return;
        // Nothing of the application is in front: bring the question there.
        box->show();
        box->raise();
        box->activateWindow();
    });
}

} // namespace tessaron
