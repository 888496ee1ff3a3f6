#pragma once

#include "session/link_phase.hpp"

#include <QDateTime>

#include <chrono>
#include <optional>

namespace tessaron {

// Whether the session took the link down because the host went idle, so that it brings it back when the
// host returns, unless the user has acted on the link since.
struct IdleDisconnectPolicy {
    enum class Action { none, disconnect, reconnectAfterPathWait };

    struct Inputs {
        bool idleDisconnect = false;
        bool hostIdle = false;
        TessaronLinkPhase phase = TessaronLinkPhase::disconnected;
        qint64 userLinkIntentGeneration = 0;
        QDateTime now;
    };

    struct Decision;

    // How long the reconnection waits for a usable network path.
    static constexpr std::chrono::seconds pathWait{120};
    static inline const QString disconnectLogLine = QStringLiteral("auto-disconnect: host idle");

    bool disconnectedForIdle = false;
    std::optional<QDateTime> resumedAt;
    // The user's link-intent generation when the idle stop happened.
    qint64 generationAtStop = 0;

    // Run whenever the host state or the link changes. With the setting on, an idle host takes down a
    // link that is up or being built (one already going down is left alone); the host's return after such
    // a stop asks for a reconnection once the network path is usable.
    Decision evaluate(const Inputs& inputs) const;

    // After the path wait: reconnect only to a link that is still down, on a host that has not gone idle
    // again meanwhile, and only when the user has not connected or stopped since the idle stop.
    bool shouldReconnect(TessaronLinkPhase phase, bool hostIdle, qint64 userLinkIntentGeneration) const;

    bool operator==(const IdleDisconnectPolicy&) const = default;
};

struct IdleDisconnectPolicy::Decision {
    Action action = Action::none;
    // The policy to keep from now on.
    IdleDisconnectPolicy next;
};

} // namespace tessaron
