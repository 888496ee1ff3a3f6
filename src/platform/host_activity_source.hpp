#pragma once

#include <functional>
#include <memory>

namespace tessaron {

// The host's own notices that it goes to sleep, turns its screens off, locks the screen or switches the
// user session away, and their returns. A notice that the system never sends is simply never reported.
class HostActivitySource {
public:
    enum class Event {
        systemWillSleep,
        systemDidWake,
        screensDidSleep,
        screensDidWake,
        screenLocked,
        screenUnlocked,
        sessionResignedActive,
        sessionBecameActive,
    };
    using Observer = std::function<void(Event)>;

    // Reports events for as long as it exists. It must not outlive its source.
    class Observation {
    public:
        virtual ~Observation() = default;
    };

    virtual ~HostActivitySource() = default;

    // Events arrive on the thread that owns the source.
    virtual std::unique_ptr<Observation> observe(Observer observer) = 0;
};

} // namespace tessaron
