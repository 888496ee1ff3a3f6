#pragma once

#include "health/connection_health_checker.hpp"
#include "health/failover_candidate.hpp"
#include "health/failover_policy.hpp"
#include "health/latency_monitor.hpp"
#include "health/node_link_status.hpp"
#include "platform/clock.hpp"
#include "platform/keychain.hpp"
#include "platform/path_monitor.hpp"
#include "platform/preferences.hpp"
#include "platform/system_log.hpp"
#include "platform/task_slot.hpp"
#include "platform/tunnel_managers.hpp"
#include "platform/vpn_error.hpp"
#include "profiles/connection_log.hpp"
#include "profiles/data_usage.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/keychain_store.hpp"
#include "profiles/node_records.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/pending_redemption.hpp"
#include "profiles/profile.hpp"
#include "profiles/profile_summary.hpp"
#include "session/check_state.hpp"
#include "session/configuration_changes.hpp"
#include "session/extension_approval.hpp"
#include "session/extension_notice.hpp"
#include "session/host_activity_monitor.hpp"
#include "session/idle_disconnect_policy.hpp"
#include "session/link_phase.hpp"
#include "session/managed_profiles_store.hpp"
#include "session/network_path_wait.hpp"
#include "session/primary_intent.hpp"
#include "session/pull_coalescer.hpp"
#include "session/session_failure.hpp"
#include "session/sheet.hpp"
#include "session/sign_in_state.hpp"
#include "session/system_extension_activating.hpp"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QScopeGuard>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace tessaron {

class InterfaceAddresses;

using TessaronProfileSummaries = QList<TessaronProfileSummary>;
using NodeGeoTable = QHash<QUuid, TessaronNodeGeo>;

// Everything the session works with, handed in by the application's composition root (or by a test).
struct TessaronSessionServices {
    Clock& clock;
    // The standard preferences, and the application group's suite shared with the tunnel.
    Preferences& preferences;
    Preferences& groupPreferences;
    Keychain& keychain;
    TessaronKeychainStore keychainStore;
    TessaronPendingRedemptionStore pendingRedemptions;
    // The installation identifier; throws TessaronInstallationIdentityError.
    std::function<QUuid()> installationID;
    // A client of the configured pairing service; throws TessaronPairingError when none is configured.
    std::function<TessaronPairingClient()> pairingClient;
    TunnelManagers& tunnelManagers;
    TessaronSystemExtensionActivating& activator;
    LatencyMonitor& latencyMonitor;
    // Verifies through the tunnel that a connected link reaches the internet.
    ConnectionHealthChecker reachability;
    // True while the system saves power; the periodic re-check of a good link then skips its probe.
    // Empty: the host has no such mode.
    std::function<bool()> lowPowerMode;
    HostActivitySource& hostActivity;
    PathMonitor::Factory pathMonitors;
    const InterfaceAddresses& interfaceAddresses;
    TessaronConnectionLog& connectionLog;
    TessaronSignInState& signIn;
    // Moves the application into the applications folder, or shows it in the file browser for the user to
    // drag there; runs `followUp` once the move has ended without a relaunch. Empty: the follow-up runs at
    // once.
    std::function<void(std::function<void()> followUp)> revealApplication;
    // Started once, at the end of construction.
    std::function<void()> startCrashReporting;
};

