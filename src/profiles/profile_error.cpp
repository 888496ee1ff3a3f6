#include "profiles/profile_error.hpp"

namespace tessaron {

TessaronProfileError::TessaronProfileError(TessaronProfileErrorKind kind, QString field)
    : EnumError(kind)
    , field_(std::move(field)) {}

TessaronProfileError TessaronProfileError::malformed() {
    return {TessaronProfileErrorKind::malformed, {}};
}

TessaronProfileError TessaronProfileError::tooLarge() {
    return {TessaronProfileErrorKind::tooLarge, {}};
}

TessaronProfileError TessaronProfileError::missingField(QString key) {
    return {TessaronProfileErrorKind::missingField, std::move(key)};
}

TessaronProfileError TessaronProfileError::invalidField(QString key) {
    return {TessaronProfileErrorKind::invalidField, std::move(key)};
}

TessaronProfileError TessaronProfileError::unexpectedTransportKey() {
    return {TessaronProfileErrorKind::unexpectedTransportKey, {}};
}

std::optional<QString> TessaronProfileError::userMessage() const {
    switch (kind()) {
    case TessaronProfileErrorKind::malformed:
        return QStringLiteral("The connection details could not be read.");
    case TessaronProfileErrorKind::tooLarge:
        return QStringLiteral("The connection details are too large.");
    case TessaronProfileErrorKind::missingField:
        return QStringLiteral("The connection details are incomplete (%1).").arg(field_);
    case TessaronProfileErrorKind::invalidField:
        return QStringLiteral("The connection details contain an invalid value (%1).").arg(field_);
    case TessaronProfileErrorKind::unexpectedTransportKey:
        return QStringLiteral("The connection details contain an unexpected transport setting.");
    }
    return std::nullopt;
}

} // namespace tessaron
