#pragma once

#include <QString>

// The preference keys the session reads and writes in the standard preferences.
namespace tessaron::session_keys {

inline const QString privacyConsent = QStringLiteral("tessaron.privacyConsent");
inline const QString privacyConsentVersion = QStringLiteral("tessaron.privacyConsentVersion");
inline const QString connectOnDemand = QStringLiteral("tessaron.connectOnDemand");
inline const QString killSwitch = QStringLiteral("tessaron.killSwitch");
inline const QString idleDisconnect = QStringLiteral("tessaron.idleDisconnect");
inline const QString autoSelect = QStringLiteral("tessaron.autoSelect");
inline const QString selectedProfileID = QStringLiteral("tessaron.selectedProfileID");
inline const QString lastGood = QStringLiteral("tessaron.failover.lastGood");
inline const QString rosterGeo = QStringLiteral("tessaron.rosterGeo");
inline const QString clientGeo = QStringLiteral("tessaron.clientGeo");
// Followed by a roster source's UUID text: when its roster was last refreshed.
inline const QString profilesRefreshedAtPrefix = QStringLiteral("tessaron.profilesRefreshedAt.");

} // namespace tessaron::session_keys
