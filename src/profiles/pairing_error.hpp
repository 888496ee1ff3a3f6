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

    // A reply over the client's cap: unreadable like any invalid response, and told apart so that a
    // roster cut off by its size can be named.
    static TessaronPairingError replyTooLarge() {
        TessaronPairingError error(TessaronPairingErrorKind::invalidResponse);
        error.tooLarge_ = true;
        return error;
    }
    bool isReplyTooLarge() const { return tooLarge_; }

    QString domain() const override { return QStringLiteral("TessaronPairingError"); }
    std::optional<QString> userMessage() const override;

private:
    bool tooLarge_ = false;
};

} // namespace tessaron
