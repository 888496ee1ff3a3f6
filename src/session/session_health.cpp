#include "session/tessaron_session.hpp"

#include "session/error_sanitizer.hpp"

#include <chrono>

// The session's side of the link's health. The connection check, the connect watchdog, the tunnel-phase
// poll and failover fill in these operations; until then each does the least that keeps the session sound.

namespace tessaron {

namespace {

using namespace std::chrono_literals;

bool isTunnelUp(VpnStatus status) {
    return status == VpnStatus::connected || status == VpnStatus::reasserting;
}

} // namespace

void TessaronSession::startCheck(bool retry) {
    // The connection check fills in the reachability probe and its verdicts; a running check shows as
    // connected.
    if (!retry)
        checkCancelAttempts_ = 0;
    cancelCheckTasks();
    checkState_ = TessaronCheckState::running;
    setPhase(derivedPhase());
    assign(verifiedAt_, std::optional<QDateTime>(), &TessaronSession::verifiedAtChanged);
}

void TessaronSession::cancelCheckTasks() {
    checkToken_ = QUuid::createUuid();
    checkTask_.cancel();
    checkWatchdogTask_.cancel();
    recheckTask_.cancel();
    checkRetryTask_.cancel();
    healthCheckTask_.cancel();
}

void TessaronSession::armConnectWatchdog(const QUuid&, const QString&) {
    // The connect watchdog fills in the timed-out connect it reports to failover.
    disarmConnectWatchdog();
    connectingSince_ = services_.clock.now();
}

void TessaronSession::disarmConnectWatchdog() {
    connectWatchdogTask_.cancel();
    connectingSince_.reset();
}

void TessaronSession::updateTunnelPhasePolling() {
    if (isTunnelUp(vpnStatus_)) {
        tunnelPhasePollArmed_ = true;
        if (hostIdle_) {
            tunnelPhaseTimer_.reset();
            return;
        }
        const Clock::Duration interval = sceneIsActive_ && appIsActive_ ? 2s : 10s;
        if (tunnelPhaseTimer_ && tunnelPhaseTimer_->interval() == interval)
            return;
        tunnelPhaseTimer_.reset();
        pollTunnelPhase();
        tunnelPhaseTimer_ = services_.clock.repeat(interval, interval / 10, [self = QPointer(this)] {
            if (self)
                self->pollTunnelPhase();
        });
        return;
    }
    if (!std::exchange(tunnelPhasePollArmed_, false))
        return;
    tunnelPhaseTimer_.reset();
    assign(tunnelBlocked_, false, &TessaronSession::tunnelBlockedChanged);
    ++connectedRosterPullGeneration_;
    connectedRosterPullTask_.cancel();
    connectedRosterPullInFlight_ = false;
    connectedRosterRetryIDs_.clear();
}

void TessaronSession::pollTunnelPhase() {
    // The tunnel-phase poll adds the extension's phase report and routing line.
    if (isTunnelUp(vpnStatus_))
        pullRosterWhileConnected(services_.clock.now());
}

void TessaronSession::applyFailoverEvent(const FailoverPolicy::Event&) {
    // Failover in the session fills this in; until then a failing link stays where it is.
}

QCoro::Task<> TessaronSession::autoSelectForConnect() {
    // The automatic node choice fills this in; until then a connect uses the selected node.
    co_return;
}

void TessaronSession::handleConnectFailure(const std::exception&) {
    // Failover in the session fills this in; the failure itself is already reported to the user.
}

void TessaronSession::handleDisconnectFailure(const PlatformError& error) {
    // The disconnect-failure handling adds its failover event and log line.
    if (phase_ != TessaronLinkPhase::disconnected || lastError_ == autoDisconnectNotice())
        return;
    setLastError(TessaronErrorSanitizer::message(error));
}

} // namespace tessaron
