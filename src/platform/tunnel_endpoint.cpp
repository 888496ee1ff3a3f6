#include "platform/tunnel_endpoint.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <unistd.h>

namespace tessaron {

QString TunnelEndpoint::defaultSocketName() {
    const auto runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/tessaron-tunnel.socket");
    // A folder of this user's own: a name directly in the shared temporary folder could be taken first
    // by anyone. The tunnel creates it and refuses to serve from it unless it is private.
    return QDir::tempPath() + QStringLiteral("/tessaron-%1/tessaron-tunnel.socket").arg(getuid());
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
