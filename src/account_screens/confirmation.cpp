#include "account_screens/confirmation.hpp"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tessaron {

void confirm(QWidget* parent, const Confirmation& confirmation, std::function<void()> confirmed) {
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setTextFormat(Qt::PlainText);
    box->setText(confirmation.title);
    if (!confirmation.message.isEmpty())
        box->setInformativeText(confirmation.message);
    auto* destructive = box->addButton(confirmation.destructiveButton, QMessageBox::DestructiveRole);
    auto* cancel = box->addButton(QCoreApplication::translate("Tessaron", "Cancel"), QMessageBox::RejectRole);
    box->setEscapeButton(cancel);
    box->setDefaultButton(cancel);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [destructive, confirmed = std::move(confirmed)](QAbstractButton* clicked) {
                         if (clicked == destructive)
                             confirmed();
                     });
    box->open();
}

} // namespace tessaron
