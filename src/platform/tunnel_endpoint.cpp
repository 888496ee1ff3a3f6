#include "platform/tunnel_endpoint.hpp"

#include <QCoreApplication>
#include <QDir>

#include <unistd.h>

namespace tessaron {

QString TunnelEndpoint::defaultSocketName() {
    const auto runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/tessaron-tunnel.socket");
    return QDir::tempPath() + QStringLiteral("/tessaron-tunnel-%1.socket").arg(getuid());
}

QString TunnelEndpoint::defaultProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tessaron-tunnel");
}

} // namespace tessaron
