#include "session/host_activity_monitor.hpp"

namespace tessaron {

void HostActivityMonitor::start() {
    if (observation_)
        return;
    observation_ = source_.observe([this](HostActivitySource::Event event) { apply(event); });
}

void HostActivityMonitor::clearIdleFlags() {
    if (isRunning())
        update(HostActivityState{});
}

void HostActivityMonitor::apply(HostActivitySource::Event event) {
    using Event = HostActivitySource::Event;
    auto next = state_;
    switch (event) {
    case Event::systemWillSleep:
    case Event::systemDidWake:
        next.systemAsleep = event == Event::systemWillSleep;
        break;
    case Event::screensDidSleep:
    case Event::screensDidWake:
        next.displaysAsleep = event == Event::screensDidSleep;
        break;
    case Event::screenLocked:
    case Event::screenUnlocked:
        next.screenLocked = event == Event::screenLocked;
        break;
    case Event::sessionResignedActive:
    case Event::sessionBecameActive:
        next.sessionInactive = event == Event::sessionResignedActive;
        break;
    }
    update(next);
}

void HostActivityMonitor::update(const HostActivityState& next) {
    if (next == state_)
        return;
    state_ = next;
    if (onChange_)
        onChange_(state_);
}

} // namespace tessaron
