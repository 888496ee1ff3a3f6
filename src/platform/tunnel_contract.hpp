#pragma once

#include <QString>
#include <QtGlobal>

namespace tessaron {

// The names the application shares with the packet tunnel, defined once for both sides.

struct TessaronTunnelPhaseContract {
    // The provider message answered with the JSON phase report.
    static inline const QString message = QStringLiteral("phase");
    // The one phase the application acts on.
    static inline const QString blocked = QStringLiteral("blocked");
};

struct TessaronTunnelRoutingContract {
    // The provider message answered with one line of text.
    static inline const QString message = QStringLiteral("routing");
    // The same line, kept by the tunnel in the application group's preferences.
    static inline const QString sharedRoutingKey = QStringLiteral("tessaron.tunnel.routing");
    // The provider-configuration key of the routing mode, and its one value.
    static inline const QString routingModeKey = QStringLiteral("routingMode");
    static inline const QString smart = QStringLiteral("smart");
};

// Written by the tunnel in the application group's preferences when its link ends; the application
// only removes it.
inline const QString tunnelLastStopKey = QStringLiteral("tessaron.tunnel.lastStop");

// The failures the tunnel reports, in its own error domain: the extension's bundle identifier.
namespace tunnel_failure {
inline const QString domain = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
// The provider configuration lacks what the tunnel needs to start.
constexpr qint64 configurationIncomplete = 1;
// The Keychain item behind the password reference, or the profile in it, cannot be read.
constexpr qint64 profileUnavailable = 2;
constexpr qint64 serverNotResolved = 4;
constexpr qint64 connectTimedOut = 10;
constexpr qint64 serverUnreachable = 12;
} // namespace tunnel_failure

} // namespace tessaron
