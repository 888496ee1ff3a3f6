#include "session/tessaron_session.hpp"

#include "platform/tunnel_contract.hpp"
#include "session/session_keys.hpp"
#include "session/tunnel_configuration.hpp"
#include "session/tunnel_phase_report.hpp"

#include <QJsonDocument>

#include <chrono>

// While the tunnel is up, the session asks it how the link looks from inside ("phase") and how it routes
// ("routing"). A link that stays blocked is reported to failover; one that stays up and unblocked after a
// passed check becomes the last working node.

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr auto foregroundPollInterval = 2s;
constexpr auto backgroundPollInterval = 10s;
constexpr auto stabilityForLastGood = 60s;

bool isTunnelUp(VpnStatus status) {
    return status == VpnStatus::connected || status == VpnStatus::reasserting;
}

double secondsBetween(const QDateTime& from, const QDateTime& to) {
    return double(from.msecsTo(to)) / 1000;
}

} // namespace

void TessaronSession::updateTunnelPhasePolling() {
    if (isTunnelUp(vpnStatus_)) {
        tunnelPhasePollArmed_ = true;
        if (hostIdle_) {
            tunnelPhaseTimer_.reset();
            return;
        }
        const Clock::Duration interval =
            sceneIsActive_ && appIsActive_ ? foregroundPollInterval : backgroundPollInterval;
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
    forgetBlockedStretch();
    ++connectedRosterPullGeneration_;
    connectedRosterPullTask_.cancel();
    connectedRosterPullInFlight_ = false;
    connectedRosterRetryIDs_.clear();
}

void TessaronSession::forgetBlockedStretch() {
    // The next link gets its own grace period and its own report.
    blockedSince_.reset();
    blockedReported_ = false;
}

void TessaronSession::pollTunnelPhase() {
    if (!isTunnelUp(vpnStatus_))
        return;
    pullRosterWhileConnected(services_.clock.now());
    pollTunnelRouting();
    if (!linkIdentifier().isNull())
        askTunnelPhase(linkIdentifier());
}

QCoro::Task<> TessaronSession::askTunnelPhase(QUuid configuration) {
    QPointer self(this);
    std::optional<QByteArray> reply;
    try {
        reply = co_await services_.tunnelManagers.connection(configuration)
                    .sendProviderMessage(TessaronTunnelPhaseContract::message.toUtf8());
    } catch (const TessaronError&) {
        // The next tick asks again.
        co_return;
    }
    // No reply, or one that does not decode, counts as not blocked.
    const auto report = reply ? TessaronTunnelPhaseReport::decode(*reply) : std::nullopt;
    if (self && isTunnelUp(vpnStatus_))
        applyTunnelPhaseReport(report && report->isBlocked());
}

void TessaronSession::pollTunnelRouting() {
    if (recordedRoutingLine_ && recordedRoutingLine_->generation == connectGeneration_)
        return;
    if (!linkIdentifier().isNull())
        askTunnelRouting(linkIdentifier());
    else
        recordRoutingLine(sharedRoutingLine(services_.groupPreferences));
}

QCoro::Task<> TessaronSession::askTunnelRouting(QUuid configuration) {
    QPointer self(this);
    std::optional<QByteArray> reply;
    try {
        reply = co_await services_.tunnelManagers.connection(configuration)
                    .sendProviderMessage(TessaronTunnelRoutingContract::message.toUtf8());
    } catch (const TessaronError&) {
        co_return;
    }
    if (!self)
        co_return;
    auto line = reply ? trimmedNonEmpty(QString::fromUtf8(*reply)) : std::nullopt;
    if (!line)
        line = sharedRoutingLine(services_.groupPreferences);
    if (isTunnelUp(vpnStatus_))
        recordRoutingLine(line);
}

void TessaronSession::recordRoutingLine(const std::optional<QString>& line) {
    if (!line || line->isEmpty())
        return;
    if (recordedRoutingLine_ && recordedRoutingLine_->line == *line &&
        recordedRoutingLine_->generation == connectGeneration_)
        return;
    recordedRoutingLine_ = RecordedRoutingLine{*line, connectGeneration_};
    services_.connectionLog.append(*line);
}

void TessaronSession::applyTunnelPhaseReport(bool blocked) {
    const auto now = services_.clock.now();
    const bool wasBlocked = tunnelBlocked_;
    const qint64 blockedFor = blockedSince_ ? blockedSince_->msecsTo(now) / 1000 : 0;
    assign(tunnelBlocked_, blocked, &TessaronSession::tunnelBlockedChanged);
    setPhase(derivedPhase());
    if (blocked && !wasBlocked)
        services_.connectionLog.append(QStringLiteral("tunnel phase: blocked"));
    else if (!blocked && wasBlocked)
        services_.connectionLog.append(QStringLiteral("tunnel phase: up (blocked %1 s)").arg(blockedFor));

    if (!blocked) {
        if (blockedSince_) {
            forgetBlockedStretch();
            if (selectedID_)
                recordFailoverRecovery(*selectedID_);
        }
        saveLastGoodCandidate();
        return;
    }
    if (!blockedSince_) {
        blockedSince_ = now;
        stableSince_.reset();
    }
    if (blockedReported_ || !selectedID_)
        return;
    // The node that last worked is given longer: a short block there is more likely the network's.
    const bool untried = isUntried(*selectedID_);
    const Clock::Duration threshold =
        untried ? FailoverPolicy::blockedUntriedThreshold : FailoverPolicy::blockedTriedThreshold;
    const double seconds = secondsBetween(*blockedSince_, now);
    if (seconds < std::chrono::duration<double>(threshold).count())
        return;
    blockedReported_ = true;
    applyFailoverEvent(FailoverPolicy::Event::blocked(*selectedID_, seconds, untried));
}

void TessaronSession::saveLastGoodCandidate() {
    // Only a link whose check passed has proved it carries traffic; a link that fails its check is no
    // candidate however long it stays up.
    if (vpnStatus_ != VpnStatus::connected || !selectedID_ || checkState_ != TessaronCheckState::passed) {
        stableSince_.reset();
        return;
    }
    const auto now = services_.clock.now();
    if (!stableSince_)
        stableSince_ = now;
    if (stableSince_->msecsTo(now) < std::chrono::milliseconds(stabilityForLastGood).count())
        return;
    const FailoverCandidate candidate{*selectedID_, activeTransport_};
    if (loadLastGood() == candidate)
        return;
    services_.preferences.setValue(session_keys::lastGood,
                                   QJsonDocument(candidate.toJSON()).toJson(QJsonDocument::Compact));
}

} // namespace tessaron
