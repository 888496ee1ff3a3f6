#pragma once

#include <QString>

namespace tessaron {

// An exclusive lock on a file that only a living process holds: the kernel releases it when the holder
// ends, however it ends, so nothing a crash or a power loss left in the file blocks the next taker.
class ProcessLock {
public:
    enum class Outcome { taken, heldElsewhere, failed };

    ProcessLock() = default;
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Takes the lock on `path` (created owner-only, never through a link) unless another process holds
    // it; a failure is logged with its reason. Kept until this object ends.
    Outcome take(const QString& path);

private:
    int descriptor_ = -1;
};

} // namespace tessaron
