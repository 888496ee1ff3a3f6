#include "session/error_sanitizer.hpp"

#include "platform/tunnel_contract.hpp"
#include "profiles/installation_identity_error.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_error.hpp"
#include "session/session_failure.hpp"

namespace tessaron {

namespace {

template <typename... Errors> bool isOneOf(const TessaronError& error) {
    return (... || (dynamic_cast<const Errors*>(&error) != nullptr));
}

std::optional<QString> ownMessage(const TessaronError& error) {
    const bool writtenForTheUser =
        isOneOf<TessaronPairingError, TessaronInstallationIdentityError, TessaronProfileError,
                TessaronKeychainError, TessaronSessionFailure>(error);
    if (!writtenForTheUser)
        return std::nullopt;
    const auto message = error.userMessage();
    if (!message || message->isEmpty())
        return std::nullopt;
    return message;
}

std::optional<QString> tunnelMessage(const TessaronError& error) {
    if (error.domain() != tunnel_failure::domain)
        return std::nullopt;
    switch (error.code()) {
    case tunnel_failure::serverNotResolved:
        return QStringLiteral("The server address could not be resolved.");
    case tunnel_failure::serverUnreachable:
        return QStringLiteral("This network cannot reach the Tessaron server.");
    default:
        return std::nullopt;
    }
}

} // namespace

QString TessaronErrorSanitizer::message(const TessaronError& error) {
    if (auto text = ownMessage(error))
        return *text;
    if (auto text = tunnelMessage(error))
        return *text;
    return QStringLiteral("The request failed (%1 %2).").arg(error.domain(), QString::number(error.code()));
}

} // namespace tessaron
