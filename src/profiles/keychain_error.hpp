#pragma once

#include "platform/tessaron_error.hpp"

#include <QtGlobal>

namespace tessaron {

enum class TessaronKeychainErrorKind {
    status,
    missingAccessGroup,
    unexpectedResult,
    invalidTransportAnnotation
};

// A failure of the profile or pending-redemption items. Built through the named cases, so that a `status`
// error always carries the Keychain's status code.
class TessaronKeychainError final : public EnumError<TessaronKeychainErrorKind> {
public:
    using Kind = TessaronKeychainErrorKind;

    static TessaronKeychainError status(qint32 keychainStatus);
    static TessaronKeychainError missingAccessGroup();
    static TessaronKeychainError unexpectedResult();
    static TessaronKeychainError invalidTransportAnnotation();

    // The Keychain's status code of a `status` error; 0 for the other cases.
    qint32 keychainStatus() const { return keychainStatus_; }

    QString domain() const override { return QStringLiteral("TessaronKeychainError"); }
    std::optional<QString> userMessage() const override;

private:
    TessaronKeychainError(Kind kind, qint32 keychainStatus);

    qint32 keychainStatus_;
};

} // namespace tessaron
