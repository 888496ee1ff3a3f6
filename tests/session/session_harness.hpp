#pragma once

#include "health/latency_monitor.hpp"
#include "platform/bundle_info.hpp"
#include "platform/http_transport.hpp"
#include "platform/one_shot.hpp"
#include "profiles/connection_log.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile.hpp"
#include "profiles/upgrade_gate.hpp"
#include "session/system_extension_activating.hpp"
#include "session/tessaron_session.hpp"
#include "support/fake_host_activity_source.hpp"
#include "support/fake_interface_addresses.hpp"
#include "support/fake_keychain.hpp"
#include "support/fake_path_monitor.hpp"
#include "support/fake_tunnel_managers.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

#include <memory>

namespace tessaron::testing {

// The extension activation, answered as the test says: activated unless an outcome is queued. An
// outcome can be held back until release(), as the system holds it while it waits for the user.
class ScriptedActivator final : public TessaronSystemExtensionActivating {
public:
    void enqueue(TessaronExtensionActivation outcome) { outcomes_.push_back(outcome); }
    void holdNext() { hold_ = true; }
    void release(TessaronExtensionActivation outcome);

    QCoro::Task<TessaronExtensionActivation> ensureActivated(std::function<void()> onWaiting) override;
    void cancel() override {}
    void openExtensionSettings() override {}

    int calls = 0;

private:
    QList<TessaronExtensionActivation> outcomes_;
    bool hold_ = false;
    std::optional<OneShot<TessaronExtensionActivation>> held_;
};

// The pairing service: rosters per profile and redemption answers as the test scripts them, each taking
// as long on the clock as the test says.
class FakePairingService final : public HttpTransport {
public:
    explicit FakePairingService(Clock& clock)
        : clock_(clock) {}

    void setRoster(const QUuid& source, TessaronRosterResponse roster) {
        rosters_.insert(source, std::move(roster));
    }
    // The service no longer knows the profile; a profile without a roster gets 503.
    void forget(const QUuid& source) { forgotten_.insert(source); }
    // The next roster pulls answer with these statuses (for any profile) before the set rosters answer again.
    void failNextRosters(QList<int> statuses) { rosterFailures_.append(statuses); }
    void enqueueRedeem(int status, QByteArray body = {}) {
        redeems_.push_back({status, {}, std::move(body), false});
    }
    void enqueueRedeem(const TessaronProfile& profile);
    void setDelay(Clock::Duration delay) { delay_ = delay; }

    // The JSON bodies sent to a path, in order.
    QList<QJsonObject> sent(const QString& path) const;

    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override;

private:
    HttpResponse answer(const HttpRequest& request);

    Clock& clock_;
    QHash<QUuid, TessaronRosterResponse> rosters_;
    QSet<QUuid> forgotten_;
    QList<int> rosterFailures_;
    QList<HttpResponse> redeems_;
    Clock::Duration delay_{};
    QList<HttpRequest> requests_;
};

// The reachability page as the connection check sees it through the tunnel: "Success" at once unless the
// test says otherwise.
class FakeReachability final : public HttpTransport {
public:
    explicit FakeReachability(Clock& clock)
        : clock_(clock) {}

    static HttpOutcome success() { return HttpResponse{200, {}, "Success", false}; }
    static HttpOutcome failure() { return HttpResponse{503, {}, {}, false}; }
    // The system cancelled the request.
    static HttpOutcome systemCancel() { return HttpFailure{HttpFailure::Kind::cancelled, {}}; }

    // Every request from now on gets this answer.
    void answer(HttpOutcome outcome) { answer_ = std::move(outcome); }
    // Every request from now on hangs, deaf to cancellation, until a minute has passed.
    void hang() { hangs_ = true; }

    int requestCount() const { return requestCount_; }

