#pragma once

#include "platform/clock.hpp"
#include "platform/path_monitor.hpp"

#include <qcoro/qcorotask.h>

#include <chrono>

namespace tessaron {

// Waits for a usable network path before a reconnection, so that it does not fail on a network that is
// still coming up after the host returns from idleness.
class NetworkPathWait {
public:
    NetworkPathWait(Clock& clock, PathMonitor::Factory makeMonitor)
        : clock_(&clock)
        , makeMonitor_(std::move(makeMonitor)) {}

    // True as soon as a path is satisfied (at once when it already is), false when `within` passes first.
    // It answers exactly once and cannot be cancelled. The clock must outlive the wait.
    QCoro::Task<bool> satisfied(std::chrono::duration<double> within) const;

private:
    Clock* clock_;
    PathMonitor::Factory makeMonitor_;
};

} // namespace tessaron
