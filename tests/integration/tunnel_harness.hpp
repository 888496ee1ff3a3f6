#pragma once

#include "platform/json_file_preferences.hpp"
#include "platform/linux_tunnel_managers.hpp"
#include "platform/tunnel_endpoint.hpp"
#include "profiles/profile.hpp"

#include <QHostAddress>
#include <QJsonValue>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>
#include <optional>

#include <sys/types.h>

namespace tessaron::testing {

// The surroundings of one test against the real tunnel process: a socket and a configuration folder of
// its own, so that tests run side by side, and the end of the tunnel the test started.
//
// The configuration folder becomes this process's XDG_CONFIG_HOME, which the tunnels it launches
// inherit: the configurations and the application group's preferences land in it.
class TunnelHarness {
public:
    TunnelHarness();
    // Kills whatever tunnel serves the test's socket.
    ~TunnelHarness();
    TunnelHarness(const TunnelHarness&) = delete;
    TunnelHarness& operator=(const TunnelHarness&) = delete;

    const TunnelEndpoint& endpoint() const { return endpoint_; }
    // A process started with this as its XDG_RUNTIME_DIR finds the test's tunnel as its standard one.
    QString runtimeFolder() const { return directory_.path(); }

    // Another instance of the application: it finds the tunnel as a new launch would.
    std::unique_ptr<LinuxTunnelManagers> openApplication() const;
    // The application group's preferences, as the tunnel writes them.
    JsonFilePreferences groupPreferences() const;

    // Starts the tunnel the way the application does, and waits until it serves.
    bool launchTunnel() const;
    bool isServing() const;
    // The process serving the socket, as the kernel tells it.
    std::optional<pid_t> tunnelProcess() const;
    // Ends the tunnel without letting it clean up, and waits until its socket no longer answers.
    void killTunnel() const;
    // Scripts how the running tunnel treats the node at `server`; null removes the script.
    bool script(const QString& server, const QJsonValue& script) const;

private:
    QTemporaryDir directory_;
    TunnelEndpoint endpoint_;
};

// A node of the service: a TCP listener on a loopback address of its own.
class Node {
public:
    Node() { server_.listen(QHostAddress(QStringLiteral("127.0.0.2"))); }
    QString address() const { return server_.serverAddress().toString(); }
    quint16 port() const { return server_.serverPort(); }
    bool wasReached() { return server_.hasPendingConnections() || server_.waitForNewConnection(0); }
    // Leaves the port closed: nothing listens there any more.
    void close() { server_.close(); }

private:
    QTcpServer server_;
};

// A profile of a node at server:port, named as given.
TessaronProfile nodeProfile(const QString& name, const QString& server, quint16 port);

} // namespace tessaron::testing
