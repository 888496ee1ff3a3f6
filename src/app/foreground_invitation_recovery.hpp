#pragma once

#include "widgets/scene_phase.hpp"

#include <functional>
#include <optional>

namespace tessaron {

// Runs `onActivation` each time the main window's scene becomes active again. The phase the window has
// when it first appears is only noted: the launch bootstrap covers it.
class ForegroundInvitationRecovery {
public:
    explicit ForegroundInvitationRecovery(std::function<void()> onActivation);

    void follow(ScenePhase phase);

private:
    std::function<void()> onActivation_;
    std::optional<ScenePhase> phase_;
};

} // namespace tessaron
