#pragma once

#include <QString>

namespace tessaron {

// Where the application finds the tunnel: the local socket the tunnel listens on, and the program that
// starts it when it does not run.
struct TunnelEndpoint {
    QString socketName;
    QString program;

    // One tunnel per user: "$XDG_RUNTIME_DIR/tessaron-tunnel.socket", or
    // "<temp>/tessaron-<uid>/tessaron-tunnel.socket" where there is no runtime folder.
    static QString defaultSocketName();
    // "tessaron-tunnel" beside the running executable.
    static QString defaultProgram();
    static TunnelEndpoint standard() { return {defaultSocketName(), defaultProgram()}; }

    // Starts the tunnel detached from this process; false when it could not be started.
    bool launch() const;
};

} // namespace tessaron
