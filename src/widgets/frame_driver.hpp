#pragma once

#include "widgets/frame_clock.hpp"

#include <QObject>

class QWidget;

namespace tessaron {

// The shared frame clock's date.
double currentFrameDate();

// Repaints a widget on the shared frame clock, but only while it is visible and allowed to animate; a
// hidden or still widget is no member of the clock at all.
class FrameDriver final : public QObject {
    Q_OBJECT
public:
    explicit FrameDriver(QWidget* widget, Clock::Duration interval = steadyFrameInterval);
    ~FrameDriver() override;

    void setAnimates(bool animates);
    // The time between frames: the steady pace unless a transition needs the display's.
    void setFrameInterval(Clock::Duration interval);
    bool animates() const { return animates_; }
    bool isRunning() const { return member_ != 0; }
    Clock::Duration frameInterval() const { return interval_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    QWidget* widget_;
    TessaronFrameClock& clock_;
    Clock::Duration interval_;
    TessaronFrameClock::Member member_ = 0;
    bool animates_ = false;
};

} // namespace tessaron
