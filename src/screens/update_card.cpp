#include "screens/update_card.hpp"

namespace tessaron {

TessaronUpdateCard::TessaronUpdateCard(QWidget* parent)
    : QWidget(parent) {
    // Hidden, a layout gives it neither size nor spacing.
    hide();
}

} // namespace tessaron
