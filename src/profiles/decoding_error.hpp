#pragma once

#include "platform/tessaron_error.hpp"

#include <QString>

namespace tessaron {

enum class JsonDecodingErrorKind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

// A service or stored record that does not decode. Whoever decodes a reply turns this into its own error;
// the key is kept for logs and tests, never shown.
class JsonDecodingError final : public EnumError<JsonDecodingErrorKind> {
public:
    JsonDecodingError(JsonDecodingErrorKind kind, QString key, QString description = {})
        : EnumError(kind)
        , key_(std::move(key))
        , description_(std::move(description)) {}

    QString domain() const override { return QStringLiteral("JsonDecodingError"); }

    // The key whose value failed, or empty when the document as a whole did.
    const QString& key() const { return key_; }
    // Why a present value was refused, where the record names a reason; otherwise empty.
    const QString& description() const { return description_; }

private:
    QString key_;
    QString description_;
};

} // namespace tessaron
