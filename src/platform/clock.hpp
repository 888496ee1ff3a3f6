#pragma once

#include "platform/cancellation.hpp"

#include <QDateTime>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>

namespace tessaron {

class RepeatingTimer;

// Everything that waits or stamps time goes through a Clock, so that tests can run a 300 s rule in
// microseconds. A clock and everything scheduled on it belong to one thread.
class Clock {
public:
    using Duration = std::chrono::nanoseconds;
    using TimerId = quint64;

    Clock();
    virtual ~Clock();
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    // The wall date, for stamps that are stored or shown.
    virtual QDateTime now() const = 0;
    // A steady reading for measuring elapsed time; its origin means nothing.
    virtual Duration monotonic() const = 0;

    // Runs `fire` once the monotonic reading reaches `deadline`. Entries run in deadline order, then in the
    // order they were scheduled. `tolerance` lets the clock fire that much late to save wake-ups.
    virtual TimerId schedule(Duration deadline, Duration tolerance, std::function<void()> fire) = 0;
    virtual void unschedule(TimerId id) = 0;

    // Suspends the awaiting coroutine for `duration`. Cancellation wakes it early; an interrupted sleep is
    // not an error, so callers check their token afterwards. A sleep may outlive its clock: one cancelled
    // after the clock is gone still wakes, on its own thread's event loop.
    QCoro::Task<> sleep(Duration duration, CancellationToken cancellation = {});

    std::unique_ptr<RepeatingTimer> repeat(Duration interval, Duration tolerance, std::function<void()> tick);

private:
    // Expires with the clock, so that work which outlives it can tell.
    std::shared_ptr<Clock*> lifetime_;
};

// Calls `tick` every `interval` until destroyed. Missed ticks are skipped, not run in a burst.
// It is safe to destroy the timer from inside its own tick.
class RepeatingTimer {
public:
    RepeatingTimer(Clock& clock, Clock::Duration interval, Clock::Duration tolerance,
                   std::function<void()> tick);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

    Clock::Duration interval() const { return interval_; }
    Clock::Duration tolerance() const { return tolerance_; }

private:
    void arm();
    void fire();

    Clock& clock_;
    Clock::Duration interval_;
    Clock::Duration tolerance_;
    std::function<void()> tick_;
    Clock::Duration deadline_;
    Clock::TimerId timer_ = 0;
};

} // namespace tessaron
