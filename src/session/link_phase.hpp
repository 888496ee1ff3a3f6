#pragma once

#include <QString>

namespace tessaron {

// Where the session's link stands, as the views show it.
enum class TessaronLinkPhase {
    disconnected,
    connecting,
    checking,
    connected,
    checkFailed,
    disconnecting,
};

// The phase's title in the user's language ("Disconnected", "Connecting", …).
QString title(TessaronLinkPhase phase);

} // namespace tessaron
