#include "session_harness.hpp"

#include "health/failover_candidate.hpp"
#include "platform/tunnel_contract.hpp"
#include "profiles/json_values.hpp"
#include "profiles/pending_redemption.hpp"
#include "session/tunnel_configuration.hpp"
#include "support/event_loop_turn.hpp"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

namespace tessaron::testing {

namespace {

const QString accessGroup = QStringLiteral("test.tessaron.shared");
const QString profileService = QStringLiteral("com.hallmere.tessaron.profile");
const QUuid installation = QUuid::fromString(QStringLiteral("1d4c2a9e-7b3f-4e21-9c6a-5f0e8d2b1a37"));

QCoro::Task<> complete(QCoro::Task<> task, std::shared_ptr<Completion> completion) {
    try {
        co_await std::move(task);
    } catch (...) {
        completion->error = std::current_exception();
    }
    completion->done = true;
}

} // namespace

std::shared_ptr<Completion> track(QCoro::Task<> task) {
    auto completion = std::make_shared<Completion>();
    complete(std::move(task), completion);
    return completion;
}

void ScriptedActivator::release(TessaronExtensionActivation outcome) {
    if (auto held = std::exchange(held_, std::nullopt))
        held->resume(outcome);
}

QCoro::Task<TessaronExtensionActivation> ScriptedActivator::ensureActivated(std::function<void()>) {
    ++calls;
    if (std::exchange(hold_, false)) {
        held_ = OneShot<TessaronExtensionActivation>();
        const auto held = *held_;
        co_return co_await held;
    }
    co_return outcomes_.isEmpty() ? TessaronExtensionActivation::Kind::activated : outcomes_.takeFirst();
}

void FakePairingService::enqueueRedeem(const TessaronProfile& profile) {
    enqueueRedeem(200, QJsonDocument(TessaronRedeemResult{profile, std::nullopt}.toJSON()).toJson());
}

QList<QJsonObject> FakePairingService::sent(const QString& path) const {
    QList<QJsonObject> bodies;
    for (const auto& request : requests_) {
        if (request.url.path() == path)
            bodies.append(QJsonDocument::fromJson(request.body).object());
    }
    return bodies;
}

QCoro::Task<HttpOutcome> FakePairingService::send(HttpRequest request, CancellationToken cancellation) {
    requests_.append(request);
    co_await eventLoopTurn();
    if (delay_ > Clock::Duration::zero())
        co_await clock_.sleep(delay_, cancellation);
    auto response = answer(request);
    // As the real transport reads a body: one past the caller's cap ends the exchange, or is cut.
    if (response.body.size() > request.maxBodyBytes) {
        if (request.overflow == HttpRequest::Overflow::fail)
            co_return HttpFailure{HttpFailure::Kind::tooLarge, {}};
        response.body.truncate(request.maxBodyBytes);
        response.truncated = true;
    }
    co_return response;
}

HttpResponse FakePairingService::answer(const HttpRequest& request) {
    if (request.url.path() == TessaronPairingClient::redeemPath)
        return redeems_.isEmpty() ? HttpResponse{503, {}, {}, false} : redeems_.takeFirst();
    if (!rosterFailures_.isEmpty())
        return {rosterFailures_.takeFirst(), {}, {}, false};
    const auto body = QJsonDocument::fromJson(request.body).object();
    const auto id = uuidFromText(body.value(QStringLiteral("profileID")).toString());
    if (id && forgotten_.contains(*id))
        return {404, {}, {}, false};
    if (!id || !rosters_.contains(*id))
        return {503, {}, {}, false};
    return {200, {}, QJsonDocument(rosters_.value(*id).toJSON()).toJson(), false};
}

QCoro::Task<HttpOutcome> FakeReachability::send(HttpRequest, CancellationToken cancellation) {
    ++requestCount_;
    const auto outcome = answer_;
    co_await eventLoopTurn();
    if (hangs_)
        co_await clock_.sleep(std::chrono::minutes(1));
    co_return hangs_ ? failure() : cancellation.isCancelled() ? systemCancel() : outcome;
}

QCoro::Task<std::optional<int>> SessionHarness::ScriptedProbe::measure(QString host, int) {
    if (harness_.latencyDelay > Clock::Duration::zero())
        co_await harness_.clock.sleep(harness_.latencyDelay);
    const auto found = harness_.latencyAnswers.constFind(host);
    co_return found == harness_.latencyAnswers.constEnd() ? std::nullopt : std::optional(*found);
}

TessaronProfile sampleProfile(const QString& name, const QString& server, bool withXHTTP) {
    auto object = QJsonDocument::fromJson(R"({"version": 1, "port": 443, "security": "tls",
        "userID": "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d", "serverName": "edge.example.net",
        "flow": "xtls-rprx-vision"})")
                      .object();
    object.insert("id", QUuid::createUuid().toString(QUuid::WithoutBraces));
    object.insert("name", name);
    object.insert("server", server.isEmpty() ? name.toLower() + ".example.net" : server);
    if (withXHTTP)
        object.insert("xhttp", QJsonObject{{"path", "/x"}, {"serverName", "cdn.example.org"}});
    return TessaronProfile::fromJSON(object);
}

