#pragma once

#include "platform/preferences.hpp"
#include "platform/tunnel_provider_manager.hpp"
#include "profiles/profile_summary.hpp"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaron {

// What the session writes into the system's VPN configuration for the tunnel, and how it recognises its
// own configurations among those of other VPN applications. Pure functions: nothing here saves a manager.

// The protocol for one profile. Every network is routed through the tunnel whatever the kill switch says:
// the kill switch reaches the tunnel only as the "killSwitch" value. "profile" is present only when
// profile data is given.
TunnelProviderProtocol tunnelProtocol(const TessaronProfileSummary& summary,
                                      const QByteArray& passwordReference, bool killSwitch,
                                      const std::optional<QByteArray>& profileJSON);

// One connect rule for any interface when enabled; no rules when not.
void applyOnDemandRules(TunnelProviderManager& manager, bool enabled);

// Rewrites only the "killSwitch" value of a tunnel provider protocol; other protocols stay as they are.
void setKillSwitchOnManager(TunnelProviderManager& manager, bool enabled);

struct TessaronManagerSelection {
    // The managers whose protocol names this application's tunnel, in the order given.
    static QList<TunnelProviderManager> ownManagers(const QList<TunnelProviderManager>& managers);
    // The own manager written for the profile, else the first enabled one, else the first one.
    static std::optional<TunnelProviderManager> preferred(const QList<TunnelProviderManager>& managers,
                                                          const std::optional<QUuid>& profileID);
    // The text under "profileID" of the manager's provider configuration.
    static std::optional<QString> profileID(const std::optional<TunnelProviderManager>& manager);
};

// Whether the system kept what was written for the profile: the tunnel, full routing, the server and the
// profile's id, name and version. The kill switch, the profile data and the password reference play no part.
bool installedConfigurationMatches(const TunnelProviderManager& manager,
                                   const TessaronProfileSummary& summary);

// The Boolean under "killSwitch"; none when the configuration holds no such Boolean.
std::optional<bool> installedKillSwitch(const TunnelProviderManager& manager);

// The text trimmed of white space and line breaks; none when nothing is left.
std::optional<QString> trimmedNonEmpty(const QString& text);

// The routing line the tunnel keeps in the application group's preferences.
std::optional<QString> sharedRoutingLine(const Preferences& groupPreferences);

} // namespace tessaron
