#include "screens/frame_driver.hpp"

#include "platform/system_clock.hpp"

#include <QEvent>
#include <QTimeZone>
#include <QTimer>
#include <QWidget>

namespace tessaron {

double frameDate(const QDateTime& date) {
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return static_cast<double>(reference.msecsTo(date)) / 1000.0;
}

double currentFrameDate() {
    return frameDate(SystemClock::shared().now());
}

FrameDriver::FrameDriver(QWidget* widget, std::chrono::milliseconds interval)
    : QObject(widget)
    , widget_(widget)
    , timer_(new QTimer(widget)) {
    timer_->setInterval(interval);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, widget_, qOverload<>(&QWidget::update));
    widget_->installEventFilter(this);
}

void FrameDriver::setAnimates(bool animates) {
    if (animates_ == animates)
        return;
    animates_ = animates;
    update();
    widget_->update();
}

void FrameDriver::setFrameInterval(std::chrono::milliseconds interval) {
    // A new interval restarts a running timer; the same one must not.
    if (timer_->intervalAsDuration() != interval)
        timer_->setInterval(interval);
}

bool FrameDriver::isRunning() const {
    return timer_->isActive();
}

bool FrameDriver::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        update();
    return false;
}

void FrameDriver::update() {
    const bool run = animates_ && widget_->isVisible();
    if (run && !timer_->isActive())
        timer_->start();
    else if (!run && timer_->isActive())
        timer_->stop();
}

} // namespace tessaron