// The harness.

SessionHarness::SessionHarness()
    : bundle(QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), accessGroup}}, ProgramLocations{})
    , latency_(std::make_unique<LatencyMonitor>(probe_, clock)) {}

SessionHarness::~SessionHarness() {
    session.reset();
    settle();
}

TessaronSessionServices SessionHarness::services() {
    return TessaronSessionServices{
        .clock = clock,
        .preferences = preferences,
        .groupPreferences = group,
        .keychain = *keyring,
        .keychainStore = TessaronKeychainStore(*keyring, bundle),
        .pendingRedemptions = TessaronPendingRedemptionStore(*keyring, bundle),
        .installationID = [] { return installation; },
        .pairingClient =
            [this] {
                return TessaronPairingClient(
                    TessaronPairingOrigin(QUrl(QStringLiteral("https://pairing.test"))), pairing, clock, gate,
                    bundle);
            },
        .tunnelManagers = tunnels,
        .activator = *activation,
        .latencyMonitor = *latency_,
        .reachability = ConnectionHealthChecker(
            reachability, clock, [this](const QString& line) { log.append(line); },
            QUrl(QStringLiteral("https://reachability.test/success.txt"))),
        .lowPowerMode = [this] { return lowPower; },
        .hostActivity = host,
        .pathMonitors = paths.factory(),
        .interfaceAddresses = interfaces,
        .connectionLog = log,
        .signIn = *account,
        .revealApplication = moveApplication,
        .startCrashReporting = startCrashReporting};
}

TessaronSession& SessionHarness::restart() {
    session.reset();
    latency_ = std::make_unique<LatencyMonitor>(probe_, clock);
    settle();
    return start();
}

void SessionHarness::settle() {
    // Every keychain answer is a posted event, and a flow may ask the keychain a dozen times in a row.
    for (int round = 0; round < 64; ++round) {
        QCoreApplication::sendPostedEvents();
        clock.runDue();
    }
}

void SessionHarness::grantConsent() {
    preferences.setValue(QStringLiteral("tessaron.privacyConsent"), true);
    preferences.setValue(QStringLiteral("tessaron.privacyConsentVersion"),
                         QStringLiteral("tessaron-access-v1"));
}

void SessionHarness::save(const TessaronProfile& profile) {
    saveItem(profile.id, profile.canonicalJSON());
}

void SessionHarness::saveItem(const QUuid& id, const QByteArray& data) {
    keychain.setItem(accessGroup, profileService, uuidText(id), data);
}

TessaronSession& SessionHarness::startSelected(const QList<TessaronProfile>& profiles) {
    grantConsent();
    for (const auto& profile : profiles) {
        save(profile);
        stampRoster(profile.id, std::chrono::seconds(60));
    }
    launch();
    session->select(profiles.first().id);
    log.clear();
    return *session;
}

void SessionHarness::stampRoster(const QUuid& id, Clock::Duration age) {
    preferences.setValue(
        QStringLiteral("tessaron.profilesRefreshedAt.") + uuidText(id),
        clock.now().addMSecs(-std::chrono::duration_cast<std::chrono::milliseconds>(age).count()));
}

