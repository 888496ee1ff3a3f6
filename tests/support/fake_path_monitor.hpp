#pragma once

#include "platform/path_monitor.hpp"

#include <memory>
#include <vector>

namespace tessaron::testing {

// Network paths set by the test. Every monitor made by factory() reports the current status when it
// starts and each later change, until it is destroyed.
class FakePathMonitors {
public:
    using Status = PathMonitor::Status;

    explicit FakePathMonitors(Status initial = Status::unsatisfied);

    PathMonitor::Factory factory();
    void setStatus(Status status);

    int live() const { return static_cast<int>(network_->monitors.size()); }

private:
    struct Network {
        Status status;
        std::vector<PathMonitor::UpdateHandler*> monitors;
    };
    class Monitor;

    std::shared_ptr<Network> network_;
};

} // namespace tessaron::testing
