#pragma once

#include "platform/host_activity_source.hpp"
#include "session/host_activity_state.hpp"

#include <functional>
#include <memory>

namespace tessaron {

// Turns the host's sleep, screen, lock and session notices into one idle state.
class HostActivityMonitor {
public:
    using ChangeHandler = std::function<void(const HostActivityState&)>;

    // The source must outlive the monitor.
    explicit HostActivityMonitor(HostActivitySource& source)
        : source_(source) {}
    HostActivityMonitor(const HostActivityMonitor&) = delete;
    HostActivityMonitor& operator=(const HostActivityMonitor&) = delete;

    const HostActivityState& state() const { return state_; }
    bool isRunning() const { return observation_ != nullptr; }

    // Told every change of the state, and nothing else.
    void setOnChange(ChangeHandler onChange) { onChange_ = std::move(onChange); }

    // Starts listening; a second call does nothing.
    void start();

    // For when the application comes to the front: the user is plainly there, whatever notice was missed
    // (a wake that came while the application was suspended). Reports the cleared state when any flag was
    // set while the monitor runs.
    void clearIdleFlags();

private:
    void apply(HostActivitySource::Event event);
    void update(const HostActivityState& next);

    HostActivitySource& source_;
    HostActivityState state_;
    ChangeHandler onChange_;
    std::unique_ptr<HostActivitySource::Observation> observation_;
};

} // namespace tessaron
