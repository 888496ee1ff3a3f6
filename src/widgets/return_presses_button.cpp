#include "widgets/return_presses_button.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>

#include <mutex>

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
    static std::once_flag installed;
    std::call_once(installed, [] { qApp->installEventFilter(new ReturnPressesFocusedButton); });
}

} // namespace tessaron
