#include "session/tessaron_session.hpp"

#include "session/error_sanitizer.hpp"

#include <chrono>
#include <utility>

// Guards around a link's start and end: the connect watchdog, the auto-disconnect, and the handling of
// the error the system gives for a tunnel that went down by itself.

namespace tessaron {

namespace {

constexpr qsizetype maxLoggedDomainLength = 120;

// The error's domain as the connection log may show it: letters, digits, ".", "-" and "_" only.
QString loggableDomain(const QString& domain) {
    QString kept;
    for (const QChar c : domain) {
        if (c.isLetter() || c.isDigit() || c == u'.' || c == u'-' || c == u'_')
            kept.append(c);
    }
    return kept.left(maxLoggedDomainLength);
}

} // namespace

void TessaronSession::armConnectWatchdog(const QUuid& id, const QString& name) {
    disarmConnectWatchdog();
    // The node that last worked gets more patience: it is more likely to come up than to have failed.
    const Clock::Duration limit =
        isUntried(id) ? FailoverPolicy::connectTimeout : FailoverPolicy::connectTimeoutLastGood;
    connectingSince_ = services_.clock.now();
    connectWatchdogTask_.start([self = QPointer(this), target = ConnectWatchdogTarget{id, name, limit}](
                                   CancellationToken cancellation) -> QCoro::Task<> {
        return self->awaitConnectWatchdog(target, cancellation);
    });
}

void TessaronSession::disarmConnectWatchdog() {
    connectWatchdogTask_.cancel();
    connectingSince_.reset();
}

QCoro::Task<> TessaronSession::awaitConnectWatchdog(ConnectWatchdogTarget target,
                                                    CancellationToken cancellation) {
    QPointer self(this);
    co_await services_.clock.sleep(target.limit, cancellation);
    if (self && !cancellation.isCancelled())
        connectWatchdogFired(target);
}

void TessaronSession::connectWatchdogFired(const ConnectWatchdogTarget& target) {
    if (phase_ != TessaronLinkPhase::connecting || selectedID_ != target.id)
        return;
    if (manualStopRequested_ || isFailoverSwitching_)
        return;
    const qint64 elapsed = connectingSince_
                               ? connectingSince_->msecsTo(services_.clock.now()) / 1000
                               : std::chrono::duration_cast<std::chrono::seconds>(target.limit).count();
    services_.connectionLog.append(QStringLiteral("connect watchdog: %1 still connecting after %2 s")
                                       .arg(target.name, QString::number(elapsed)));
    // The tunnel keeps trying; failover decides whether to move on.
    applyFailoverEvent(FailoverPolicy::Event::connectFailed(target.id, TessaronFailoverCause::timedOut));
}

void TessaronSession::autoDisconnect(const QString& reason) {
    // The user's next connect starts failover afresh, also after a give-up on a link that fell by itself:
    // its spent budget would otherwise give the next connect up at its first failure.
    failoverResetPending_ = true;
    if (phase_ == TessaronLinkPhase::disconnected || phase_ == TessaronLinkPhase::disconnecting)
        return;
    services_.connectionLog.append(QStringLiteral("auto-disconnect: ") + reason);
    stopTunnel();
    setLastError(autoDisconnectNotice());
}

void TessaronSession::resetFailoverAfterGiveUp() {
    if (!std::exchange(failoverResetPending_, false))
        return;
    failover_ = FailoverPolicy{};
    services_.connectionLog.append(QStringLiteral("failover budget reset after auto-disconnect"));
}

void TessaronSession::handleDisconnectFailure(const PlatformError& error, TessaronTransport carrier) {
    // A new connect has begun since the link went down: the error belongs to the old one.
    if (phase_ != TessaronLinkPhase::disconnected)
        return;
    // The notice of an auto-disconnect says more than the error of the stop it caused.
    if (lastError_ != autoDisconnectNotice())
        setLastError(TessaronErrorSanitizer::message(error));
    handleConnectFailure(error, carrier);
    services_.connectionLog.append(QStringLiteral("disconnect failure: %1/%2")
                                       .arg(loggableDomain(error.domain()), QString::number(error.code())));
}

} // namespace tessaron
