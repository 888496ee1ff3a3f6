#pragma once

#include "session/activation_timing.hpp"

#include <QHash>

namespace tessaron {

// Activation timers on the clock, to the nanosecond.
class TaskActivationTiming final : public ActivationTiming {
public:
    explicit TaskActivationTiming(Clock& clock)
        : clock_(clock) {}
    ~TaskActivationTiming() override;
    TaskActivationTiming(const TaskActivationTiming&) = delete;
    TaskActivationTiming& operator=(const TaskActivationTiming&) = delete;

    QUuid schedule(Clock::Duration delay, Action action) override;
    void cancel(const QUuid& id) override;
    void cancelAll() override;

private:
    Clock& clock_;
    QHash<QUuid, Clock::TimerId> tasks_;
};

} // namespace tessaron
