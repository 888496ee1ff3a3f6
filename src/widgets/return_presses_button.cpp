#include "widgets/return_presses_button.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

namespace tessaron {

namespace {

bool isReturn(const QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

class ReturnPressesFocusedButton final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* button = isReturn(event) ? qobject_cast<QAbstractButton*>(watched) : nullptr;
        if (!button || !button->isEnabled() || button->isCheckable())
            return false;
        button->click();
        return true;
    }
};

} // namespace

void pressFocusedButtonsOnReturn() {
    // One filter per application, which owns it.
    const QString name = QStringLiteral("tessaron-return-presses-focused-button");
    if (qApp->findChild<QObject*>(name, Qt::FindDirectChildrenOnly))
        return;
    auto* filter = new ReturnPressesFocusedButton(qApp);
    filter->setObjectName(name);
    qApp->installEventFilter(filter);
}

} // namespace tessaron
