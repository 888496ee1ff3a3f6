#include "screens/sheet_dialog.hpp"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLayout>
#include <QScreen>

#include <algorithm>

namespace tessaron {

TessaronSheetDialog::TessaronSheetDialog(QWidget* parent)
    : QDialog(parent) {
    // The shortcuts of the window it covers (Settings…, Quit) work while the sheet has the focus.
    if (parent)
        addActions(parent->window()->actions());
}

bool TessaronSheetDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // After the layout took the change in: a step, a message line or a page that came or went.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show)
        fitToContent();
    return handled;
}

void TessaronSheetDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A field took its Return already; what reaches the sheet is the focused button's, or nobody's.
        auto* button = qobject_cast<QAbstractButton*>(focusWidget());
        if (button && button->isEnabled() && !button->isCheckable())
            button->click();
        else
            event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TessaronSheetDialog::fitToContent() {
    if (!layout())
        return;
    const int content = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                      : layout()->totalSizeHint().height();
    const int titleBar = frameGeometry().height() - height();
    const int room = std::max(minimumHeight(), screen()->availableGeometry().height() - titleBar);
    const int fitted = std::clamp(content, minimumHeight(), std::min(room, maximumHeight()));
    if (fitted != height())
        resize(width(), fitted);
    keepWithinScreen(*this);
}

void keepWithinScreen(QWidget& window) {
    const QRect screen = window.screen()->availableGeometry();
    const int overflow = window.frameGeometry().bottom() - screen.bottom();
    if (overflow > 0)
        window.move(window.x(), std::max(screen.top(), window.y() - overflow));
}

TessaronSheetScrollArea::TessaronSheetScrollArea(QWidget* parent)
    : QScrollArea(parent) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes from control to control (the column follows it), never onto the unnamed column itself.
    setFocusPolicy(Qt::NoFocus);
}

QSize TessaronSheetScrollArea::sizeHint() const {
    const QWidget* content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    const QSize wanted = content->sizeHint();
    const int width = viewport()->width();
    const int height = content->hasHeightForWidth() ? content->heightForWidth(width) : wanted.height();
    return {wanted.width(), height};
}

bool TessaronSheetScrollArea::eventFilter(QObject* watched, QEvent* event) {
    // The content's own layout changed: the sheet around it measures again.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

} // namespace tessaron
