#pragma once

namespace tessaron {

// Why the host may be idle. Each flag follows one pair of the host's notices.
struct HostActivityState {
    bool systemAsleep = false;
    bool displaysAsleep = false;
    bool screenLocked = false;
    bool sessionInactive = false;

    // Nobody can be using the link while any of them holds.
    bool isIdle() const { return systemAsleep || displaysAsleep || screenLocked || sessionInactive; }

    bool operator==(const HostActivityState&) const = default;
};

} // namespace tessaron
