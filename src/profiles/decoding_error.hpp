#pragma once

#include "platform/tessaron_error.hpp"

#include <QString>

namespace tessaron {

enum class JsonDecodingErrorKind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };

// A service or stored record that does not decode. Whoever decodes a reply turns this into its own error;
// the key is kept for logs and tests, never shown.
class JsonDecodingError final : public EnumError<JsonDecodingErrorKind> {
public:
    JsonDecodingError(JsonDecodingErrorKind kind, QString key)
        : EnumError(kind)
        , key_(std::move(key)) {}

    QString domain() const override { return QStringLiteral("JsonDecodingError"); }

    // The key whose value failed, or empty when the document as a whole did.
    const QString& key() const { return key_; }

private:
    QString key_;
};

} // namespace tessaron
