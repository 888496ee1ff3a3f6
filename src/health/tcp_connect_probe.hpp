#pragma once

#include "health/latency_probe.hpp"
#include "platform/clock.hpp"

#include <chrono>

namespace tessaron {

// Measures the time a TCP connection to a node takes to become ready: name resolution (for a name) and
// the handshake, nothing else. No data is sent; the connection is closed as soon as it is ready. The work
// runs on a worker thread, so neither a slow resolver nor a slow peer holds up the caller's thread.
class TcpConnectProbe final : public LatencyProbe {
public:
    static constexpr std::chrono::milliseconds defaultDeadline{3000};

    // A measurement may outlive the probe and the clock: it answers its caller once its worker is done.
    explicit TcpConnectProbe(Clock& clock, std::chrono::milliseconds deadline = defaultDeadline);

    // None for a port outside 1 to 65535, a refused or failed connection, or no answer within the deadline.
    QCoro::Task<std::optional<int>> measure(QString host, int port) override;

private:
    Clock* clock_;
    std::chrono::milliseconds deadline_;
};

} // namespace tessaron
