#pragma once

#include <QString>

#include <exception>
#include <optional>
#include <string>

namespace tessaron {

// The base of every error the system throws. The domain and code identify the case for logs ("failed
// <domain> <code>"); the user message, when there is one, is what the user may read.
class TessaronError : public std::exception {
public:
    virtual QString domain() const = 0;
    virtual qint64 code() const = 0;
    virtual std::optional<QString> userMessage() const { return std::nullopt; }

    const char* what() const noexcept override;

private:
    mutable std::string what_;
};

// An error whose cases form an enumeration: the code is the case's position in its declaration, and the
// domain is the error type's own name.
template <typename Kind> class EnumError : public TessaronError {
public:
    explicit EnumError(Kind kind)
        : kind_(kind) {}

    Kind kind() const { return kind_; }
    qint64 code() const override { return static_cast<qint64>(kind_); }

private:
    Kind kind_;
};

} // namespace tessaron
