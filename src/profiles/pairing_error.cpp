#include "profiles/pairing_error.hpp"

namespace tessaron {

std::optional<QString> TessaronPairingError::userMessage() const {
    switch (kind()) {
    case TessaronPairingErrorKind::invalidBaseURL:
        return QStringLiteral("The pairing service is not configured.");
    case TessaronPairingErrorKind::invalidConsent:
        return QStringLiteral("Review the privacy terms first.");
    case TessaronPairingErrorKind::invalidResponse:
        return QStringLiteral("The service sent a reply Tessaron cannot read.");
    case TessaronPairingErrorKind::serviceUnavailable:
        return QStringLiteral("The service is not available right now. Try again in a moment.");
    case TessaronPairingErrorKind::unexpectedStatus:
        return QStringLiteral("The service could not complete the request.");
    case TessaronPairingErrorKind::transportFailure:
        return QStringLiteral("Tessaron could not reach the service.");
    case TessaronPairingErrorKind::timedOut:
        return QStringLiteral("The invitation took too long. Try again.");
    case TessaronPairingErrorKind::redeemedNotCommitted:
        return QStringLiteral(
            "The invitation was accepted but could not be saved yet. Tessaron will try again.");
    case TessaronPairingErrorKind::redeemedUnrecoverable:
        return QStringLiteral(
            "The invitation was used but its connection could not be saved. Ask for a new invitation.");
    case TessaronPairingErrorKind::invitationUnavailable:
        return QStringLiteral("This invitation is no longer available.");
    case TessaronPairingErrorKind::rateLimited:
        return QStringLiteral("Too many attempts. Try again later.");
    case TessaronPairingErrorKind::upgradeRequired:
        return QStringLiteral("Update Tessaron to continue.");
    case TessaronPairingErrorKind::cancelled:
    case TessaronPairingErrorKind::profileUnknown:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace tessaron
