#include "platform/tunnel_endpoint.hpp"

#include "platform/private_files.hpp"

#include <QCoreApplication>
#include <QProcess>

namespace tessaron {

QString TunnelEndpoint::defaultSocketName() {
    // The tunnel creates the folder and refuses to serve from it unless it is private.
    return userRuntimeFolder() + QStringLiteral("/tessaron-tunnel.socket");
}

QString TunnelEndpoint::defaultProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tessaron-tunnel");
}

bool TunnelEndpoint::launch() const {
    QProcess process;
    process.setProgram(program);
    process.setArguments({QStringLiteral("--socket"), socketName});
    // The tunnel outlives the application; it must not hold the application's terminal or pipes.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace tessaron