    QCoro::Task<HttpOutcome> send(HttpRequest request, CancellationToken cancellation = {}) override;

private:
    Clock& clock_;
    HttpOutcome answer_ = success();
    bool hangs_ = false;
    int requestCount_ = 0;
};

class SignedIn final : public TessaronSignInState {
public:
    bool isSignedIn() const override { return signedIn; }
    bool isSignInStateKnown() const override { return known; }
    QCoro::Task<> signInStateKnown() override { co_return; }
    QCoro::Task<> linkProfileIfSignedIn(TessaronSession* session) override {
        linked.append(session->selectedID());
        co_return;
    }

    bool signedIn = true;
    // Whether the stored sign-in was read; the answer itself is awaited at once.
    bool known = true;
    QList<std::optional<QUuid>> linked;
};

// How a started task ended, once it has.
struct Completion {
    bool done = false;
    std::exception_ptr error;
};
std::shared_ptr<Completion> track(QCoro::Task<> task);

// Profiles to save and hand out, named after their node.
TessaronProfile sampleProfile(const QString& name, const QString& server = {}, bool withXHTTP = false);

// Every collaborator of a session as fakes on one manual clock, and the session over them.
class SessionHarness {
public:
    SessionHarness();
    ~SessionHarness();

    TessaronSession& start() {
        session = std::make_unique<TessaronSession>(services());
        return *session;
    }
    // What start() builds the session with: the fakes and the hooks set here.
    TessaronSessionServices services();
    // Ends the session and starts a new one over the same stores, as a relaunch would.
    TessaronSession& restart();
    // Starts (or restarts) the session and lets its bootstrap run.
    TessaronSession& launch() {
        run(start().bootstrap());
        return *session;
    }
    TessaronSession& relaunch() {
        run(restart().bootstrap());
        return *session;
    }

    // Delivers posted status changes and runs what is due, without moving time.
    void settle();
    // Starts the task and settles.
    std::shared_ptr<Completion> run(QCoro::Task<> task) {
        auto completion = track(std::move(task));
        settle();
        return completion;
    }
    void advance(Clock::Duration step) {
        settle();
        clock.advance(step);
        settle();
    }
    // Advances and tells the phase, or the log lines that start with `prefix`. Beside other values, put them
    // first in a braced list, `(std::tuple{phaseAfter(1s), requests()})`: a braced list is evaluated left to
    // right, function arguments in no set order.
    TessaronLinkPhase phaseAfter(Clock::Duration step) {
        advance(step);
        return session->phase();
    }
    QStringList linesAfter(Clock::Duration step, const QString& prefix) {
        advance(step);
        return linesStartingWith(prefix);
    }

    void grantConsent();
    void save(const TessaronProfile& profile);
    // The profile's item holding `data`, as something else may have written it (the tunnel's annotation).
    void saveItem(const QUuid& id, const QByteArray& data);
    // Consent given, the profiles saved with fresh rosters, the session started with the first one
    // selected, and the log cleared.
    TessaronSession& startSelected(const QList<TessaronProfile>& profiles);
    // Connects and lets the tunnel report connected.
    void connectFully() {
        run(session->connect());
        tunnel().setStatus(VpnStatus::connected);
        settle();
    }
    void stampRoster(const QUuid& id, Clock::Duration age);
    // Records the managed profiles of a roster source.
    void manage(const TessaronProfile& source, const QList<TessaronProfile>& managed);
    // A configuration of this application written for the profile before the session started.
    QUuid installConfiguration(const TessaronProfile& profile);
    // The saved configuration's connection, for driving the tunnel's status.
    FakeVpnConnection& tunnel() {
        return tunnels.fakeConnection(tunnels.stored().isEmpty() ? QUuid()
                                                                 : tunnels.stored().first().identifier);
    }
    QStringList logLines() const { return linesStartingWith({}); }
    std::optional<QByteArray> pendingRecord() const;
    // A redemption of invitationCode left behind by an earlier run.
    void leaveRedemption(std::chrono::seconds age, std::optional<TessaronProfile> redeemed = std::nullopt,
                         bool retryUsed = false);
    // The redemption ids sent to the service, in order.
    QStringList redemptionIDs() const;

