#include "session_application.hpp"

#include "tunnel_harness.hpp"

#include "platform/keychain.hpp"
#include "platform/system_clock.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/keychain_store.hpp"
#include "session/session_keys.hpp"
#include "session/tunnel_configuration.hpp"
#include "support/run_task.hpp"

#include <QCoreApplication>
#include <QTest>

namespace tessaron::testing {

namespace {

// Long enough for a tunnel to launch and reach a node on a loaded machine.
constexpr int patienceMs = 10'000;

// An access group of its own keeps the items of one test apart from those of the others in the process.
BundleInfo bundleFor(const std::optional<PairingService>& service) {
    QVariantMap info{{TessaronIdentifiers::keychainAccessGroupInfoKey,
                      QStringLiteral("test.tessaron.") + QUuid::createUuid().toString(QUuid::WithoutBraces)}};
    auto locations = ProgramLocations::builtIn();
    if (service) {
        info.insert(QStringLiteral("TessaronPairingBaseURL"), service->baseURL.toString());
        // The connection check asks the local service, as development builds do.
        locations.reachabilityPage = service->baseURL.resolved(QUrl(QStringLiteral("/success.txt")));
    }
    return BundleInfo(info, locations);
}

} // namespace

SessionApplication::SessionApplication(const TunnelHarness& harness, std::optional<PairingService> service,
                                       bool realTime)
    : clock(realTime ? static_cast<Clock&>(SystemClock::shared()) : manualClock_)
    , preferences(preferencesFilePath(standardPreferencesSuite), clock)
    , group(preferencesFilePath(Preferences::applicationGroup), clock)
    , bundle(bundleFor(service))
    , harness_(harness)
    , service_(std::move(service))
    , extensions_(TessaronIdentifiers::tunnelExtensionBundle, TunnelEndpoint::defaultProgram())
    // The test program runs from the build's program folder, beside the tunnel: that folder plays the
    // applications folder, so the activator finds the application where it must be.
    , activator_(extensions_, clock, log,
                 {QCoreApplication::applicationFilePath(), QCoreApplication::applicationDirPath()}) {
    preferences.setValue(session_keys::privacyConsent, true);
    preferences.setValue(session_keys::privacyConsentVersion, TessaronIdentifiers::consentVersion);
}

SessionApplication::~SessionApplication() {
    quit();
}

TessaronSession& SessionApplication::launch() {
    QtHttpTransportOptions http;
    if (service_)
        http.trustedAuthorities = service_->authorities;
    parts_ = std::make_unique<LinuxSessionServices>(
        SessionSurroundings{
            .clock = clock,
            .preferences = preferences,
            .groupPreferences = group,
            .keychain = systemKeychain(),
            .bundle = bundle,
            .upgradeGate = gate,
            .connectionLog = log,
            .activator = activator_,
            .tunnel = harness_.endpoint(),
            .configurationsPath = VpnConfigurationStore::defaultPath(),
            .http = http,
        },
        signIn_);
    session_ = std::make_unique<TessaronSession>(parts_->services());
    runTask(session_->bootstrap(), std::chrono::milliseconds(patienceMs));
    return *session_;
}

void SessionApplication::quit() {
    session_.reset();
    parts_.reset();
}

void SessionApplication::save(const TessaronProfile& profile) {
    TessaronKeychainStore(systemKeychain(), bundle).storeItem(profile.canonicalJSON(), profile.id);
}

bool SessionApplication::waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, patienceMs);
}

QList<TunnelProviderManager> SessionApplication::savedConfigurations() const {
    return VpnConfigurationStore(VpnConfigurationStore::defaultPath(), SystemClock::shared()).load();
}

std::optional<QByteArray> SessionApplication::ask(const QString& message) {
    const auto own = TessaronManagerSelection::ownManagers(savedConfigurations());
    if (own.isEmpty())
        return std::nullopt;
    auto& connection = parts_->tunnelManagers().connection(own.first().identifier);
    const auto reply = runTask(connection.sendProviderMessage(message.toUtf8()));
    // The session's own replies, answered before this one, finish their work in posted events.
    QCoreApplication::sendPostedEvents();
    return reply;
}

QStringList SessionApplication::logLines() const {
    QStringList lines;
    for (const auto& entry : log.entries())
        lines.append(entry.text);
    return lines;
}

} // namespace tessaron::testing
