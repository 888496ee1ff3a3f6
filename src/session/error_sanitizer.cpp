#include "session/error_sanitizer.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/installation_identity_error.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_error.hpp"
#include "session/session_failure.hpp"

namespace tessaron {

namespace {

// Codes of the tunnel's own error domain that the user can act on.
constexpr qint64 tunnelServerNotResolved = 4;
constexpr qint64 tunnelServerUnreachable = 12;

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
    if (error.domain() != TessaronIdentifiers::tunnelExtensionBundle)
        return std::nullopt;
    switch (error.code()) {
    case tunnelServerNotResolved:
        return QStringLiteral("The server address could not be resolved.");
    case tunnelServerUnreachable:
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
    return QStringLiteral("The request failed (%1 %2).").arg(error.domain()).arg(error.code());
}

} // namespace tessaron
