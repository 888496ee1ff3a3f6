#include "widgets/focus_keeper.hpp"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace tessaron {

TessaronFocusKeeper::TessaronFocusKeeper(QWidget& holder, Catch catches)
    : holder_(holder) {
    if (catches == Catch::whatTurnsOff)
        connect(qApp, &QApplication::focusChanged, this, &TessaronFocusKeeper::focusMoved);
}

TessaronFocusKeeper::~TessaronFocusKeeper() {
    release();
}

void TessaronFocusKeeper::park(QWidget* control) {
    if (!control || control->window()->focusWidget() != control)
        return;
    holdFor(control);
    holder_.setFocus(Qt::OtherFocusReason);
}

void TessaronFocusKeeper::owe(QWidget* control) {
    if (!control) {
        release();
        return;
    }
    if (control->isEnabled()) {
        release();
        control->setFocus(Qt::OtherFocusReason);
        return;
    }
    holdFor(control);
    holder_.setFocus(Qt::OtherFocusReason);
}

void TessaronFocusKeeper::holdFor(QWidget* control) {
    if (owed_ == control)
        return;
    release();
    owed_ = control;
    control->installEventFilter(this);
}

void TessaronFocusKeeper::release() {
    if (owed_)
        owed_->removeEventFilter(this);
    owed_ = nullptr;
}

bool TessaronFocusKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owed_ && event->type() == QEvent::EnabledChange && owed_->isEnabled()) {
        QWidget* control = owed_;
        release();
        const QWidget* focus = holder_.window()->focusWidget();
        if (!focus || focus == &holder_)
            control->setFocus(Qt::OtherFocusReason);
    }
    return QObject::eventFilter(watched, event);
}

// Qt has already handed the focus on, and only in an active window says so: the holder takes it from
// whatever got it.
void TessaronFocusKeeper::focusMoved(QWidget* old, QWidget* now) {
    if (old && now && !old->isEnabled() && holder_.isAncestorOf(old) && holder_.isAncestorOf(now)) {
        holdFor(old);
        holder_.setFocus(Qt::OtherFocusReason);
    }
}

} // namespace tessaron
