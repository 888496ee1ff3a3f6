#include "profiles/keychain_error.hpp"

namespace tessaron {

TessaronKeychainError::TessaronKeychainError(Kind kind, qint32 keychainStatus)
    : EnumError(kind)
    , keychainStatus_(keychainStatus) {}

TessaronKeychainError TessaronKeychainError::status(qint32 keychainStatus) {
    return {Kind::status, keychainStatus};
}

TessaronKeychainError TessaronKeychainError::missingAccessGroup() {
    return {Kind::missingAccessGroup, 0};
}

TessaronKeychainError TessaronKeychainError::unexpectedResult() {
    return {Kind::unexpectedResult, 0};
}

TessaronKeychainError TessaronKeychainError::invalidTransportAnnotation() {
    return {Kind::invalidTransportAnnotation, 0};
}

std::optional<QString> TessaronKeychainError::userMessage() const {
    switch (kind()) {
    case Kind::status:
        return QStringLiteral("The Keychain could not complete the request (status %1).")
            .arg(keychainStatus_);
    case Kind::missingAccessGroup:
        return QStringLiteral("The Keychain access group is not configured.");
    case Kind::unexpectedResult:
        return QStringLiteral("The Keychain returned an unexpected result.");
    case Kind::invalidTransportAnnotation:
        return QStringLiteral("The connection could not be prepared for this transport.");
    }
    return std::nullopt;
}

} // namespace tessaron