// The one connection controller of the application: it restores the saved connections, writes the system's
// VPN configuration, starts and stops the tunnel, follows its status, redeems invitations, keeps the
// managed profiles and their rosters in step and wipes everything at sign-out. Lives on the main thread for
// as long as the application runs.
//
// Stale results of waiting work are dropped by comparing generation counters and check tokens, not by
// cancellation alone.
class TessaronSession final : public QObject {
    Q_OBJECT
    Q_PROPERTY(tessaron::TessaronLinkPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(tessaron::VpnStatus vpnStatus READ vpnStatus NOTIFY vpnStatusChanged)
    Q_PROPERTY(tessaron::TessaronProfileSummaries summaries READ summaries NOTIFY summariesChanged)
    Q_PROPERTY(std::optional<QUuid> selectedID READ selectedID NOTIFY selectedIDChanged)
    Q_PROPERTY(tessaron::LatencyTable latencies READ latencies NOTIFY latenciesChanged)
    Q_PROPERTY(tessaron::NodeHealthTable nodeHealth READ nodeHealth NOTIFY nodeHealthChanged)
    Q_PROPERTY(tessaron::NodeGeoTable nodeGeo READ nodeGeo NOTIFY nodeGeoChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronClientGeo> clientGeo READ clientGeo NOTIFY clientGeoChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronDataUsage> dataUsage READ dataUsage NOTIFY dataUsageChanged)
    Q_PROPERTY(bool consentGranted READ consentGranted NOTIFY consentGrantedChanged)
    Q_PROPERTY(bool connectOnDemand READ connectOnDemand NOTIFY connectOnDemandChanged)
    Q_PROPERTY(bool killSwitch READ killSwitch NOTIFY killSwitchChanged)
    Q_PROPERTY(bool idleDisconnect READ idleDisconnect NOTIFY idleDisconnectChanged)
    Q_PROPERTY(bool tunnelBlocked READ tunnelBlocked NOTIFY tunnelBlockedChanged)
    Q_PROPERTY(bool autoSelect READ autoSelect NOTIFY autoSelectChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronProfileSummary> switchingTo READ switchingTo NOTIFY
                   switchingToChanged)
    Q_PROPERTY(
        bool isConfigurationInstalled READ isConfigurationInstalled NOTIFY isConfigurationInstalledChanged)
    Q_PROPERTY(bool includeAllNetworks READ includeAllNetworks NOTIFY includeAllNetworksChanged)
    Q_PROPERTY(bool isActing READ isActing NOTIFY isActingChanged)
    Q_PROPERTY(bool isConnectRunning READ isConnectRunning NOTIFY isConnectRunningChanged)
    Q_PROPERTY(std::optional<QString> lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(std::optional<QUuid> suggestedNodeID READ suggestedNodeID NOTIFY suggestedNodeIDChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronExtensionNotice> extensionNotice READ extensionNotice NOTIFY
                   extensionNoticeChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronExtensionApproval> extensionApproval READ extensionApproval
                   NOTIFY extensionApprovalChanged)
    Q_PROPERTY(tessaron::TessaronTransport activeTransport READ activeTransport NOTIFY activeTransportChanged)
    Q_PROPERTY(std::optional<QDateTime> tunnelUpSince READ tunnelUpSince NOTIFY tunnelUpSinceChanged)
    Q_PROPERTY(std::optional<QDateTime> verifiedAt READ verifiedAt NOTIFY verifiedAtChanged)
    Q_PROPERTY(std::optional<tessaron::TessaronSheet> activeSheet READ activeSheet NOTIFY activeSheetChanged)

public:
    explicit TessaronSession(TessaronSessionServices services, QObject* parent = nullptr);
    ~TessaronSession() override;

    // Published fields.
    TessaronLinkPhase phase() const { return phase_; }
    VpnStatus vpnStatus() const { return vpnStatus_; }
    const TessaronProfileSummaries& summaries() const { return summaries_; }
    const std::optional<QUuid>& selectedID() const { return selectedID_; }
    const LatencyTable& latencies() const { return latencies_; }
    const NodeHealthTable& nodeHealth() const { return nodeHealth_; }
    const NodeGeoTable& nodeGeo() const { return nodeGeo_; }
    const std::optional<TessaronClientGeo>& clientGeo() const { return clientGeo_; }
    const std::optional<TessaronDataUsage>& dataUsage() const { return dataUsage_; }
    bool consentGranted() const { return consentGranted_; }
    bool connectOnDemand() const { return connectOnDemand_; }
    bool killSwitch() const { return killSwitch_; }
    bool idleDisconnect() const { return idleDisconnect_; }
    bool tunnelBlocked() const { return tunnelBlocked_; }
    bool autoSelect() const { return autoSelect_; }
    const std::optional<TessaronProfileSummary>& switchingTo() const { return switchingTo_; }
    bool isConfigurationInstalled() const { return isConfigurationInstalled_; }
    bool includeAllNetworks() const { return includeAllNetworks_; }
    bool isActing() const { return isActing_; }
    // A connect runs from the tap through node choice, the roster wait and activation until the tunnel
    // starts; a second connect() meanwhile is refused.
    bool isConnectRunning() const { return connectInFlight_; }
    const std::optional<QString>& lastError() const { return lastError_; }
    const std::optional<QUuid>& suggestedNodeID() const { return suggestedNodeID_; }
    const std::optional<TessaronExtensionNotice>& extensionNotice() const { return extensionNotice_; }
    const std::optional<TessaronExtensionApproval>& extensionApproval() const { return extensionApproval_; }
    TessaronTransport activeTransport() const { return activeTransport_; }
    const std::optional<QDateTime>& tunnelUpSince() const { return tunnelUpSince_; }
    const std::optional<QDateTime>& verifiedAt() const { return verifiedAt_; }
    const std::optional<TessaronSheet>& activeSheet() const { return activeSheet_; }

    // The fields views may write.
    void setLastError(std::optional<QString> message);
    void setSuggestedNodeID(std::optional<QUuid> id);
    // Every change of the sheet is followed by activeSheetDidChange().
    void setActiveSheet(std::optional<TessaronSheet> sheet);
    void activeSheetDidChange(std::optional<TessaronSheet> previous);
    // Where the sign-in sheet was opened from, so that closing it can go back there.
    const std::optional<TessaronSheet>& signInOrigin() const { return signInOrigin_; }

    // Derived state for the primary button and the views.
    TessaronPrimaryIntent primaryIntent() const;
    QString primaryTitle() const;
    bool isPrimaryActionEnabled() const;
    std::optional<TessaronProfileSummary> selectedSummary() const;
    std::optional<QString> suggestedNodeName() const;
    std::optional<TessaronNodeGeo> nodeGeo(const QUuid& id) const;
    std::optional<TessaronNodeGeo> selectedNodeGeo() const;
    // Shown after the session disconnected a link that reached no server.
    static QString autoDisconnectNotice();
    static bool storedConsentGranted(const Preferences& preferences);

    // Activity of the window, the application and the host.
    bool sceneIsActive() const { return sceneIsActive_; }
    bool appIsActive() const { return appIsActive_; }
    bool hostIdle() const { return hostIdle_; }
    void setSceneIsActive(bool active);
    // The application became active or finished launching.
    void applicationBecameActive(bool active);
    void applicationResignedActive();

    // Start-up and foreground. A cancelled bootstrap keeps what it has read, starts no further step and
    // leaves the launch roster pass to the next bootstrap.
    QCoro::Task<> bootstrap(CancellationToken cancellation = {});
    QCoro::Task<> recoverPendingInvitation();
    QCoro::Task<> refreshStaleProfiles();

    // Connecting and stopping.
    QCoro::Task<> connect();
    QCoro::Task<> startTunnel(std::optional<TessaronTransport> transport);
    QCoro::Task<> startSelectedConnection();
    QCoro::Task<> connectChosenConnection();
    void retryConnect();
    void useSuggestedNode();
    void userStopTapped();
    void stopTunnel();
    QCoro::Task<> refreshManagers();
    void applyVPNStatus(VpnStatus status);
    QCoro::Task<> awaitRosterBeforeConnect();
    std::optional<QUuid> profileNeedingRosterBeforeConnect() const;
    std::optional<FailoverCandidate> loadLastGood() const;
    QCoro::Task<> installAndStart(TessaronProfileSummary summary, QByteArray passwordReference,
                                  std::optional<QByteArray> profileJSON);

    // The extension's activation prompt.
    void dismissExtensionPrompt();
    void revealAppInFinder();

    // Settings.
    void setAutoSelect(bool on);
    QCoro::Task<> setConnectOnDemand(bool enabled);
    QCoro::Task<> setKillSwitch(bool enabled);
    void setIdleDisconnect(bool enabled);
    void grantPrivacyConsent();

    // Saved connections.
    void select(const QUuid& id);
    void pickNode(const QUuid& id);
    void applyListing(const TessaronKeychainListing& listing);
    // Stores the profile's item and lists its summary; selects it (and keeps the choice) unless a link is up
    // or starting, whose selection never moves; then reads the listing again. Throws the Keychain error, and
    // nothing is selected then.
    QCoro::Task<> storeAndSelect(TessaronProfile profile);
    QCoro::Task<> removeSavedConnection(QUuid id);
    QCoro::Task<> removeSystemConfiguration();
    void requestInvitationImport();

    // Invitations.
    // Ignores the link while another invitation is being handled: callers check linkInFlight() first.
    QCoro::Task<> openInvitationLink(QUrl url);
    bool linkInFlight() const { return linkInFlight_; }
    QCoro::Task<> redeemDeferredInvitation();
    // Throws the validation or Keychain error, or TessaronSessionFailure while a link is up.
    QCoro::Task<> installAccountProfile(TessaronProfile profile);
    QCoro::Task<TessaronRedeemResult> redeemInvitation(QString code, TessaronPairingClient client);
    QCoro::Task<TessaronRedeemResult> redeemPending(TessaronPendingRedemption record,
                                                    TessaronPairingClient client, bool isRetry);
    QCoro::Task<> commitRedeemedProfile(TessaronProfile profile);
    QCoro::Task<> recoverRedeemedInvitation(TessaronPendingRedemption record);

    // Rosters and managed profiles.
    QCoro::Task<> pullRoster(QUuid profileID);
    QList<QUuid> rosterSourceIDs() const;
    void pullRosterAfterDisconnect();
    void pullRosterWhileConnected(const QDateTime& now);
    void clearGeoData();

    // Idle disconnect.
    void evaluateIdlePolicy();

    // Sign-out: stops the tunnel, deletes the saved profiles and the system configuration, and forgets what
    // belonged to the account.
    QCoro::Task<> resetForSignOut();

    void updateLatencyTargets();
    // One error line in the system log, and the user's words for the error in lastError.
    void reportFailure(const TessaronError& error);

    // The connection check: a connected link is verified through the tunnel, re-checked every 30 s while
    // it fails and every 120 s while it works. A cycle ends when its check token is renewed.
    void startCheck(bool retry);
    // The user's "Check again".
    void recheckConnection();
    void cancelCheckTasks();

    // Guards around a link's start and end.
    void armConnectWatchdog(const QUuid& id, const QString& name);
    void disarmConnectWatchdog();
    // The last resort when no node reaches the internet: stops the tunnel and tells the user why.
    void autoDisconnect(const QString& reason);
    // A connect the user starts after a give-up gets a fresh failover budget.
    void resetFailoverAfterGiveUp();
    // `carrier` is the transport of the link that ended: the failure is charged to it.
    void handleDisconnectFailure(const PlatformError& error, TessaronTransport carrier);

    // The tunnel's own view of the link, asked for while it is up.
    void updateTunnelPhasePolling();
    void pollTunnelPhase();

    // Failover: health events move the link to the XHTTP transport, to another node, or end it.
    std::optional<FailoverCandidate> currentFailoverCandidate() const;
    // Every saved connection with each transport it has: healthy nodes fastest first, then the rest.
    QList<FailoverCandidate> failoverPlan() const;
    // A failure of a link that has ended is charged to `carrier`, the transport that carried it; without
    // one, to the active transport.
    void applyFailoverEvent(const FailoverPolicy::Event& event,
                            std::optional<TessaronTransport> carrier = std::nullopt);
    void handleConnectFailure(const std::exception& error,
                              std::optional<TessaronTransport> carrier = std::nullopt);
    // Before a connect: the fastest usable node, measuring first when some usable node never was.
    QCoro::Task<> autoSelectForConnect();

    // What the node list shows of a node.
    NodeLinkStatus linkStatus(const QUuid& id) const;
    bool isReportedDown(const QUuid& id, const QDateTime& now) const;

Q_SIGNALS:
    void phaseChanged(tessaron::TessaronLinkPhase phase);
    void vpnStatusChanged(tessaron::VpnStatus status);
    void summariesChanged(const tessaron::TessaronProfileSummaries& summaries);
    void selectedIDChanged(const std::optional<QUuid>& id);
    void latenciesChanged(const tessaron::LatencyTable& latencies);
    void nodeHealthChanged(const tessaron::NodeHealthTable& health);
    void nodeGeoChanged(const tessaron::NodeGeoTable& geo);
    void clientGeoChanged(const std::optional<tessaron::TessaronClientGeo>& geo);
    void dataUsageChanged(const std::optional<tessaron::TessaronDataUsage>& usage);
    void consentGrantedChanged(bool granted);
    void connectOnDemandChanged(bool enabled);
    void killSwitchChanged(bool enabled);
    void idleDisconnectChanged(bool enabled);
    void tunnelBlockedChanged(bool blocked);
    void autoSelectChanged(bool on);
    void switchingToChanged(const std::optional<tessaron::TessaronProfileSummary>& summary);
    void isConfigurationInstalledChanged(bool installed);
    void includeAllNetworksChanged(bool included);
    void isActingChanged(bool acting);
    void isConnectRunningChanged(bool running);
    void lastErrorChanged(const std::optional<QString>& message);
    void suggestedNodeIDChanged(const std::optional<QUuid>& id);
    void extensionNoticeChanged(const std::optional<tessaron::TessaronExtensionNotice>& notice);
    void extensionApprovalChanged(const std::optional<tessaron::TessaronExtensionApproval>& approval);
    void activeTransportChanged(tessaron::TessaronTransport transport);
    void tunnelUpSinceChanged(const std::optional<QDateTime>& since);
    void verifiedAtChanged(const std::optional<QDateTime>& at);
    void activeSheetChanged(const std::optional<tessaron::TessaronSheet>& sheet);

private:
    // Assigns a published field and announces it when it changed.
    template <typename T, typename Signal> bool assign(T& field, T value, Signal changed) {
        if (field == value)
            return false;
        field = std::move(value);
        Q_EMIT(this->*changed)(field);
        return true;
    }

    // Published setters with side effects.
    void setPhase(TessaronLinkPhase phase);
    void setSummaries(TessaronProfileSummaries summaries);
    void setSelectedID(std::optional<QUuid> id);
    void assignAutoSelect(bool on);
    void storeSelection(const std::optional<QUuid>& id);

    // Construction.
    void restoreSettings();
    void observeHost();

    // Activity.
    void updateActivity();
    void hostActivityChanged(const HostActivityState& state);
    QCoro::Task<> reconnectAfterIdle(CancellationToken cancellation);

    // Status.
    void observeConnection(const QUuid& identifier);
    void vpnStatusDidChange();
    // The configuration of the link the session follows; null when there is none.
    QUuid linkIdentifier() const;
    VpnConnection& connection();
    TessaronLinkPhase derivedPhase() const;
    QCoro::Task<> fetchDisconnectError(QUuid identifier, TessaronTransport carrier);
    void adoptManager(const TunnelProviderManager& manager);
    // Adopts a configuration of this application with the settings it holds.
    void adoptInstalledManager(const TunnelProviderManager& manager);
    void dropManager();
    void resetLinkIntent();

    // Connecting.
    static QString refusalText(TessaronSessionFailureKind kind);
    // "Wait for the current change to finish."
    void refuseBusy();
    // Marks a connect as running until the returned guard ends.
    [[nodiscard]] auto markConnectRunning() {
        assign(connectInFlight_, true, &TessaronSession::isConnectRunningChanged);
        return qScopeGuard([self = QPointer(this)] {
            if (self)
                self->assign(self->connectInFlight_, false, &TessaronSession::isConnectRunningChanged);
        });
    }
    bool applyActivation(const TessaronExtensionActivation& activation);
    void onWaiting();
    QCoro::Task<> startTunnelNow(std::optional<TessaronTransport> transport, qint64 intentGeneration);
    void configure(TunnelProviderManager& manager, const TessaronProfileSummary& summary,
                   const QByteArray& reference, const std::optional<QByteArray>& profileJSON) const;
    QCoro::Task<> startConfiguredTunnel(TessaronProfileSummary summary);
    QCoro::Task<TunnelProviderManager> saveAndReload(TunnelProviderManager manager);
    // These expect the caller to hold a turn of configurationChanges_.
    QCoro::Task<> loadManagers();
    // Saves the loaded configuration with `change` applied, in its turn among the configuration changes.
    // Gives the configuration as the system reloaded it; none without a configuration or after a failed
    // save, which is reported and followed by a reload of what the system holds.
    QCoro::Task<std::optional<TunnelProviderManager>>
    rewriteConfiguration(std::function<void(TunnelProviderManager&)> change);
    QCoro::Task<> reloadAfterFailedChange();
    QCoro::Task<> removeOwnConfigurations();

    // Saved connections. The listing is read off the main thread and applied unless a newer listing or a
    // store came meanwhile; its failure is reported. False when nothing was applied.
    QCoro::Task<bool> readListing();
    void rereadListing() { readListing(); }
    void storeGeography();
    void restoreGeography();

    // Invitations.
    QCoro::Task<> handleInvitationCode(QString code);
    QCoro::Task<> redeemAndCommit(QString code);
    // Runs a redemption, stores and selects its profile, then links it to the account; reports what fails,
    // including a pairing service that is not configured.
    QCoro::Task<> commitAndLink(std::function<QCoro::Task<TessaronRedeemResult>()> redeem);
    QCoro::Task<> recoverUnredeemed(TessaronPendingRedemption record);
    // No link is up, starting or being chosen for: a new profile may take the selection.
    bool linkIsIdle() const;
    QCoro::Task<TessaronRedeemResult> askService(TessaronPendingRedemption record,
                                                 TessaronPairingClient client);
    // The pending record's Keychain work, off the main thread. None when the record could not be marked.
    QCoro::Task<std::optional<TessaronPendingRedemption>> markPendingRedeemed(const TessaronProfile& profile);
    QCoro::Task<TessaronPairingErrorKind> recordCommitFailure(TessaronPendingRedemption record);
    // The error of a failed deletion; a record already gone counts as deleted.
    QCoro::Task<std::optional<TessaronKeychainError>> deletePendingRecord();
    QCoro::Task<> giveUpPendingRedemption();
    // Throws the Keychain error.
    QCoro::Task<> savePendingRecord(TessaronPendingRedemption record);
    void requireConsent() const;
    // None for a date that is not valid.
    std::optional<double> secondsSince(const QDateTime& start) const;

    // Rosters.
    static QCoro::Task<> fetchRosterIfAlive(QPointer<TessaronSession> self, QUuid profileID);
    QCoro::Task<> fetchRoster(QUuid profileID);
    QCoro::Task<> adoptRoster(QUuid sourceID, TessaronRosterResponse reply);
    // A roster over the reply cap is refused, and said so.
    void refuseOversizedRoster();
    QCoro::Task<> forgetSource(QUuid sourceID);
    QCoro::Task<> removeManagedConnection(QUuid id);
    QCoro::Task<> removeDeferredConnections();
    QCoro::Task<> pullConnectedRosters(qint64 generation, QList<QUuid> ids, bool retryFailures,
                                       CancellationToken cancellation);
    void checkPausedSelection();
    // The roster's refresh stamp is missing, not a date, or 900 s old or more.
    bool isStale(const QUuid& id) const;

    // Sign-out.
    QCoro::Task<> deleteAllProfiles();
    void forgetAccountState();

    // The connection check.
    void setCheckState(TessaronCheckState state);
    void markVerified();
    QCoro::Task<> runCheck(QUuid token, CancellationToken cancellation);
    QCoro::Task<> awaitCheckWatchdog(QUuid token, CancellationToken cancellation);
    QCoro::Task<> awaitCheckRetry(QUuid token, CancellationToken cancellation);
    // Whether a check task's result still belongs to the link it was started for.
    bool checkIsCurrent(QUuid token, const CancellationToken& cancellation) const;
    QCoro::Task<> awaitRecheck(QUuid token, int remaining, CancellationToken cancellation);
    QCoro::Task<> awaitPeriodicCheck(QUuid token, CancellationToken cancellation);
    void handleCheckResult(TessaronProbeResult result, const QUuid& token);
    void checkWatchdogFired(const QUuid& token);
    void armRecheck(int remaining);
    void armPeriodicCheck();
    bool mayRunPeriodicProbe() const;
    void recordFailoverRecovery(const QUuid& id);
    // Not the stored last working node.
    bool isUntried(const QUuid& id) const;

    // The connect watchdog.
    struct ConnectWatchdogTarget {
        QUuid id;
        QString name;
        Clock::Duration limit{};
    };
    QCoro::Task<> awaitConnectWatchdog(ConnectWatchdogTarget target, CancellationToken cancellation);
    void connectWatchdogFired(const ConnectWatchdogTarget& target);

    // The tunnel-phase poll.
    QCoro::Task<> askTunnelPhase(QUuid configuration);
    QCoro::Task<> askTunnelRouting(QUuid configuration);
    void pollTunnelRouting();
    void recordRoutingLine(const std::optional<QString>& line);
    void applyTunnelPhaseReport(bool blocked);
    void forgetBlockedStretch();
    void saveLastGoodCandidate();

    // Failover.
    std::optional<QString> savedConnectionName(const QUuid& id) const;
    void logFailoverSwitch(const FailoverPolicy::Event& event, const QUuid& target,
                           TessaronTransport transport);
    void beginFailoverSwitch(const QUuid& target, TessaronTransport transport, std::optional<QString> reason);
    QCoro::Task<> performFailoverSwitch(QUuid target, TessaronTransport transport,
                                        std::optional<QString> reason, qint64 requestedIntent,
                                        CancellationToken cancellation);
    void endFailoverSwitch();
    void refreshRosterAfterFailure();
    static QCoro::Task<> pullRosterAfterFailure(QPointer<TessaronSession> self, QUuid source, QUuid id);
    std::optional<QUuid> rosterSource(const QUuid& id) const;
    void logSkippedDownNodes(const QDateTime& now);
    void logAutoPick(const QUuid& pick, qsizetype excludedCount);
    // Shown once a switch left a node whose monthly traffic budget is used up.
    static QString nodeSwitchedBudgetNotice();

    TessaronSessionServices services_;
    SystemLog log_{QStringLiteral("host")};

    // Published.
    TessaronLinkPhase phase_ = TessaronLinkPhase::disconnected;
    VpnStatus vpnStatus_ = VpnStatus::invalid;
    TessaronProfileSummaries summaries_;
    std::optional<QUuid> selectedID_;
    LatencyTable latencies_;
    NodeHealthTable nodeHealth_;
    NodeGeoTable nodeGeo_;
    std::optional<TessaronClientGeo> clientGeo_;
    std::optional<TessaronDataUsage> dataUsage_;
    bool consentGranted_ = false;
    bool connectOnDemand_ = false;
    bool killSwitch_ = true;
    bool idleDisconnect_ = false;
    bool tunnelBlocked_ = false;
    bool autoSelect_ = true;
    std::optional<TessaronProfileSummary> switchingTo_;
    bool isConfigurationInstalled_ = false;
    bool includeAllNetworks_ = false;
    bool isActing_ = false;
    std::optional<QString> lastError_;
    std::optional<QUuid> suggestedNodeID_;
    std::optional<TessaronExtensionNotice> extensionNotice_;
    std::optional<TessaronExtensionApproval> extensionApproval_;
    TessaronTransport activeTransport_ = TessaronTransport::tcp;
    std::optional<QDateTime> tunnelUpSince_;
    std::optional<QDateTime> verifiedAt_;
    std::optional<TessaronSheet> activeSheet_;

    // Plain.
    std::optional<TessaronSheet> signInOrigin_;
    bool sceneIsActive_ = true;
    bool appIsActive_ = true;
    bool hostIdle_ = false;
    IdleDisconnectPolicy idlePolicy_;
    TaskSlot idleReconnectTask_;
    HostActivityMonitor hostActivity_;
    std::optional<TunnelProviderManager> manager_;
    // A live link that no readable configuration describes; followed and stoppable until a connect
    // installs a new configuration.
    std::optional<QUuid> unconfiguredLink_;
    QSet<const VpnConnection*> observedConnections_;
    std::unique_ptr<RepeatingTimer> tunnelPhaseTimer_;
    bool tunnelPhasePollArmed_ = false;
    qint64 connectGeneration_ = 0;
    // The routing line logged for a link, and the connect generation it was logged in.
    struct RecordedRoutingLine {
        QString line;
        qint64 generation = 0;
    };
    std::optional<RecordedRoutingLine> recordedRoutingLine_;
    QUuid checkToken_ = QUuid::createUuid();
    TaskSlot checkTask_;
    TaskSlot checkWatchdogTask_;
    TaskSlot checkRetryTask_;
    int checkCancelAttempts_ = 0;
    TaskSlot recheckTask_;
    TaskSlot healthCheckTask_;
    TessaronCheckState checkState_ = TessaronCheckState::idle;
    TaskSlot connectWatchdogTask_;
    std::optional<QDateTime> connectingSince_;
    bool linkInFlight_ = false;
    bool pendingConnect_ = false;
    // A connect runs from its first step to the tunnel start; a second one is refused meanwhile.
    bool connectInFlight_ = false;
    std::optional<QString> deferredInvitationCode_;
    bool invitationRecoveryInFlight_ = false;
    bool didRunLaunchRosterPass_ = false;
    // Counts listings asked for and stores: a listing applies only while it is the latest of them.
    quint64 listingRequest_ = 0;
    // Counts connect clicks that wait for the listing: only the latest acts on it.
    quint64 chosenConnectionClick_ = 0;
    // Saved connections whose profile has an XHTTP section, as last listed or stored.
    QSet<QUuid> xhttpProfiles_;
    FailoverPolicy failover_;
    std::optional<QDateTime> blockedSince_;
    bool blockedReported_ = false;
    std::optional<QDateTime> stableSince_;
    bool isFailoverSwitching_ = false;
    TaskSlot failoverSwitchTask_;
    bool failoverResetPending_ = false;
    bool manualStopRequested_ = false;
    qint64 userLinkIntentGeneration_ = 0;
    std::optional<QDateTime> lastConnectedRosterPull_;
    QSet<QUuid> connectedRosterRetryIDs_;
    bool connectedRosterPullInFlight_ = false;
    TaskSlot connectedRosterPullTask_;
    qint64 connectedRosterPullGeneration_ = 0;
    // Per roster source: when a roster pull after a failed connect was last started for it.
    QHash<QUuid, QDateTime> lastFailureRosterRefreshAt_;
    QSet<QUuid> failureAdoptionWatch_;
    // Connections the roster no longer lists that carried the link when it said so; removed once it ends.
    QSet<QUuid> removalsAfterLink_;
    TessaronPullCoalescer rosterPulls_;
    // Roster sources whose last pull failed.
    QSet<QUuid> failedRosterPulls_;
    TessaronManagedProfilesStore managedProfiles_;
    NetworkPathWait pathWait_;
    ConfigurationChanges configurationChanges_;
};

} // namespace tessaron
