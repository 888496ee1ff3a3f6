#pragma once

#include "health/latency_monitor.hpp"
#include "health/latency_probe.hpp"
#include "platform/clock.hpp"

#include <chrono>
#include <string>

namespace tessaron {

// The session's probe: each measurement is one LatencyMonitor::tcpConnectMilliseconds.
class TcpConnectProbe final : public LatencyProbe {
public:
    // Names are looked up with the system's name servers unless others are named ("address:port",
    // separated by commas).
    explicit TcpConnectProbe(Clock& clock,
                             std::chrono::milliseconds deadline = LatencyMonitor::connectDeadline,
                             std::string nameServers = {});

    QCoro::Task<std::optional<int>> measure(QString host, int port) override;

private:
    Clock* clock_;
    std::chrono::milliseconds deadline_;
    std::string nameServers_;
};

} // namespace tessaron
