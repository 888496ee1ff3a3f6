#include "support/fake_path_monitor.hpp"

#include <algorithm>

namespace tessaron::testing {

class FakePathMonitors::Monitor final : public PathMonitor {
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

FakePathMonitors::FakePathMonitors(Status initial)
    : network_(std::make_shared<Network>(Network{initial, {}})) {}

PathMonitor::Factory FakePathMonitors::factory() {
    return [network = network_] {
        return std::make_unique<Monitor>(network);
    };
}

void FakePathMonitors::setStatus(Status status) {
    network_->status = status;
    const auto monitors = network_->monitors;
    for (auto* handler : monitors) {
        if (std::ranges::find(network_->monitors, handler) != network_->monitors.end())
            (*handler)(status);
    }
}

} // namespace tessaron::testing
