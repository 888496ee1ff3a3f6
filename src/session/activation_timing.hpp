#pragma once

#include "platform/clock.hpp"

#include <QHash>
#include <QUuid>

#include <functional>

namespace tessaron {

// The timers of an extension activation: one-shot actions on the clock, each known by its id. A fired
// timer stays known until it is cancelled or everything is.
class TaskActivationTiming {
public:
    using Action = std::function<void()>;

    explicit TaskActivationTiming(Clock& clock)
        : clock_(clock) {}
    ~TaskActivationTiming();
    TaskActivationTiming(const TaskActivationTiming&) = delete;
    TaskActivationTiming& operator=(const TaskActivationTiming&) = delete;

    // Runs `action` once `delay` has passed, to the nanosecond.
    QUuid schedule(Clock::Duration delay, Action action);
    // Does nothing for an id it does not know.
    void cancel(const QUuid& id);
    void cancelAll();

private:
    Clock& clock_;
    QHash<QUuid, Clock::TimerId> tasks_;
};

} // namespace tessaron
