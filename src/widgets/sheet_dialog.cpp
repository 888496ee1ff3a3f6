#include "widgets/sheet_dialog.hpp"

#include "widgets/return_presses_button.hpp"

#include <QApplication>
#include <QGuiApplication>
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
    pressFocusedButtonsOnReturn();
    // A control turned off while the sheet works hands its focus on to the next one, often Cancel, where
    // the person's next Return would close the sheet: the sheet keeps the focus instead, and gives it back
    // to the control once it works again (the field of a refused code, to correct it).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old && now && !old->isEnabled() && isAncestorOf(old) && isAncestorOf(now)) {
            setFocus(Qt::OtherFocusReason);
            parkedFrom_ = old;
            old->installEventFilter(this);
        }
    });
}

// The base class's destructor moves the focus as it deletes the children: by then this is no longer a sheet.
TessaronSheetDialog::~TessaronSheetDialog() {
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

bool TessaronSheetDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parkedFrom_ && event->type() == QEvent::EnabledChange && parkedFrom_->isEnabled()) {
        parkedFrom_->removeEventFilter(this);
        if (focusWidget() == this || !focusWidget())
            parkedFrom_->setFocus(Qt::OtherFocusReason);
        parkedFrom_ = nullptr;
    }
    return QDialog::eventFilter(watched, event);
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
    const int narrowed = std::min(width(), std::max(minimumWidth(), roomOnScreen(*this).width()));
    if (fitted != height() || narrowed != width())
        resize(narrowed, fitted);
    keepWithinScreen(*this);
}

QSize roomOnScreen(const QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const QMargins assumed = assumedFrame();
    const QSize frame = window.isVisible()
                            ? window.frameGeometry().size() - window.size()
                            : QSize(assumed.left() + assumed.right(), assumed.top() + assumed.bottom());
    return (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
}

QMargins assumedFrame() {
    return {4, 28, 4, 4};
}

QSize boundedByScreen(const QWidget& window, QSize wanted) {
    return wanted.boundedTo(roomOnScreen(window));
}

void keepWithinScreen(QWidget& window) {
    const QRect screen = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    const int overflow = frame.bottom() - screen.bottom();
    const int y = overflow > 0 ? std::max(screen.top(), window.y() - overflow) : window.y();
    // A sheet centred over a narrow window may reach past either side of a small screen.
    const int x =
        std::clamp(frame.left(), screen.left(), std::max(screen.left(), screen.right() - frame.width() + 1)) +
        (window.x() - frame.left());
    if (x != window.x() || y != window.y())
        window.move(x, y);
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
