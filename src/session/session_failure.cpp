#include "session/session_failure.hpp"

namespace tessaron {

std::optional<QString> TessaronSessionFailure::userMessage() const {
    switch (kind()) {
    case Kind::configurationNotSaved:
        return QStringLiteral("The VPN configuration did not save completely.");
    case Kind::disconnectFirst:
        return QStringLiteral("Disconnect before removing the active connection.");
    case Kind::profileChangeWhileActive:
        return QStringLiteral("Disconnect before changing connections.");
    case Kind::localEndpoint:
        return QStringLiteral(
            "Use another device. This Mac cannot send all traffic through its own address.");
    case Kind::busy:
        return QStringLiteral("Wait for the current change to finish.");
    }
    return std::nullopt;
}

} // namespace tessaron
