#include "session/linux_session_services.hpp"

#include "health/tcp_connect_probe.hpp"
#include "platform/bundle_info.hpp"
#include "platform/json_file_preferences.hpp"
#include "platform/linux_host_activity_source.hpp"
#include "platform/linux_interface_addresses.hpp"
#include "platform/linux_path_monitor.hpp"
#include "platform/linux_tunnel_managers.hpp"
#include "platform/power_state_observer.hpp"
#include "platform/system_clock.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "profiles/installation_identity.hpp"
#include "profiles/upgrade_gate.hpp"
#include "session/pairing_service_config.hpp"
#include "session/system_extension_activator.hpp"

#include <QDBusConnection>

namespace tessaron {

SessionSurroundings SessionSurroundings::standard() {
    return {
        .clock = SystemClock::shared(),
        .preferences = standardPreferences(),
        .groupPreferences = tessaron::groupPreferences(),
        .keychain = systemKeychain(),
        .bundle = BundleInfo::main(),
        .upgradeGate = TessaronServerUpgradeGate::shared(),
        .connectionLog = TessaronConnectionLog::shared(),
        .activator = SystemExtensionActivator::shared(),
        .tunnel = TunnelEndpoint::standard(),
        .configurationsPath = VpnConfigurationStore::defaultPath(),
        .http = {},
    };
}

LinuxSessionServices::LinuxSessionServices(SessionSurroundings surroundings, TessaronSignInState& signIn)
    : surroundings_(std::move(surroundings))
    , signIn_(signIn)
    , http_(std::make_unique<QtHttpTransport>(surroundings_.http))
    , tunnelManagers_(std::make_unique<LinuxTunnelManagers>(surroundings_.configurationsPath,
                                                            surroundings_.tunnel, SystemClock::shared()))
    , probe_(std::make_unique<TcpConnectProbe>(surroundings_.clock))
    , latencyMonitor_(std::make_unique<LatencyMonitor>(*probe_, surroundings_.clock))
    , hostActivity_(std::make_unique<LinuxHostActivitySource>(QDBusConnection::systemBus(),
                                                              QDBusConnection::sessionBus()))
    , interfaceAddresses_(std::make_unique<LinuxInterfaceAddresses>()) {}

LinuxSessionServices::~LinuxSessionServices() = default;

TunnelManagers& LinuxSessionServices::tunnelManagers() {
    return *tunnelManagers_;
}

TessaronSessionServices LinuxSessionServices::services() {
    auto& keychain = surroundings_.keychain;
    const auto& bundle = surroundings_.bundle;
    auto* http = http_.get();
    auto* gate = &surroundings_.upgradeGate;
    return TessaronSessionServices{
        .clock = surroundings_.clock,
        .preferences = surroundings_.preferences,
        .groupPreferences = surroundings_.groupPreferences,
        .keychain = keychain,
        .keychainStore = TessaronKeychainStore(keychain, bundle),
        .pendingRedemptions = TessaronPendingRedemptionStore(keychain, bundle),
        .installationID = [&keychain, &bundle] { return installationID(keychain, bundle); },
        // The service is looked up at every use: a bundle without one fails each pull and redemption.
        .pairingClient =
            [&bundle, http, clock = &surroundings_.clock, gate] {
                return TessaronPairingClient(makePairingOrigin(bundle), *http, *clock, *gate, bundle);
            },
        .tunnelManagers = *tunnelManagers_,
        .activator = surroundings_.activator,
        .latencyMonitor = *latencyMonitor_,
        .reachability = ConnectionHealthChecker(
            *http, surroundings_.clock,
            [log = &surroundings_.connectionLog](const QString& line) { log->append(line); },
            bundle.locations().reachabilityPage),
        .lowPowerMode = [] { return PowerStateObserver::shared().lowPower(); },
        .hostActivity = *hostActivity_,
        .pathMonitors = LinuxPathMonitor::factory(),
        .interfaceAddresses = *interfaceAddresses_,
        .connectionLog = surroundings_.connectionLog,
        .signIn = signIn_,
        // The application plugs in its mover and crash reporting.
        .revealApplication = {},
        .startCrashReporting = {},
    };
}

} // namespace tessaron
