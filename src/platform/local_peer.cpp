#include "platform/local_peer.hpp"

#include <QLocalSocket>

namespace tessaron {

std::optional<ucred> localPeerCredentials(const QLocalSocket* socket) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (!socket || socket->socketDescriptor() < 0 ||
        getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials;
}

} // namespace tessaron
