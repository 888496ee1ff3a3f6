#include "session/tessaron_session.hpp"

namespace tessaron {

void TessaronSession::evaluateIdlePolicy() {
    const auto decision = idlePolicy_.evaluate(
        {idleDisconnect_, hostIdle_, phase_, userLinkIntentGeneration_, services_.clock.now()});
    // Kept before acting: the stop applies a status, which evaluates the policy again.
    idlePolicy_ = decision.next;
    switch (decision.action) {
    case IdleDisconnectPolicy::Action::none:
        return;
    case IdleDisconnectPolicy::Action::disconnect:
        services_.connectionLog.append(IdleDisconnectPolicy::disconnectLogLine);
        failureAdoptionWatch_.clear();
        stopTunnel();
        return;
    case IdleDisconnectPolicy::Action::reconnectAfterPathWait:
        idleReconnectTask_.start([self = QPointer(this)](CancellationToken cancellation) -> QCoro::Task<> {
            return self->reconnectAfterIdle(cancellation);
        });
        return;
    }
}

QCoro::Task<> TessaronSession::reconnectAfterIdle(CancellationToken cancellation) {
    QPointer self(this);
    // A reconnection on a network still coming up would only fail; without one after the wait, the connect
    // reports why.
    co_await pathWait_.satisfied(IdleDisconnectPolicy::pathWait);
    if (!self || cancellation.isCancelled())
        co_return;
    if (idlePolicy_.shouldReconnect(phase_, hostIdle_, userLinkIntentGeneration_))
        co_await connect();
}

} // namespace tessaron
