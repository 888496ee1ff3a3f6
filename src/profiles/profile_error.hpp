#pragma once

#include "platform/tessaron_error.hpp"

#include <QString>

namespace tessaron {

enum class TessaronProfileErrorKind {
    malformed,
    tooLarge,
    missingField,
    invalidField,
    unexpectedTransportKey
};

// Why profile JSON was refused. The field cases name the offending key so the user can tell a truncated
// invitation from a wrong one.
class TessaronProfileError final : public EnumError<TessaronProfileErrorKind> {
public:
    static TessaronProfileError malformed();
    static TessaronProfileError tooLarge();
    static TessaronProfileError missingField(QString key);
    static TessaronProfileError invalidField(QString key);
    static TessaronProfileError unexpectedTransportKey();

    QString domain() const override { return QStringLiteral("TessaronProfileError"); }
    std::optional<QString> userMessage() const override;

    // The key of a missingField or invalidField case; empty for the others.
    const QString& field() const { return field_; }

private:
    TessaronProfileError(TessaronProfileErrorKind kind, QString field);

    QString field_;
};

} // namespace tessaron
