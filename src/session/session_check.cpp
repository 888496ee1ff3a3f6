#include "session/tessaron_session.hpp"

#include <chrono>

// The connection check: the system's "connected" is not trusted until the reachability page answers
// through the tunnel. Every task captures the check token of its cycle and acts only while it is current.

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr auto checkWatchdogLimit = 25s;
constexpr auto systemCancelRetryWait = 1s;
// Retries after a system cancellation; the next cancellation counts as a failure.
constexpr int maxSystemCancelRetries = 3;
constexpr auto recheckWait = 30s;
constexpr int rechecksAfterFailure = 10;
constexpr auto periodicCheckWait = 120s;

} // namespace

void TessaronSession::startCheck(bool retry) {
    if (!retry)
        checkCancelAttempts_ = 0;
    cancelCheckTasks();
    const auto token = checkToken_;
    setCheckState(TessaronCheckState::running);
    assign(verifiedAt_, std::optional<QDateTime>(), &TessaronSession::verifiedAtChanged);
    // The watchdog first: a verdict that comes at once disarms it.
    checkWatchdogTask_.start([self = QPointer(this), token](CancellationToken cancellation) -> QCoro::Task<> {
        return self->awaitCheckWatchdog(token, cancellation);
    });
    checkTask_.start([self = QPointer(this), token](CancellationToken cancellation) -> QCoro::Task<> {
        return self->runCheck(token, cancellation);
    });
}

void TessaronSession::recheckConnection() {
    if (vpnStatus_ != VpnStatus::connected)
        return;
    setLastError(std::nullopt);
    startCheck(false);
}

void TessaronSession::cancelCheckTasks() {
    checkToken_ = QUuid::createUuid();
    checkTask_.cancel();
    checkWatchdogTask_.cancel();
    recheckTask_.cancel();
    checkRetryTask_.cancel();
    healthCheckTask_.cancel();
}

void TessaronSession::setCheckState(TessaronCheckState state) {
    checkState_ = state;
    setPhase(derivedPhase());
}

void TessaronSession::markVerified() {
    // A later pass of the same link keeps the time it was first verified.
    if (!verifiedAt_)
        assign(verifiedAt_, std::optional(services_.clock.now()), &TessaronSession::verifiedAtChanged);
}

QCoro::Task<> TessaronSession::runCheck(QUuid token, CancellationToken cancellation) {
    QPointer self(this);
    const auto checker = services_.reachability;
    const auto result = co_await checker.run(cancellation);
    if (self)
        handleCheckResult(result, token);
}

QCoro::Task<> TessaronSession::awaitCheckWatchdog(QUuid token, CancellationToken cancellation) {
    QPointer self(this);
    co_await services_.clock.sleep(checkWatchdogLimit, cancellation);
    if (self && !cancellation.isCancelled())
        checkWatchdogFired(token);
}

void TessaronSession::checkWatchdogFired(const QUuid& token) {
    if (token != checkToken_ || checkState_ != TessaronCheckState::running)
        return;
    services_.connectionLog.append(QStringLiteral("check watchdog fired"));
    handleCheckResult(TessaronProbeResult::failure, token);
}

void TessaronSession::handleCheckResult(TessaronProbeResult result, const QUuid& token) {
    if (token != checkToken_ || vpnStatus_ != VpnStatus::connected ||
        checkState_ != TessaronCheckState::running)
        return;
    if (result == TessaronProbeResult::success) {
        checkCancelAttempts_ = 0;
        checkWatchdogTask_.cancel();
        setCheckState(TessaronCheckState::passed);
        markVerified();
        if (selectedID_)
            recordFailoverRecovery(*selectedID_);
        armPeriodicCheck();
        return;
    }
    if (result == TessaronProbeResult::cancelled && checkCancelAttempts_ < maxSystemCancelRetries) {
        ++checkCancelAttempts_;
        checkWatchdogTask_.cancel();
        services_.connectionLog.append(QStringLiteral("check cancelled by system, retrying"));
        setCheckState(TessaronCheckState::idle);
        checkRetryTask_.start(
            [self = QPointer(this), token](CancellationToken cancellation) -> QCoro::Task<> {
                return self->awaitCheckRetry(token, cancellation);
            });
        return;
    }
    checkCancelAttempts_ = 0;
    checkWatchdogTask_.cancel();
    setCheckState(TessaronCheckState::failed);
    armRecheck(rechecksAfterFailure);
    if (selectedID_)
        applyFailoverEvent(FailoverPolicy::Event::checkFailed(*selectedID_, isUntried(*selectedID_)));
}