void SessionHarness::manage(const TessaronProfile& source, const QList<TessaronProfile>& managed) {
    QJsonArray ids;
    for (const auto& profile : managed)
        ids.append(uuidText(profile.id));
    preferences.setValue(
        QStringLiteral("tessaron.managedProfiles"),
        QJsonDocument(QJsonObject{{uuidText(source.id), ids}}).toJson(QJsonDocument::Compact));
}

QUuid SessionHarness::installConfiguration(const TessaronProfile& profile) {
    TunnelProviderManager manager;
    manager.enabled = true;
    manager.localizedDescription = QStringLiteral("Tessaron");
    manager.protocolConfiguration =
        tunnelProtocol(TessaronProfileSummary::summary(profile), "reference", true, std::nullopt);
    return tunnels.addStored(manager);
}

QStringList SessionHarness::linesStartingWith(const QString& prefix) const {
    QStringList lines;
    for (const auto& entry : log.entries()) {
        if (entry.text.startsWith(prefix))
            lines.append(entry.text);
    }
    return lines;
}

std::optional<QByteArray> SessionHarness::pendingRecord() const {
    return keychain.item(accessGroup, QStringLiteral("com.hallmere.tessaron.pending-redemption"),
                         QStringLiteral("pending"));
}

void SessionHarness::leaveRedemption(std::chrono::seconds age, std::optional<TessaronProfile> redeemed,
                                     bool retryUsed) {
    TessaronPendingRedemptionStore(keychain, bundle)
        .save({.code = invitationCode,
               .redemptionID = QUuid::createUuid(),
               .installationID = QUuid::createUuid(),
               .startedAt = clock.now().addSecs(-age.count()),
               .retryUsed = retryUsed,
               .redeemedProfileJSON = redeemed ? std::optional(redeemed->canonicalJSON()) : std::nullopt,
               .redeemed = redeemed.has_value()});
}

QStringList SessionHarness::redemptionIDs() const {
    QStringList ids;
    for (const auto& body : pairing.sent(TessaronPairingClient::redeemPath))
        ids.append(body.value(QStringLiteral("redemptionID")).toString());
    return ids;
}

void SessionHarness::tunnelFailsAfterStart(Clock::Duration after, qint64 code) {
    tunnel().setStartSteps({{Clock::Duration::zero(), VpnStatus::connecting},
                            {after, VpnStatus::disconnected, PlatformError(tunnel_failure::domain, code)}});
}

void SessionHarness::runFor(Clock::Duration total, Clock::Duration step) {
    for (auto ran = Clock::Duration::zero(); ran < total; ran += step)
        advance(step);
}

void SessionHarness::reportPhase(const QString& phase) {
    const QJsonObject report{{"phase", phase}, {"since", 1767225600.5}, {"attempts", 1}, {"lastError", {}}};
    tunnel().setReply("phase", QJsonDocument(report).toJson(QJsonDocument::Compact));
}

void SessionHarness::rememberLastGood(const QUuid& id, TessaronTransport transport) {
    preferences.setValue(
        QStringLiteral("tessaron.failover.lastGood"),
        QJsonDocument(FailoverCandidate{id, transport}.toJSON()).toJson(QJsonDocument::Compact));
}

QString SessionHarness::installedTransport() const {
    if (tunnels.stored().isEmpty())
        return {};
    const auto& configuration = tunnels.stored().first().tunnelProvider()->providerConfiguration;
    const auto profile = configuration->constFind(QStringLiteral("profile"))->dataValue();
    return QJsonDocument::fromJson(profile.value_or(QByteArray())).object().value("transport").toString();
}

QList<QUuid> SessionHarness::rosterPulls() const {
    QList<QUuid> ids;
    for (const auto& body : pairing.sent(QStringLiteral("/v1/profiles")))
        ids.append(uuidFromText(body.value(QStringLiteral("profileID")).toString()).value_or(QUuid()));
    return ids;
}

std::optional<QByteArray> SessionHarness::savedItem(const QUuid& id) const {
    return keychain.item(accessGroup, profileService, uuidText(id));
}

void SessionHarness::saveUnreadable() {
    keychain.setItem(accessGroup, profileService, uuidText(QUuid::createUuid()), "not a profile");
}

} // namespace tessaron::testing
