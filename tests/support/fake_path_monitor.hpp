#pragma once

#include "platform/path_monitor.hpp"

#include <algorithm>
#include <memory>
#include <vector>

namespace tessaron::testing {

// Network paths set by the test. Every monitor made by factory() reports the current status when it
// starts and each later change, until it is destroyed.
class FakePathMonitors {
public:
    using Status = PathMonitor::Status;

    explicit FakePathMonitors(Status initial = Status::unsatisfied)
        : network_(std::make_shared<Network>(Network{initial, {}})) {}

    PathMonitor::Factory factory() {
        return [network = network_] {
            return std::make_unique<Monitor>(network);
        };
    }
    void setStatus(Status status) {
        network_->status = status;
        // A handler may end other monitors: those no longer hear of the change.
        for (auto* handler : std::vector(network_->monitors)) {
            if (std::ranges::find(network_->monitors, handler) != network_->monitors.end())
                (*handler)(status);
        }
    }

    int live() const { return static_cast<int>(network_->monitors.size()); }

private:
    struct Network {
        Status status;
        std::vector<PathMonitor::UpdateHandler*> monitors;
    };

    class Monitor final : public PathMonitor {
    public:
        explicit Monitor(std::shared_ptr<Network> network)
            : network_(std::move(network)) {}
        ~Monitor() override { std::erase(network_->monitors, &handler_); }

        void start(UpdateHandler onUpdate) override {
            handler_ = std::move(onUpdate);
            network_->monitors.push_back(&handler_);
            handler_(network_->status);
        }

    private:
        std::shared_ptr<Network> network_;
        UpdateHandler handler_;
    };

    std::shared_ptr<Network> network_;
};

} // namespace tessaron::testing
