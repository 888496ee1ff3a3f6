#pragma once

#include "platform/vpn_connection.hpp"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaron {

// What the tunnel tells about itself.
struct TunnelState {
    // The configuration the tunnel runs, or ran last; null before it ever started one.
    QUuid configuration;
    VpnStatus status = VpnStatus::disconnected;
    std::optional<PlatformError> lastError;

    bool operator==(const TunnelState&) const = default;
};

// The vocabulary of the link between the application and the tunnel (see TunnelChannel).
//
// The application sends requests: {"kind": <request kind>, "request": <id>, …}; the tunnel answers each
// with {"kind": "reply", "request": <id>, …}, with "error" set when it refused. Besides, the tunnel pushes
// {"kind": "status", "configuration", "status", "lastError"} to every application on the link when it
// attaches and after every change, always before the reply to the request that caused the change.
namespace tunnel_message {

inline const QString kind = QStringLiteral("kind");
inline const QString request = QStringLiteral("request");
inline const QString error = QStringLiteral("error");

// Pushed by the tunnel.
inline const QString status = QStringLiteral("status");
inline const QString reply = QStringLiteral("reply");

// Requests. "start" carries "configuration" and "protocol" (TunnelProviderProtocol::toJson); "stop" and
// "message" carry "configuration", and "message" its bytes in "data" (base64), which the reply answers in
// "data" too (null for no reply). "script" carries "node" and "script" (see the tunnel's NodeScript).
inline const QString start = QStringLiteral("start");
inline const QString stop = QStringLiteral("stop");
inline const QString message = QStringLiteral("message");
inline const QString script = QStringLiteral("script");

inline const QString configuration = QStringLiteral("configuration");
inline const QString protocol = QStringLiteral("protocol");
inline const QString lastError = QStringLiteral("lastError");
inline const QString data = QStringLiteral("data");
inline const QString node = QStringLiteral("node");

QJsonValue encodeIdentifier(const QUuid& identifier);
QUuid decodeIdentifier(const QJsonValue& value);

QJsonValue encodeData(const std::optional<QByteArray>& bytes);
std::optional<QByteArray> decodeData(const QJsonValue& value);

// The status push. A status value outside the known ones reads as disconnected.
QJsonObject encodeState(const TunnelState& state);
TunnelState decodeState(const QJsonObject& message);

} // namespace tunnel_message

} // namespace tessaron
