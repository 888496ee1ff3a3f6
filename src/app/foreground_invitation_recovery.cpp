#include "app/foreground_invitation_recovery.hpp"

#include <utility>

namespace tessaron {

ForegroundInvitationRecovery::ForegroundInvitationRecovery(std::function<void()> onActivation)
    : onActivation_(std::move(onActivation)) {}

void ForegroundInvitationRecovery::follow(ScenePhase phase) {
    const auto previous = std::exchange(phase_, phase);
    if (previous && *previous != phase && phase == ScenePhase::active)
        onActivation_();
}

} // namespace tessaron
