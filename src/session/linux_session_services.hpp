#pragma once

#include "platform/qt_http_transport.hpp"
#include "platform/tunnel_endpoint.hpp"
#include "session/tessaron_session.hpp"

#include <QString>

#include <memory>

namespace tessaron {

class BundleInfo;
class LinuxHostActivitySource;
class LinuxInterfaceAddresses;
class LinuxTunnelManagers;
class TcpConnectProbe;
class TessaronServerUpgradeGate;

// Where a session's parts keep their state and whom they answer to. The application takes standard();
// an integration test points every store at folders, a keyring, a tunnel socket and a service of its own.
struct SessionSurroundings {
    // The clock of the session's own rules. The link to the tunnel process keeps the system clock: its
    // time-outs guard a real process.
    Clock& clock;
    Preferences& preferences;
    Preferences& groupPreferences;
    Keychain& keychain;
    // The Keychain access group and the pairing service's base URL.
    const BundleInfo& bundle;
    TessaronServerUpgradeGate& upgradeGate;
    TessaronConnectionLog& connectionLog;
    TessaronSystemExtensionActivating& activator;
    TunnelEndpoint tunnel;
    // The file that keeps the VPN configurations.
    QString configurationsPath;
    QtHttpTransportOptions http;

    // The process's shared stores, log and activator, the user's tunnel and the bundle's service.
    static SessionSurroundings standard();
};

// The Linux implementations a session runs on, built once from its surroundings and owned together: the
// VPN configurations and the tunnel link, the TCP latency probe and its monitor, host activity over
// D-Bus, the network path, the interface list and the HTTPS transport of the pairing client.
class LinuxSessionServices {
public:
    // `signIn` and everything the surroundings name must outlive this object.
    LinuxSessionServices(SessionSurroundings surroundings, TessaronSignInState& signIn);
    ~LinuxSessionServices();
    LinuxSessionServices(const LinuxSessionServices&) = delete;
    LinuxSessionServices& operator=(const LinuxSessionServices&) = delete;

    // What one session is built with; it must not outlive this object.
    TessaronSessionServices services();
    TunnelManagers& tunnelManagers();

private:
    SessionSurroundings surroundings_;
    TessaronSignInState& signIn_;
    std::unique_ptr<QtHttpTransport> http_;
    std::unique_ptr<LinuxTunnelManagers> tunnelManagers_;
    std::unique_ptr<TcpConnectProbe> probe_;
    std::unique_ptr<LatencyMonitor> latencyMonitor_;
    std::unique_ptr<LinuxHostActivitySource> hostActivity_;
    std::unique_ptr<LinuxInterfaceAddresses> interfaceAddresses_;
};

} // namespace tessaron
