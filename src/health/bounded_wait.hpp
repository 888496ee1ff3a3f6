#pragma once

#include "platform/clock.hpp"

#include <qcoro/qcorotask.h>

#include <functional>

namespace tessaron {

// Waits for some work, but no longer than a deadline, without cancelling the work when the deadline
// passes. The caller learns which came first and is resumed exactly once, whichever way the race goes.
class TessaronBoundedWait {
public:
    enum class Outcome { finished, timedOut };

    // The work is started once and always runs to its end. It is kept alive by the wait itself, so a
    // capturing lambda coroutine is safe here.
    using Work = std::function<QCoro::Task<>()>;
    // Runs when the work ends after the deadline has already answered the caller.
    using LateHandler = std::function<void()>;

    explicit TessaronBoundedWait(Clock& clock)
        : clock_(&clock) {}

    // The wait keeps no reference to this object once started, and may outlive the clock.
    QCoro::Task<Outcome> run(Clock::Duration deadline, Work work, LateHandler onLate = {}) const;

private:
    Clock* clock_;
};

} // namespace tessaron
