#include "widgets/frame_driver.hpp"

#include <QEvent>
#include <QWidget>

namespace tessaron {

double currentFrameDate() {
    return TessaronFrameClock::shared().date();
}

FrameDriver::FrameDriver(QWidget* widget, Clock::Duration interval)
    : QObject(widget)
    , widget_(widget)
    , clock_(TessaronFrameClock::shared())
    , interval_(interval) {
    widget_->installEventFilter(this);
}

FrameDriver::~FrameDriver() {
    clock_.leave(member_);
}

void FrameDriver::setAnimates(bool animates) {
    if (animates_ == animates)
        return;
    animates_ = animates;
    update();
    widget_->update();
}

void FrameDriver::setFrameInterval(Clock::Duration interval) {
    interval_ = interval;
    clock_.setInterval(member_, interval);
}

bool FrameDriver::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        update();
    return false;
}

void FrameDriver::update() {
    const bool run = animates_ && widget_->isVisible();
    if (run && member_ == 0)
        member_ = clock_.join(interval_, [widget = widget_] { widget->update(); });
    else if (!run && member_ != 0)
        clock_.leave(std::exchange(member_, 0));
}

} // namespace tessaron
