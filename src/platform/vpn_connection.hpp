#pragma once

#include "platform/vpn_error.hpp"

#include <QByteArray>
#include <QObject>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tessaron {

enum class VpnStatus {
    // The configuration is not stored.
    invalid = 0,
    disconnected = 1,
    connecting = 2,
    connected = 3,
    // The tunnel is re-establishing a link it had.
    reasserting = 4,
    disconnecting = 5,
};

// True for the statuses of a tunnel that is up, or on its way up or down.
inline bool isLive(VpnStatus status) {
    return status == VpnStatus::connecting || status == VpnStatus::connected ||
           status == VpnStatus::reasserting || status == VpnStatus::disconnecting;
}

// The connection of one VPN configuration: it starts and stops that configuration's tunnel, reports its
// status, and carries messages to the running tunnel. Lives on the main thread.
class VpnConnection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual VpnStatus status() const = 0;

    // Hands the start to the tunnel and returns once the tunnel took it; how the start goes is told by the
    // status changes that follow, and a failure by lastDisconnectError(). Throws VpnError when the
    // configuration is not stored, disabled, or the tunnel cannot be reached.
    virtual QCoro::Task<> startTunnel() = 0;
    // Does nothing unless this configuration's tunnel is up or on its way.
    virtual void stopTunnel() = 0;

    // Why this configuration's tunnel last went down, when it failed; none after a stop that was asked
    // for.
    virtual QCoro::Task<std::optional<PlatformError>> lastDisconnectError() = 0;

    // Sends a message to this configuration's running tunnel and returns its reply, which may be absent.
    // Throws VpnError connectionFailed when the tunnel does not run this configuration.
    virtual QCoro::Task<std::optional<QByteArray>> sendProviderMessage(QByteArray message) = 0;

Q_SIGNALS:
    void statusChanged(tessaron::VpnStatus status);
};

} // namespace tessaron
