#pragma once

#include "platform/tessaron_error.hpp"

namespace tessaron {

enum class TessaronSessionFailureKind {
    configurationNotSaved,
    disconnectFirst,
    profileChangeWhileActive,
    localEndpoint,
    busy,
};

// A refusal of the session: what the user asked cannot be done in the session's present state.
class TessaronSessionFailure final : public EnumError<TessaronSessionFailureKind> {
public:
    using Kind = TessaronSessionFailureKind;
    using EnumError::EnumError;

    QString domain() const override { return QStringLiteral("TessaronSessionFailure"); }
    std::optional<QString> userMessage() const override;
};

} // namespace tessaron
