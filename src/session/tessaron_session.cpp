#include "session/tessaron_session.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/json_values.hpp"
#include "session/error_sanitizer.hpp"
#include "session/session_failure.hpp"
#include "session/session_keys.hpp"
#include "session/summary_order.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>

namespace tessaron {

TessaronSession::TessaronSession(TessaronSessionServices services, QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , hostActivity_(services_.hostActivity)
    , managedProfiles_(services_.preferences)
    , pathWait_(services_.clock, services_.pathMonitors)
    , configurationChanges_([self = QPointer(this)](bool busy) {
        if (self)
            self->assign(self->isActing_, busy, &TessaronSession::isActingChanged);
    }) {
    // The node and transport that last worked are remembered only within one run.
    services_.preferences.remove(session_keys::lastGood);
    restoreSettings();
    observeHost();
    QObject::connect(&services_.latencyMonitor, &LatencyMonitor::samplesChanged, this,
                     [this](const LatencyTable& samples) {
                         assign(latencies_, samples, &TessaronSession::latenciesChanged);
                     });
    updateLatencyTargets();
    if (services_.startCrashReporting)
        services_.startCrashReporting();
}

TessaronSession::~TessaronSession() = default;

void TessaronSession::restoreSettings() {
    const auto& preferences = services_.preferences;
    // Restored values replace the defaults without announcing a change or writing anything back.
    consentGranted_ = storedConsentGranted(preferences);
    connectOnDemand_ = preferences.boolean(session_keys::connectOnDemand).value_or(false);
    killSwitch_ = preferences.boolean(session_keys::killSwitch).value_or(true);
    idleDisconnect_ = preferences.boolean(session_keys::idleDisconnect).value_or(false);
    autoSelect_ = preferences.boolean(session_keys::autoSelect).value_or(true);
    // Whether the profile still exists is left to the bootstrap.
    if (const auto text = preferences.text(session_keys::selectedProfileID)) {
        if (const auto id = uuidFromText(*text))
            setSelectedID(*id);
    }
}

void TessaronSession::observeHost() {
    hostActivity_.setOnChange([self = QPointer(this)](const HostActivityState& state) {
        if (self)
            self->hostActivityChanged(state);
    });
    hostActivity_.start();
}

bool TessaronSession::storedConsentGranted(const Preferences& preferences) {
    return preferences.boolean(session_keys::privacyConsent).value_or(false) &&
           preferences.text(session_keys::privacyConsentVersion) == TessaronIdentifiers::consentVersion;
}

// Published setters.

void TessaronSession::setPhase(TessaronLinkPhase phase) {
    assign(phase_, phase, &TessaronSession::phaseChanged);
    updateLatencyTargets();
}

void TessaronSession::setSummaries(TessaronProfileSummaries summaries) {
    assign(summaries_, std::move(summaries), &TessaronSession::summariesChanged);
    updateLatencyTargets();
}

void TessaronSession::setSelectedID(std::optional<QUuid> id) {
    assign(selectedID_, id, &TessaronSession::selectedIDChanged);
    updateLatencyTargets();
}

void TessaronSession::assignAutoSelect(bool on) {
    assign(autoSelect_, on, &TessaronSession::autoSelectChanged);
    services_.preferences.setValue(session_keys::autoSelect, on);
}

void TessaronSession::storeSelection(const std::optional<QUuid>& id) {
    if (id)
        services_.preferences.setValue(session_keys::selectedProfileID, uuidText(*id));
    else
        services_.preferences.remove(session_keys::selectedProfileID);
}

void TessaronSession::setLastError(std::optional<QString> message) {
    assign(lastError_, std::move(message), &TessaronSession::lastErrorChanged);
}

void TessaronSession::setSuggestedNodeID(std::optional<QUuid> id) {
    assign(suggestedNodeID_, id, &TessaronSession::suggestedNodeIDChanged);
}

void TessaronSession::setActiveSheet(std::optional<TessaronSheet> sheet) {
    const auto previous = activeSheet_;
    assign(activeSheet_, sheet, &TessaronSession::activeSheetChanged);
    activeSheetDidChange(previous);
}

void TessaronSession::activeSheetDidChange(std::optional<TessaronSheet> previous) {
    const bool returnsToSettings =
        activeSheet_ == TessaronSheet::signIn && previous == TessaronSheet::settings;
    signInOrigin_ = returnsToSettings ? std::optional(TessaronSheet::settings) : std::nullopt;
    // An invitation that waited for consent is dropped when the privacy sheet closes without it.
    if (previous == TessaronSheet::privacy && activeSheet_ != TessaronSheet::privacy && !consentGranted_)
        deferredInvitationCode_.reset();
}

void TessaronSession::updateLatencyTargets() {
    using namespace std::chrono_literals;
    QList<LatencyTarget> targets;
    targets.reserve(summaries_.size());
    for (const auto& summary : summaries_)
        targets.append(LatencyTarget{summary.id, summary.server, summary.port});
    const auto activeInterval = phase_ == TessaronLinkPhase::connected ? 10s : 30s;
    services_.latencyMonitor.update(std::move(targets), selectedID_, activeInterval, 30s);
}

void TessaronSession::reportFailure(const TessaronError& error) {
    log_.error(QStringLiteral("failed %1 %2").arg(error.domain(), QString::number(error.code())));
    setLastError(TessaronErrorSanitizer::message(error));
}

QString TessaronSession::refusalText(TessaronSessionFailureKind kind) {
    return TessaronSessionFailure(kind).userMessage().value_or(QString());
}

void TessaronSession::refuseBusy() {
    setLastError(refusalText(TessaronSessionFailureKind::busy));
}

// Derived state.

TessaronPrimaryIntent TessaronSession::primaryIntent() const {
    // Before the stored sign-in is read the button reads as for a signed-in user, and is disabled.
    const auto& signIn = services_.signIn;
    const bool signedIn = !signIn.isSignInStateKnown() || signIn.isSignedIn();
    return tessaron::primaryIntent({phase_, signedIn, consentGranted_, selectedID_.has_value()});
}

QString TessaronSession::primaryTitle() const {
    return tessaron::primaryTitle(primaryIntent(), phase_, tunnelBlocked_);
}

bool TessaronSession::isPrimaryActionEnabled() const {
    return phase_ != TessaronLinkPhase::disconnecting && !isActing_ && services_.signIn.isSignInStateKnown();
}

std::optional<TessaronProfileSummary> TessaronSession::selectedSummary() const {
    if (!selectedID_)
        return std::nullopt;
    const auto found = std::ranges::find(summaries_, *selectedID_, &TessaronProfileSummary::id);
    return found == summaries_.end() ? std::nullopt : std::optional(*found);
}

std::optional<QString> TessaronSession::suggestedNodeName() const {
    if (!suggestedNodeID_)
        return std::nullopt;
    const auto found = std::ranges::find(summaries_, *suggestedNodeID_, &TessaronProfileSummary::id);
    return found == summaries_.end() ? std::nullopt : std::optional(found->name);
}

std::optional<TessaronNodeGeo> TessaronSession::nodeGeo(const QUuid& id) const {
    const auto found = nodeGeo_.constFind(id);
    return found == nodeGeo_.constEnd() ? std::nullopt : std::optional(*found);
}

std::optional<TessaronNodeGeo> TessaronSession::selectedNodeGeo() const {
    return selectedID_ ? nodeGeo(*selectedID_) : std::nullopt;
}

QString TessaronSession::autoDisconnectNotice() {
    //: Shown after Tessaron disconnected a link that reached no server.
    static const QString notice = QCoreApplication::translate(
        "TessaronSession",
        "Tessaron couldn't reach the internet through any server and disconnected to restore your "
        "connection. Try again in a minute. If this keeps happening, check your invitation in Settings.");
    return notice;
}

// Activity.

void TessaronSession::setSceneIsActive(bool active) {
    sceneIsActive_ = active;
    updateActivity();
}

void TessaronSession::applicationBecameActive(bool active) {
    // A host that the application finds active again was not idle, whatever the last report said.
    if (active && hostActivity_.isRunning() && hostActivity_.state().isIdle())
        hostActivity_.clearIdleFlags();
    if (active == appIsActive_)
        return;
    appIsActive_ = active;
    updateActivity();
}

void TessaronSession::applicationResignedActive() {
    if (!appIsActive_)
        return;
    appIsActive_ = false;
    services_.latencyMonitor.setActive(false);
    updateTunnelPhasePolling();
}

void TessaronSession::updateActivity() {
    services_.latencyMonitor.setActive(sceneIsActive_ && appIsActive_ && !hostIdle_);
    updateTunnelPhasePolling();
}

void TessaronSession::hostActivityChanged(const HostActivityState& state) {
    const bool idle = state.isIdle();
    if (idle == hostIdle_)
        return;
    hostIdle_ = idle;
    services_.connectionLog.append(idle ? QStringLiteral("host idle") : QStringLiteral("host active"));
    updateActivity();
    evaluateIdlePolicy();
}

// Privacy consent and sheets.

void TessaronSession::grantPrivacyConsent() {
    assign(consentGranted_, true, &TessaronSession::consentGrantedChanged);
    services_.preferences.setValue(session_keys::privacyConsent, true);
    services_.preferences.setValue(session_keys::privacyConsentVersion, TessaronIdentifiers::consentVersion);
    const bool connectWasPending = std::exchange(pendingConnect_, false);
    if (activeSheet_ == TessaronSheet::privacy)
        setActiveSheet(std::nullopt);
    if (auto code = std::exchange(deferredInvitationCode_, std::nullopt)) {
        handleInvitationCode(*code);
        return;
    }
    if (connectWasPending && !linkInFlight_ && !isActing_ && phase_ == TessaronLinkPhase::disconnected &&
        selectedID_)
        connect();
}

void TessaronSession::requestInvitationImport() {
    if (isActing_) {
        refuseBusy();
        return;
    }
    if (phase_ != TessaronLinkPhase::disconnected) {
        setLastError(refusalText(TessaronSessionFailureKind::profileChangeWhileActive));
        return;
    }
    if (consentGranted_) {
        setActiveSheet(TessaronSheet::importInvitation);
        return;
    }
    pendingConnect_ = false;
    setActiveSheet(TessaronSheet::privacy);
}

// Saved connections.

void TessaronSession::select(const QUuid& id) {
    if (std::ranges::find(summaries_, id, &TessaronProfileSummary::id) == summaries_.end())
        return;
    if (phase_ != TessaronLinkPhase::disconnected && selectedID_ != id) {
        setLastError(refusalText(TessaronSessionFailureKind::disconnectFirst));
        return;
    }
    setSelectedID(id);
    storeSelection(id);
    setLastError(std::nullopt);
    setSuggestedNodeID(std::nullopt);
}

void TessaronSession::pickNode(const QUuid& id) {
    // Picking by hand ends automatic selection even when the pick itself is refused.
    if (autoSelect_)
        assignAutoSelect(false);
    select(id);
}

void TessaronSession::setAutoSelect(bool on) {
    if (on == autoSelect_)
        return;
    assignAutoSelect(on);
    if (!on)
        return;
    setSuggestedNodeID(std::nullopt);
    autoSelectForConnect();
}

void TessaronSession::applyListing(const TessaronKeychainListing& listing) {
    auto sorted = listing.summaries;
    sortSummaries(sorted);
    setSummaries(std::move(sorted));
    if (selectedID_ &&
        std::ranges::find(summaries_, *selectedID_, &TessaronProfileSummary::id) == summaries_.end()) {
        setSelectedID(std::nullopt);
        storeSelection(std::nullopt);
    }
    if (listing.unreadableCount > 0 && lastError_.value_or(QString()).isEmpty())
        setLastError(QStringLiteral("A saved connection could not be read."));
}

QCoro::Task<bool> TessaronSession::readListing() {
    QPointer self(this);
    const auto request = ++listingRequest_;
    try {
        // One search of the keyring: the listing also tells which profiles offer XHTTP.
        auto list = [store = services_.keychainStore] {
            return store.listProfiles();
        };
        const auto listing = co_await services_.keychain.run(std::move(list));
        if (!self || request != listingRequest_)
            co_return false;
        xhttpProfiles_ = listing.withXHTTP;
        applyListing(listing);
        co_return true;
    } catch (const TessaronError& error) {
        if (self && request == listingRequest_)
            reportFailure(error);
    }
    co_return false;
}

QCoro::Task<> TessaronSession::storeAndSelect(TessaronProfile profile) {
    QPointer self(this);
    auto write = [store = services_.keychainStore, data = profile.canonicalJSON(), id = profile.id] {
        store.storeItem(data, id);
    };
    co_await services_.keychain.run(std::move(write));
    if (!self)
        co_return;
    // A listing read before this item was written must not take it away again.
    ++listingRequest_;
    if (profile.xhttp)
        xhttpProfiles_.insert(profile.id);
    else
        xhttpProfiles_.remove(profile.id);
    auto summaries = summaries_;
    const auto summary = TessaronProfileSummary::summary(profile);
    const auto found = std::ranges::find(summaries, profile.id, &TessaronProfileSummary::id);
    if (found == summaries.end())
        summaries.append(summary);
    else
        *found = summary;
    setSummaries(std::move(summaries));
    // Moving the selection under a live or starting link would point the hero, the latency targets and
    // failover at a node the link does not use.
    if (linkIsIdle()) {
        setSelectedID(profile.id);
        storeSelection(profile.id);
    }
    rereadListing();
    log_.info(QStringLiteral("invitation stored"));
}

QCoro::Task<> TessaronSession::bootstrap(CancellationToken cancellation) {
    QPointer self(this);
    restoreGeography();
    co_await readListing();
    if (!self || cancellation.isCancelled())
        co_return;
    co_await refreshManagers();
    if (!self || cancellation.isCancelled() || std::exchange(didRunLaunchRosterPass_, true))
        co_return;
    // The launch pass runs on its own: the window need not wait for the pairing service.
    refreshStaleProfiles();
}

} // namespace tessaron
