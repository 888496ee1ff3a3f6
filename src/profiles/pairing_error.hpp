#pragma once

#include "platform/tessaron_error.hpp"

namespace tessaron {

// The declaration order fixes each case's code, which users may quote from "The request failed (…)".
enum class TessaronPairingErrorKind {
    invalidBaseURL,
    invalidConsent,
    invalidResponse,
    serviceUnavailable,
    unexpectedStatus,
    transportFailure,
    timedOut,
    cancelled,
    redeemedNotCommitted,
    redeemedUnrecoverable,
    invitationUnavailable,
    rateLimited,
    upgradeRequired,
    profileUnknown,
};

// A failure of the pairing service or of what the client did with its reply. Cases the user never needs
// to read about (a cancellation, a roster entry the service forgot) carry no message.
class TessaronPairingError final : public EnumError<TessaronPairingErrorKind> {
public:
    using EnumError::EnumError;

    QString domain() const override { return QStringLiteral("TessaronPairingError"); }
    std::optional<QString> userMessage() const override;
};

} // namespace tessaron
