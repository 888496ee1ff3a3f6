#pragma once

#include "platform/bundle_info.hpp"
#include "platform/json_file_preferences.hpp"
#include "platform/linux_system_extension_requests.hpp"
#include "platform/tunnel_provider_manager.hpp"
#include "profiles/connection_log.hpp"
#include "profiles/profile.hpp"
#include "profiles/upgrade_gate.hpp"
#include "session/assumed_sign_in.hpp"
#include "session/linux_session_services.hpp"
#include "session/system_extension_activator.hpp"
#include "session/tessaron_session.hpp"
#include "support/manual_clock.hpp"

#include <QSslCertificate>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tessaron::testing {

class TunnelHarness;

// The pairing service a launch talks to, over HTTPS signed by the test's own authority.
struct PairingService {
    QUrl baseURL;
    QList<QSslCertificate> authorities;
};

// The application as a user runs it, launched and quit by the test: a session built by the production
// composition over the real tunnel process of the harness, the real Secret Service, preferences and VPN
// configurations in the harness's configuration folder, and the real extension activator. Unless it runs in
// real time, the session's own rules run on a manual clock that stands still (its connection check and
// watchdog never fall due), so only the tunnel moves the link on.
//
// The user has consented already: no suite here is about the privacy step. Construct it after the harness:
// the harness chooses the configuration folder.
class SessionApplication {
public:
    explicit SessionApplication(const TunnelHarness& harness, std::optional<PairingService> service = {},
                                bool realTime = false);
    ~SessionApplication();
    SessionApplication(const SessionApplication&) = delete;
    SessionApplication& operator=(const SessionApplication&) = delete;

    // Builds the parts and the session and runs the launch restore to its end.
    TessaronSession& launch();
    // Ends the session and its parts, as quitting the application does; the tunnel runs on.
    void quit();

    // A saved connection, stored as the application stores one.
    void save(const TessaronProfile& profile);

    // Waits in real time, while events run, until `condition` holds; false when it never did.
    static bool waitFor(const std::function<bool()>& condition);

    // The VPN configurations as saved in their file now.
    QList<TunnelProviderManager> savedConfigurations() const;
    // Asks the tunnel of the session's configuration, through the session's own link to the tunnel.
    // The tunnel answers a link's requests in order, so earlier requests of the session are answered too.
    std::optional<QByteArray> ask(const QString& message);
    QStringList logLines() const;

private:
    ManualClock manualClock_;

public:
    Clock& clock;
    JsonFilePreferences preferences;
    JsonFilePreferences group;
    BundleInfo bundle;
    TessaronServerUpgradeGate gate{preferences};
    TessaronConnectionLog log{preferences, clock};

private:
    const TunnelHarness& harness_;
    std::optional<PairingService> service_;
    LinuxSystemExtensionRequests extensions_;
    SystemExtensionActivator activator_;
    AssumedSignIn signIn_;
    std::unique_ptr<LinuxSessionServices> parts_;
    std::unique_ptr<TessaronSession> session_;
};

} // namespace tessaron::testing