    // Helpers for scripting a link step by step.
    // Automatic selection as given and a configuration already installed for the first profile, so that the
    // test can script the tunnel before the first connect; then as startSelected.
    TessaronSession& ready(const QList<TessaronProfile>& profiles, bool autoSelect = true) {
        preferences.setValue(QStringLiteral("tessaron.autoSelect"), autoSelect);
        installConfiguration(profiles.first());
        return startSelected(profiles);
    }
    // Connects and lets the tunnel report connected at once.
    void connectAndComeUp() {
        tunnel().setStartSteps({{Clock::Duration::zero(), VpnStatus::connecting},
                                {Clock::Duration::zero(), VpnStatus::connected}});
        run(session->connect());
    }
    // Every start of the tunnel from now on comes to connecting and then ends by itself `after` it, with the
    // tunnel's failure `code` as its last disconnect error.
    void tunnelFailsAfterStart(Clock::Duration after, qint64 code);
    // Advances in steps of `step`, settling after each, as the event loop would run through `total`.
    void runFor(Clock::Duration total, Clock::Duration step);
    // The latency monitor the session is built with.
    LatencyMonitor& latencyMonitor() { return *latency_; }
    // Every connection check from now on passes or fails.
    void checksPass(bool pass) {
        reachability.answer(pass ? FakeReachability::success() : FakeReachability::failure());
    }
    // What the tunnel answers to "phase" from now on.
    void reportPhase(const QString& phase);
    // As if the node had carried a stable link earlier in this run.
    void rememberLastGood(const QUuid& id, TessaronTransport transport = TessaronTransport::tcp);
    bool logged(const QString& line) const { return logLines().contains(line); }
    // The log lines that start with `prefix`, in order.
    QStringList linesStartingWith(const QString& prefix) const;
    // The log as one text, for a readable failure message.
    std::string logText() const { return logLines().join(u'\n').toStdString(); }
    // The transport the installed configuration hands the tunnel.
    QString installedTransport() const;
    // The roster sources pulled from the service, in order.
    QList<QUuid> rosterPulls() const;
    // The saved profile's keychain item.
    std::optional<QByteArray> savedItem(const QUuid& id) const;
    // An item under the profiles' service that is not a profile.
    void saveUnreadable();

    static inline const QString invitationCode = QStringLiteral("Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a");
    static QUrl invitationLink() {
        return QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + invitationCode);
    }

    ManualClock clock;
    MemoryPreferences preferences;
    MemoryPreferences group;
    FakeKeychain keychain;
    BundleInfo bundle;
    FakeTunnelManagers tunnels{clock};
    ScriptedActivator activator;
    FakeHostActivitySource host;
    FakePathMonitors paths{PathMonitor::Status::satisfied};
    FakeInterfaceAddresses interfaces;
    TessaronConnectionLog log{preferences, clock};
    TessaronServerUpgradeGate gate{preferences};
    FakePairingService pairing{clock};
    FakeReachability reachability{clock};
    bool lowPower = false;
    // The application's move into the applications folder; empty, the session's follow-up runs at once.
    std::function<void(std::function<void()>)> moveApplication;
    // Connect times the latency probe reports, by server, after the delay; a server without one never
    // answers.
    QHash<QString, int> latencyAnswers;
    Clock::Duration latencyDelay{};
    SignedIn signIn;
    // The account the session sees; a test may put the real account model here before start().
    TessaronSignInState* account = &signIn;
    // What the session calls last in its construction; a test may set it before start().
    std::function<void()> startCrashReporting;
    // The activation the session uses; a test may put the real activator here before start().
    TessaronSystemExtensionActivating* activation = &activator;
    // The keychain the session uses; a bench may put the real keyring here before start().
    Keychain* keyring = &keychain;
    std::unique_ptr<TessaronSession> session;

private:
    class ScriptedProbe final : public LatencyProbe {
    public:
        explicit ScriptedProbe(SessionHarness& harness)
            : harness_(harness) {}
        QCoro::Task<std::optional<int>> measure(QString host, int) override;

    private:
        SessionHarness& harness_;
    };

    ScriptedProbe probe_{*this};
    std::unique_ptr<LatencyMonitor> latency_;
};

} // namespace tessaron::testing
