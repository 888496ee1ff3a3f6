#include "profiles/installation_identity_error.hpp"

namespace tessaron {

std::optional<QString> TessaronInstallationIdentityError::userMessage() const {
    switch (kind()) {
    case Kind::accessGroupUnavailable:
        return QStringLiteral("The installation store is not available.");
    case Kind::keychainUnavailable:
        return QStringLiteral("The installation store could not be read.");
    case Kind::malformedIdentifier:
        return QStringLiteral("The stored installation identifier is not valid.");
    }
    return std::nullopt;
}

} // namespace tessaron
