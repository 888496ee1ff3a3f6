#include "session/tessaron_session.hpp"

#include "health/bounded_wait.hpp"
#include "health/failover_planner.hpp"
#include "profiles/json_values.hpp"
#include "session/local_endpoint.hpp"
#include "session/session_failure.hpp"
#include "session/session_keys.hpp"
#include "session/tunnel_configuration.hpp"

#include <QJsonDocument>

#include <chrono>

namespace tessaron {

namespace {

using namespace std::chrono_literals;

constexpr auto rosterStaleness = 900s;
constexpr auto rosterWaitLimit = 3s;

const QString chooseFirstText = QStringLiteral("Choose a saved connection first.");

QString secondsText(Clock::Duration elapsed) {
    return QString::asprintf("%.1f", std::chrono::duration<double>(elapsed).count());
}

} // namespace

QCoro::Task<> TessaronSession::connect() {
    QPointer self(this);
    // The phase stays disconnected while a node is chosen, the roster waited for and the extension
    // activated: without this mark a second tap would start a second tunnel.
    if (connectInFlight_) {
        refuseBusy();
        co_return;
    }
    if (phase_ != TessaronLinkPhase::disconnected)
        co_return;
    const auto run = markConnectRunning();
    services_.connectionLog.append(QStringLiteral("connect tapped"));
    resetFailoverAfterGiveUp();
    const auto intent = ++userLinkIntentGeneration_;
    failureAdoptionWatch_.clear();
    co_await autoSelectForConnect();
    if (!self)
        co_return;
    co_await awaitRosterBeforeConnect();
    if (!self)
        co_return;
    co_await startTunnelNow(std::nullopt, intent);
}

QCoro::Task<> TessaronSession::startSelectedConnection() {
    QPointer self(this);
    if (phase_ != TessaronLinkPhase::disconnected || !selectedID_)
        co_return;
    if (isActing_ || connectInFlight_) {
        refuseBusy();
        co_return;
    }
    if (!consentGranted_) {
        pendingConnect_ = true;
        setActiveSheet(TessaronSheet::privacy);
        co_return;
    }
    pendingConnect_ = false;
    const auto run = markConnectRunning();
    resetFailoverAfterGiveUp();
    const auto intent = ++userLinkIntentGeneration_;
    failureAdoptionWatch_.clear();
    co_await startTunnelNow(std::nullopt, intent);
}

QCoro::Task<> TessaronSession::connectChosenConnection() {
    QPointer self(this);
    if (phase_ != TessaronLinkPhase::disconnected)
        co_return;
    if (isActing_) {
        refuseBusy();
        co_return;
    }
    // A click made while an earlier one waited for the listing supersedes it. A listing or store asked for
    // by anything else meanwhile makes the click read again, so that it acts on the latest listing.
    const auto click = ++chosenConnectionClick_;
    bool listed = false;
    while (!listed) {
        const auto request = listingRequest_ + 1; // the number this read takes
        listed = co_await readListing();
        // Ended, superseded, or failed (and reported).
        if (!self || click != chosenConnectionClick_ || (!listed && listingRequest_ == request))
            co_return;
    }
    if (phase_ != TessaronLinkPhase::disconnected)
        co_return;
    if (isActing_) {
        refuseBusy();
        co_return;
    }
    if (!selectedID_) {
        if (summaries_.isEmpty()) {
            pendingConnect_ = false;
            requestInvitationImport();
            co_return;
        }
        if (summaries_.size() > 1) {
            setLastError(chooseFirstText);
            co_return;
        }
        select(summaries_.first().id);
    }
    co_await startSelectedConnection();
}

void TessaronSession::retryConnect() {
    if (phase_ != TessaronLinkPhase::disconnected || primaryIntent() != TessaronPrimaryIntent::connect)
        return;
    setLastError(std::nullopt);
    setSuggestedNodeID(std::nullopt);
    connect();
}

void TessaronSession::useSuggestedNode() {
    if (!suggestedNodeID_)
        return;
    const auto suggested = *suggestedNodeID_;
    select(suggested);
    if (selectedID_ == suggested && phase_ == TessaronLinkPhase::disconnected)
        connect();
}

QCoro::Task<> TessaronSession::startTunnel(std::optional<TessaronTransport> transport) {
    return startTunnelNow(transport, userLinkIntentGeneration_);
}

QCoro::Task<> TessaronSession::startTunnelNow(std::optional<TessaronTransport> transport,
                                              qint64 intentGeneration) {
    QPointer self(this);
    setLastError(std::nullopt);
    manualStopRequested_ = false;
    stableSince_.reset();
    // Lambdas are named before a co_await: GCC 12 destroys a lambda temporary inside one twice.
    std::function<void()> onWaiting = [self] {
        if (self)
            self->onWaiting();
    };
    const auto activation = co_await services_.activator.ensureActivated(std::move(onWaiting));
    if (!self || !applyActivation(activation))
        co_return;
    // The user stopped, or signed out, while the extension was being activated.
    if (userLinkIntentGeneration_ != intentGeneration)
        co_return;
    const auto summary = selectedSummary();
    if (!summary) {
        setLastError(chooseFirstText);
        co_return;
    }
    try {
        if (isLocalEndpoint(summary->server, services_.interfaceAddresses))
            throw TessaronSessionFailure(TessaronSessionFailureKind::localEndpoint);
        auto read = [store = services_.keychainStore, id = summary->id] {
            return store.profile(id);
        };
        const auto profile = co_await services_.keychain.run(std::move(read));
        // The user stopped, or signed out, while the keyring answered.
        if (!self || userLinkIntentGeneration_ != intentGeneration)
            co_return;
        const auto chosen = transport.value_or(FailoverPlanner::prefersXHTTP(loadLastGood(), profile)
                                                   ? TessaronTransport::xhttp
                                                   : TessaronTransport::tcp);
        // Failover moves on from the transport actually started, and the last working node records it.
        assign(activeTransport_, chosen, &TessaronSession::activeTransportChanged);
        const auto data = TessaronKeychainStore::annotatedProfileData(profile, chosen);
        auto write = [store = services_.keychainStore, data, id = summary->id] {
            return store.storeItem(data, id);
        };
        const auto reference = co_await services_.keychain.run(std::move(write));
        if (!self || userLinkIntentGeneration_ != intentGeneration)
            co_return;
        co_await installAndStart(*summary, reference, data);
    } catch (const TessaronError& error) {
        if (self) {
            reportFailure(error);
            handleConnectFailure(error);
        }
    }
}

bool TessaronSession::applyActivation(const TessaronExtensionActivation& activation) {
    using Kind = TessaronExtensionActivation::Kind;
    std::optional<TessaronExtensionApproval> approval;
    std::optional<TessaronExtensionNotice> notice;
    switch (activation.kind()) {
    case Kind::activated:
        break;
    case Kind::notInApplications:
        notice = TessaronExtensionNotice::notInApplications;
        break;
    case Kind::needsReboot:
        approval = TessaronExtensionApproval::needsReboot;
        break;
    case Kind::timedOut:
        approval = TessaronExtensionApproval::retry;
        break;
    case Kind::cancelled:
        break;
    case Kind::failed:
        if (!activation.message().isEmpty())
            setLastError(activation.message());
        break;
    }
    // An approval that was waiting is over once the extension runs.
    assign(extensionApproval_, approval, &TessaronSession::extensionApprovalChanged);
    if (activation.kind() != Kind::failed)
        assign(extensionNotice_, notice, &TessaronSession::extensionNoticeChanged);
    return activation.kind() == Kind::activated;
}

void TessaronSession::onWaiting() {
    if (extensionApproval_ == TessaronExtensionApproval::waiting)
        return;
    assign(extensionNotice_, std::optional<TessaronExtensionNotice>(),
           &TessaronSession::extensionNoticeChanged);
    assign(extensionApproval_, std::optional(TessaronExtensionApproval::waiting),
           &TessaronSession::extensionApprovalChanged);
    services_.activator.openExtensionSettings();
}

void TessaronSession::dismissExtensionPrompt() {
    assign(extensionApproval_, std::optional<TessaronExtensionApproval>(),
           &TessaronSession::extensionApprovalChanged);
    assign(extensionNotice_, std::optional<TessaronExtensionNotice>(),
           &TessaronSession::extensionNoticeChanged);
    services_.activator.cancel();
}

void TessaronSession::revealAppInFinder() {
    // The application moves itself into the applications folder, or shows its folder for the user to move.
    // The notice to drag it comes only when that has ended without a relaunch: while a copy runs the card
    // keeps its offer.
    auto followUp = [self = QPointer(this)] {
        if (!self)
            return;
        self->assign(self->extensionApproval_, std::optional<TessaronExtensionApproval>(),
                     &TessaronSession::extensionApprovalChanged);
        self->assign(self->extensionNotice_, std::optional(TessaronExtensionNotice::dragToApplications),
                     &TessaronSession::extensionNoticeChanged);
    };
    if (services_.revealApplication)
        services_.revealApplication(std::move(followUp));
    else
        followUp();
}

// The roster wait before a connect.

std::optional<QUuid> TessaronSession::profileNeedingRosterBeforeConnect() const {
    const auto stampKey = [](const QUuid& id) {
        return session_keys::profilesRefreshedAtPrefix + uuidText(id);
    };
    if (summaries_.size() == 1 && !services_.preferences.value(stampKey(summaries_.first().id)).isValid())
        return summaries_.first().id;
    if (!selectedID_ || !rosterSourceIDs().contains(*selectedID_))
        return std::nullopt;
    return isStale(*selectedID_) ? selectedID_ : std::nullopt;
}

bool TessaronSession::isStale(const QUuid& id) const {
    const auto stamp = services_.preferences.date(session_keys::profilesRefreshedAtPrefix + uuidText(id));
    return !stamp ||
           stamp->msecsTo(services_.clock.now()) >= std::chrono::milliseconds(rosterStaleness).count();
}

namespace {

QCoro::Task<> pullIfAlive(QPointer<TessaronSession> session, QUuid id) {
    if (session)
        co_await session->pullRoster(id);
}

} // namespace

QCoro::Task<> TessaronSession::awaitRosterBeforeConnect() {
    QPointer self(this);
    const auto id = profileNeedingRosterBeforeConnect();
    if (!id)
        co_return;
    auto* clock = &services_.clock;
    const auto start = clock->monotonic();
    TessaronBoundedWait::Work pull = [self, id = *id] {
        return pullIfAlive(self, id);
    };
    // The pull goes on after the deadline; its end is still worth a line.
    TessaronBoundedWait::LateHandler late = [self, clock, start] {
        if (self)
            self->services_.connectionLog.append(
                QStringLiteral("roster refresh: done %1 s").arg(secondsText(clock->monotonic() - start)));
    };
    const TessaronBoundedWait wait(*clock);
    const auto outcome = co_await wait.run(rosterWaitLimit, std::move(pull), std::move(late));
    if (!self)
        co_return;
    if (outcome == TessaronBoundedWait::Outcome::finished)
        services_.connectionLog.append(
            QStringLiteral("roster refresh: done %1 s").arg(secondsText(clock->monotonic() - start)));
    else
        services_.connectionLog.append(QStringLiteral("roster refresh: still running, connecting anyway"));
}

std::optional<FailoverCandidate> TessaronSession::loadLastGood() const {
    const auto data = services_.preferences.data(session_keys::lastGood);
    if (!data)
        return std::nullopt;
    try {
        return FailoverCandidate::fromJSON(QJsonDocument::fromJson(*data).object());
    } catch (const TessaronError&) {
        return std::nullopt;
    }
}

// Install and start.

void TessaronSession::configure(TunnelProviderManager& manager, const TessaronProfileSummary& summary,
                                const QByteArray& reference,
                                const std::optional<QByteArray>& profileJSON) const {
    manager.protocolConfiguration = tunnelProtocol(summary, reference, killSwitch_, profileJSON);
    manager.localizedDescription = QStringLiteral("Tessaron");
    manager.enabled = true;
    applyOnDemandRules(manager, connectOnDemand_);
}

QCoro::Task<TunnelProviderManager> TessaronSession::saveAndReload(TunnelProviderManager manager) {
    auto& managers = services_.tunnelManagers;
    const auto identifier = co_await managers.save(std::move(manager));
    co_return co_await managers.load(identifier);
}

QCoro::Task<> TessaronSession::installAndStart(TessaronProfileSummary summary, QByteArray passwordReference,
                                               std::optional<QByteArray> profileJSON) {
    QPointer self(this);
    {
        auto turn = co_await configurationChanges_.enter();
        // A sign-out or a removal while this start waited for its turn leaves nothing to install.
        if (!self ||
            std::ranges::find(summaries_, summary.id, &TessaronProfileSummary::id) == summaries_.end())
            co_return;
        const auto managers = co_await services_.tunnelManagers.loadAll();
        if (!self)
            co_return;
        log_.info(QStringLiteral("tessaron configuration count %1")
                      .arg(TessaronManagerSelection::ownManagers(managers).size()));
        // The session's one configuration is rewritten for every profile; another is made only when it has
        // none.
        auto manager =
            TessaronManagerSelection::preferred(managers, summary.id).value_or(TunnelProviderManager{});
        configure(manager, summary, passwordReference, profileJSON);
        auto saved = co_await saveAndReload(manager);
        if (!self)
            co_return;
        if (!installedConfigurationMatches(saved, summary)) {
            configure(saved, summary, passwordReference, profileJSON);
            saved = co_await saveAndReload(saved);
            if (!self)
                co_return;
            if (!installedConfigurationMatches(saved, summary))
                throw TessaronSessionFailure(TessaronSessionFailureKind::configurationNotSaved);
        }
        adoptInstalledManager(saved);
    }
    co_await startConfiguredTunnel(summary);
}

QCoro::Task<> TessaronSession::startConfiguredTunnel(TessaronProfileSummary summary) {
    QPointer self(this);
    auto& started = connection();
    std::exception_ptr startFailure;
    try {
        co_await started.startTunnel();
    } catch (...) {
        startFailure = std::current_exception();
    }
    if (!self)
        co_return;
    if (startFailure) {
        applyVPNStatus(started.status());
        std::rethrow_exception(startFailure);
    }
    const auto status = started.status();
    if (status == VpnStatus::invalid || status == VpnStatus::disconnected) {
        // The system has not reported the start yet; the tunnel is on its way all the same.
        assign(vpnStatus_, status, &TessaronSession::vpnStatusChanged);
        checkCancelAttempts_ = 0;
        cancelCheckTasks();
        checkState_ = TessaronCheckState::idle;
        disarmConnectWatchdog();
        setPhase(TessaronLinkPhase::connecting);
    } else {
        applyVPNStatus(status);
    }
    if (phase_ == TessaronLinkPhase::connecting)
        armConnectWatchdog(summary.id, summary.name);
}

} // namespace tessaron
