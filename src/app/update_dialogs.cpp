#include "app/update_dialogs.hpp"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tessaron {

namespace {

QString text(const char* source) {
    return QCoreApplication::translate("UpdateDialogs", source);
}

QMessageBox* messageBox(const QString& title, const QString& message) {
    auto* box = new QMessageBox(QMessageBox::Information, title, message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

} // namespace

MessageBoxUpdateDialogs::MessageBoxUpdateDialogs(QString installedVersion)
    : installedVersion_(std::move(installedVersion)) {}

void MessageBoxUpdateDialogs::showFound(const FoundUpdate& update, std::function<void()> download) {
    auto* box = messageBox(
        text("Update available"),
        text("Tessaron %1 is available. You have version %2.").arg(update.version, installedVersion_));
    auto* downloadButton = box->addButton(text("Download"), QMessageBox::AcceptRole);
    box->addButton(text("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(downloadButton);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [downloadButton, download](QAbstractButton* clicked) {
                         if (clicked == downloadButton)
                             download();
                     });
    box->open();
}

void MessageBoxUpdateDialogs::showUpToDate() {
    messageBox(text("You're up to date"), text("Tessaron %1 is the newest version.").arg(installedVersion_))
        ->open();
}

void MessageBoxUpdateDialogs::showCheckFailed() {
    auto* box = messageBox(text("Update check failed"),
                           text("Tessaron could not reach its release information. Try again later."));
    box->setIcon(QMessageBox::Warning);
    box->open();
}

} // namespace tessaron
