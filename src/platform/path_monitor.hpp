#pragma once

#include <functional>
#include <memory>

namespace tessaron {

// Watches whether the machine has a usable network path. One monitor serves one watcher: it is started
// once and stops reporting when destroyed.
class PathMonitor {
public:
    enum class Status { satisfied, unsatisfied, requiresConnection };
    using UpdateHandler = std::function<void(Status)>;
    using Factory = std::function<std::unique_ptr<PathMonitor>()>;

    virtual ~PathMonitor() = default;

    // Reports the current status before returning, then every change, on the calling thread. The handler
    // must not destroy the monitor.
    virtual void start(UpdateHandler onUpdate) = 0;
};

} // namespace tessaron
