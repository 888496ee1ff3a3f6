#pragma once

#include "platform/tessaron_error.hpp"

namespace tessaron {

enum class TessaronInstallationIdentityErrorKind {
    accessGroupUnavailable,
    keychainUnavailable,
    malformedIdentifier
};

// Why no installation identifier could be read or created.
class TessaronInstallationIdentityError final : public EnumError<TessaronInstallationIdentityErrorKind> {
public:
    using Kind = TessaronInstallationIdentityErrorKind;
    using EnumError::EnumError;

    QString domain() const override { return QStringLiteral("TessaronInstallationIdentityError"); }
    std::optional<QString> userMessage() const override;
};

} // namespace tessaron
