#include "support/fake_vpn_connection.hpp"

#include <QPointer>

namespace tessaron::testing {

FakeVpnConnection::FakeVpnConnection(Clock& clock, VpnStatus initial, QObject* parent)
    : VpnConnection(parent)
    , clock_(clock)
    , status_(initial)
    , startSteps_{{Clock::Duration::zero(), VpnStatus::connecting}}
    , stopSteps_{{Clock::Duration::zero(), VpnStatus::disconnecting},
                 {Clock::Duration::zero(), VpnStatus::disconnected}} {}

FakeVpnConnection::~FakeVpnConnection() {
    dropPendingSteps();
}

void FakeVpnConnection::setStatus(VpnStatus status) {
    if (status == status_)
        return;
    status_ = status;
    Q_EMIT statusChanged(status);
}

QCoro::Task<> FakeVpnConnection::startTunnel() {
    ++startCount_;
    if (startFailure_)
        std::rethrow_exception(std::exchange(startFailure_, nullptr));
    lastError_.reset();
    play(startSteps_);
    co_return;
}

void FakeVpnConnection::stopTunnel() {
    ++stopCount_;
    if (isLive(status_))
        play(stopSteps_);
}

QCoro::Task<std::optional<PlatformError>> FakeVpnConnection::lastDisconnectError() {
    co_return lastError_;
}

QCoro::Task<std::optional<QByteArray>> FakeVpnConnection::sendProviderMessage(QByteArray message) {
    sentMessages_.append(message);
    if (!isLive(status_))
        throw VpnError(VpnErrorKind::connectionFailed);
    co_return replies_.value(message);
}

void FakeVpnConnection::play(const QList<Step>& steps) {
    dropPendingSteps();
    const auto start = clock_.monotonic();
    for (const auto& step : steps) {
        if (step.after <= Clock::Duration::zero()) {
            apply(step);
            continue;
        }
        pendingSteps_.append(
            clock_.schedule(start + step.after, Clock::Duration::zero(), [this, step] { apply(step); }));
    }
}

void FakeVpnConnection::apply(const Step& step) {
    if (step.error)
        lastError_ = step.error;
    setStatus(step.status);
}

void FakeVpnConnection::dropPendingSteps() {
    for (const auto id : std::exchange(pendingSteps_, {}))
        clock_.unschedule(id);
}

} // namespace tessaron::testing
