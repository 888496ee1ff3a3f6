#pragma once

#include <optional>

#include <sys/socket.h>

class QLocalSocket;

namespace tessaron {

// The process at the other end of a connected local socket, as the kernel tells it; none when it cannot be
// told. A socket's file mode keeps other users out only as long as nobody loosens it: check the peer too.
std::optional<ucred> localPeerCredentials(const QLocalSocket* socket);

} // namespace tessaron
