#pragma once

#include "platform/clock.hpp"

#include <functional>

namespace tessaron {

// One pending call on a clock, owned by a view: starting again replaces it, and it dies with its owner.
class ScheduledCall {
public:
    explicit ScheduledCall(Clock& clock)
        : clock_(clock) {}
    ~ScheduledCall() { cancel(); }
    ScheduledCall(const ScheduledCall&) = delete;
    ScheduledCall& operator=(const ScheduledCall&) = delete;

    void start(Clock::Duration delay, std::function<void()> call);
    void cancel();
    bool isPending() const { return id_ != 0; }

private:
    Clock& clock_;
    Clock::TimerId id_ = 0;
};

} // namespace tessaron
