#include "session/tessaron_session.hpp"

#include "session/session_keys.hpp"
#include "session/tunnel_configuration.hpp"

namespace tessaron {

namespace {

QString statusName(VpnStatus status) {
    switch (status) {
    case VpnStatus::invalid:
        return QStringLiteral("invalid");
    case VpnStatus::disconnected:
        return QStringLiteral("disconnected");
    case VpnStatus::connecting:
        return QStringLiteral("connecting");
    case VpnStatus::connected:
        return QStringLiteral("connected");
    case VpnStatus::reasserting:
        return QStringLiteral("reasserting");
    case VpnStatus::disconnecting:
        return QStringLiteral("disconnecting");
    }
    return QStringLiteral("unknown");
}

} // namespace

QUuid TessaronSession::linkIdentifier() const {
    if (manager_)
        return manager_->identifier;
    return unconfiguredLink_.value_or(QUuid());
}

VpnConnection& TessaronSession::connection() {
    // A null identifier gives a connection whose status is invalid.
    return services_.tunnelManagers.connection(linkIdentifier());
}

void TessaronSession::observeConnection(const QUuid& identifier) {
    auto& observed = services_.tunnelManagers.connection(identifier);
    if (observedConnections_.contains(&observed))
        return;
    observedConnections_.insert(&observed);
    // Queued, as the system posts its notification: a start applies its own first status before the
    // observer sees it.
    QObject::connect(
        &observed, &VpnConnection::statusChanged, this, [this] { vpnStatusDidChange(); },
        Qt::QueuedConnection);
}

void TessaronSession::vpnStatusDidChange() {
    const auto status = linkIdentifier().isNull() ? VpnStatus::invalid : connection().status();
    // A start taken to be on its way can end before it is reported: the status then reads as it did
    // before the start, yet the link the session shows as connecting is gone.
    const bool startEnded = phase_ == TessaronLinkPhase::connecting && !isLive(status);
    if (status != vpnStatus_ || startEnded)
        applyVPNStatus(status);
}

void TessaronSession::adoptManager(const TunnelProviderManager& manager) {
    manager_ = manager;
    unconfiguredLink_.reset();
    observeConnection(manager.identifier);
}

void TessaronSession::adoptInstalledManager(const TunnelProviderManager& manager) {
    adoptManager(manager);
    assign(isConfigurationInstalled_, true, &TessaronSession::isConfigurationInstalledChanged);
    const auto* provider = manager.tunnelProvider();
    assign(includeAllNetworks_, provider && provider->includeAllNetworks,
           &TessaronSession::includeAllNetworksChanged);
    // The published settings follow what the system now holds.
    assign(connectOnDemand_, manager.onDemandEnabled, &TessaronSession::connectOnDemandChanged);
    services_.preferences.setValue(session_keys::connectOnDemand, manager.onDemandEnabled);
    if (const auto killSwitch = installedKillSwitch(manager)) {
        assign(killSwitch_, *killSwitch, &TessaronSession::killSwitchChanged);
        services_.preferences.setValue(session_keys::killSwitch, *killSwitch);
    }
}

void TessaronSession::dropManager() {
    manager_.reset();
    assign(isConfigurationInstalled_, false, &TessaronSession::isConfigurationInstalledChanged);
    assign(includeAllNetworks_, false, &TessaronSession::includeAllNetworksChanged);
}

TessaronLinkPhase TessaronSession::derivedPhase() const {
    switch (vpnStatus_) {
    case VpnStatus::connecting:
    case VpnStatus::reasserting:
        return TessaronLinkPhase::connecting;
    case VpnStatus::connected:
        if (tunnelBlocked_)
            return TessaronLinkPhase::checking;
        return checkState_ == TessaronCheckState::failed ? TessaronLinkPhase::checkFailed
                                                         : TessaronLinkPhase::connected;
    case VpnStatus::disconnecting:
        return TessaronLinkPhase::disconnecting;
    case VpnStatus::invalid:
    case VpnStatus::disconnected:
        break;
    }
    return TessaronLinkPhase::disconnected;
}

void TessaronSession::applyVPNStatus(VpnStatus status) {
    const auto previous = phase_;
    assign(vpnStatus_, status, &TessaronSession::vpnStatusChanged);
    services_.connectionLog.append(QStringLiteral("tunnel status: ") + statusName(status));
    // The new link's generation opens before the poll: the tunnel's first answers belong to it.
    if (status == VpnStatus::connected) {
        ++connectGeneration_;
        // A blocked stretch of the link before belongs to that link.
        forgetBlockedStretch();
    }
    updateTunnelPhasePolling();
    log_.info(QStringLiteral("status %1").arg(static_cast<qint64>(status)));

    bool linkEnded = false;
    // The transport reads tcp once the link is down; its failure still belongs to the transport it ran on.
    const auto carrier = activeTransport_;
    if (status == VpnStatus::connected) {
        if (!tunnelUpSince_)
            assign(tunnelUpSince_, std::optional(services_.clock.now()),
                   &TessaronSession::tunnelUpSinceChanged);
        setSuggestedNodeID(std::nullopt);
        if (checkState_ == TessaronCheckState::idle)
            startCheck(false);
    } else {
        assign(tunnelUpSince_, std::optional<QDateTime>(), &TessaronSession::tunnelUpSinceChanged);
        assign(verifiedAt_, std::optional<QDateTime>(), &TessaronSession::verifiedAtChanged);
        stableSince_.reset();
        if (status == VpnStatus::invalid || status == VpnStatus::disconnected) {
            assign(activeTransport_, TessaronTransport::tcp, &TessaronSession::activeTransportChanged);
            linkEnded = previous != TessaronLinkPhase::disconnected;
        }
        checkCancelAttempts_ = 0;
        cancelCheckTasks();
        checkState_ = TessaronCheckState::idle;
        // A tunnel on its way up keeps its connect watchdog.
        if (status != VpnStatus::connecting && status != VpnStatus::reasserting)
            disarmConnectWatchdog();
    }

    setPhase(derivedPhase());
    const bool fellToDisconnected =
        phase_ == TessaronLinkPhase::disconnected && previous != TessaronLinkPhase::disconnected;
    if (!switchingTo_ && fellToDisconnected)
        pullRosterAfterDisconnect();
    if (status == VpnStatus::connected)
        disarmConnectWatchdog();
    if (linkEnded && !linkIdentifier().isNull())
        fetchDisconnectError(linkIdentifier(), carrier);
    if (phase_ == TessaronLinkPhase::disconnected && !removalsAfterLink_.isEmpty())
        removeDeferredConnections();
    evaluateIdlePolicy();
}

QCoro::Task<> TessaronSession::fetchDisconnectError(QUuid identifier, TessaronTransport carrier) {
    QPointer self(this);
    auto& ended = services_.tunnelManagers.connection(identifier);
    const auto error = co_await ended.lastDisconnectError();
    if (self && error)
        handleDisconnectFailure(*error, carrier);
}

void TessaronSession::resetLinkIntent() {
    idlePolicy_ = IdleDisconnectPolicy{};
    idleReconnectTask_.cancel();
    ++userLinkIntentGeneration_;
    failureAdoptionWatch_.clear();
}

void TessaronSession::userStopTapped() {
    resetLinkIntent();
    if (phase_ == TessaronLinkPhase::disconnected || phase_ == TessaronLinkPhase::disconnecting)
        return;
    services_.connectionLog.append(QStringLiteral("stop tapped"));
    setLastError(std::nullopt);
    stopTunnel();
}

void TessaronSession::stopTunnel() {
    manualStopRequested_ = true;
    checkCancelAttempts_ = 0;
    cancelCheckTasks();
    checkState_ = TessaronCheckState::idle;
    disarmConnectWatchdog();
    // A tunnel that is down already reports no end of its own: the session would wait in disconnecting.
    if (const auto status = connection().status(); !isLive(status)) {
        applyVPNStatus(status);
        return;
    }
    setPhase(TessaronLinkPhase::disconnecting);
    connection().stopTunnel();
    log_.info(QStringLiteral("stop requested"));
}

QCoro::Task<> TessaronSession::refreshManagers() {
    QPointer self(this);
    auto turn = co_await configurationChanges_.enter();
    if (!self)
        co_return;
    try {
        co_await loadManagers();
    } catch (const TessaronError& error) {
        if (self)
            reportFailure(error);
    }
}

QCoro::Task<> TessaronSession::loadManagers() {
    QPointer self(this);
    const auto managers = co_await services_.tunnelManagers.loadAll();
    if (!self)
        co_return;
    log_.info(QStringLiteral("tessaron configuration count %1")
                  .arg(TessaronManagerSelection::ownManagers(managers).size()));
    const auto chosen = TessaronManagerSelection::preferred(managers, selectedID_);
    if (!chosen) {
        dropManager();
        // A link whose configuration was lost (a damaged file set aside) is still the user's to see and stop.
        unconfiguredLink_ = services_.tunnelManagers.liveConfiguration();
        if (unconfiguredLink_) {
            log_.error(QStringLiteral("a running link has no stored configuration"));
            observeConnection(*unconfiguredLink_);
        }
        applyVPNStatus(connection().status());
        co_return;
    }
    adoptInstalledManager(*chosen);
    applyVPNStatus(connection().status());
}

} // namespace tessaron
