// The stand-in for the packet-tunnel extension: one process per user, started by the application when it
// first needs the tunnel, and left running when the application quits.
//
//   tessaron-tunnel [--socket <name>]

#include "packet_tunnel.hpp"
#include "tunnel_server.hpp"

#include "platform/json_file_preferences.hpp"
#include "platform/keychain.hpp"
#include "platform/system_clock.hpp"
#include "platform/system_log.hpp"
#include "platform/tunnel_endpoint.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <unistd.h>

int main(int argc, char* argv[]) {
    using namespace tessaron;

    // A session of its own: a signal to the application's terminal or process group must not reach it.
    setsid();
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption socketOption(QStringLiteral("socket"),
                                          QStringLiteral("The local socket to serve."),
                                          QStringLiteral("name"), TunnelEndpoint::defaultSocketName());
    parser.addOption(socketOption);
    parser.process(application);

    PacketTunnel tunnel(systemKeychain(), groupPreferences(), SystemClock::shared());
    TunnelServer server(tunnel, SystemClock::shared());
    switch (server.listen(parser.value(socketOption))) {
    case TunnelServer::Listening::serving:
        break;
    case TunnelServer::Listening::servedAlready:
        SystemLog(QStringLiteral("tunnel")).info(QStringLiteral("another tunnel serves this user"));
        return 0;
    case TunnelServer::Listening::refused:
        return 1;
    }
    QObject::connect(&server, &TunnelServer::idle, &application, &QCoreApplication::quit);
    return application.exec();
}
