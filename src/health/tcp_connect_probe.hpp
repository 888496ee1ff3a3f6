#pragma once

#include "health/latency_monitor.hpp"
#include "health/latency_probe.hpp"
#include "platform/clock.hpp"

#include <chrono>

namespace tessaron {

// The session's probe: each measurement is one LatencyMonitor::tcpConnectMilliseconds.
class TcpConnectProbe final : public LatencyProbe {
public:
    explicit TcpConnectProbe(Clock& clock,
                             std::chrono::milliseconds deadline = LatencyMonitor::connectDeadline);

    QCoro::Task<std::optional<int>> measure(QString host, int port) override;

private:
    Clock* clock_;
    std::chrono::milliseconds deadline_;
};

} // namespace tessaron