QCoro::Task<> TessaronSession::awaitCheckRetry(QUuid token, CancellationToken cancellation) {
    QPointer self(this);
    co_await services_.clock.sleep(systemCancelRetryWait, cancellation);
    if (!self || cancellation.isCancelled())
        co_return;
    if (token != checkToken_ || vpnStatus_ != VpnStatus::connected || checkState_ != TessaronCheckState::idle)
        co_return;
    // The retry keeps the count of cancellations in a row.
    startCheck(true);
}

void TessaronSession::armRecheck(int remaining) {
    const auto token = checkToken_;
    recheckTask_.start(
        [self = QPointer(this), token, remaining](CancellationToken cancellation) -> QCoro::Task<> {
            return self->awaitRecheck(token, remaining, cancellation);
        });
}

bool TessaronSession::checkIsCurrent(QUuid token, const CancellationToken& cancellation) const {
    return !cancellation.isCancelled() && token == checkToken_ && vpnStatus_ == VpnStatus::connected;
}

QCoro::Task<> TessaronSession::awaitRecheck(QUuid token, int remaining, CancellationToken cancellation) {
    QPointer self(this);
    co_await services_.clock.sleep(recheckWait, cancellation);
    if (!self || !self->checkIsCurrent(token, cancellation) || checkState_ != TessaronCheckState::failed)
        co_return;
    const auto checker = services_.reachability;
    const auto result = co_await checker.run(cancellation);
    if (!self || !self->checkIsCurrent(token, cancellation))
        co_return;
    switch (result) {
    case TessaronProbeResult::success:
        // A recovery on a re-check tells failover nothing: the node already failed once in this cycle.
        setCheckState(TessaronCheckState::passed);
        markVerified();
        armPeriodicCheck();
        break;
    case TessaronProbeResult::failure:
        if (remaining > 1)
            armRecheck(remaining - 1);
        else
            autoDisconnect(QStringLiteral("check failed %1x").arg(rechecksAfterFailure));
        break;
    case TessaronProbeResult::cancelled:
        break;
    }
}

void TessaronSession::armPeriodicCheck() {
    const auto token = checkToken_;
    healthCheckTask_.start([self = QPointer(this), token](CancellationToken cancellation) -> QCoro::Task<> {
        return self->awaitPeriodicCheck(token, cancellation);
    });
}

bool TessaronSession::mayRunPeriodicProbe() const {
    const bool lowPower = services_.lowPowerMode && services_.lowPowerMode();
    return checkState_ == TessaronCheckState::passed && sceneIsActive_ && !hostIdle_ && !lowPower;
}

QCoro::Task<> TessaronSession::awaitPeriodicCheck(QUuid token, CancellationToken cancellation) {
    QPointer self(this);
    co_await services_.clock.sleep(periodicCheckWait, cancellation);
    if (!self || !self->checkIsCurrent(token, cancellation))
        co_return;
    if (!mayRunPeriodicProbe()) {
        armPeriodicCheck();
        co_return;
    }
    const auto checker = services_.reachability;
    const auto result = co_await checker.run(cancellation);
    if (!self || !self->checkIsCurrent(token, cancellation))
        co_return;
    switch (result) {
    case TessaronProbeResult::success:
        armPeriodicCheck();
        break;
    case TessaronProbeResult::failure:
        setCheckState(TessaronCheckState::failed);
        services_.connectionLog.append(QStringLiteral("periodic check failed"));
        armRecheck(rechecksAfterFailure);
        break;
    case TessaronProbeResult::cancelled:
        break;
    }
}

void TessaronSession::recordFailoverRecovery(const QUuid& id) {
    failover_.handle(FailoverPolicy::Event::recovered(id), services_.clock.now(), {}, {}, {});
}

bool TessaronSession::isUntried(const QUuid& id) const {
    const auto lastGood = loadLastGood();
    return !lastGood || lastGood->profileID != id;
}

} // namespace tessaron
