#include "session/idle_disconnect_policy.hpp"

namespace tessaron {

namespace {

bool linkIsUpOrComing(TessaronLinkPhase phase) {
    return phase != TessaronLinkPhase::disconnected && phase != TessaronLinkPhase::disconnecting;
}

} // namespace

IdleDisconnectPolicy::Decision IdleDisconnectPolicy::evaluate(const Inputs& inputs) const {
    if (!inputs.idleDisconnect)
        return {Action::none, *this};
    if (inputs.hostIdle && linkIsUpOrComing(inputs.phase)) {
        auto next = *this;
        next.disconnectedForIdle = true;
        next.generationAtStop = inputs.userLinkIntentGeneration;
        return {Action::disconnect, next};
    }
    if (!inputs.hostIdle && disconnectedForIdle) {
        auto next = *this;
        next.disconnectedForIdle = false;
        next.resumedAt = inputs.now;
        return {Action::reconnectAfterPathWait, next};
    }
    return {Action::none, *this};
}

bool IdleDisconnectPolicy::shouldReconnect(TessaronLinkPhase phase, bool hostIdle,
                                           qint64 userLinkIntentGeneration) const {
    return phase == TessaronLinkPhase::disconnected && !hostIdle &&
           userLinkIntentGeneration == generationAtStop;
}

} // namespace tessaron
