#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tessaron {

struct Confirmation {
    QString title;
    QString destructiveButton;
    // Empty for none.
    QString message = {};
};

// Asks window-modally, without blocking: the destructive button first, then "Cancel" (Escape). `confirmed`
// runs only for the destructive button.
void confirm(QWidget* parent, const Confirmation& confirmation, std::function<void()> confirmed);

} // namespace tessaron
