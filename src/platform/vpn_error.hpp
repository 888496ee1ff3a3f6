#pragma once

#include "platform/tessaron_error.hpp"

namespace tessaron {

enum class VpnErrorKind {
    // No such configuration is stored, or it has no tunnel provider protocol.
    configurationInvalid,
    configurationDisabled,
    // The tunnel could not be started or reached.
    connectionFailed,
    // The stored configurations could not be read or written.
    configurationReadWriteFailed,
};

// A refusal of the system's VPN configuration and connection services.
class VpnError final : public EnumError<VpnErrorKind> {
public:
    using EnumError::EnumError;
    QString domain() const override { return QStringLiteral("VpnError"); }
};

// An error that crossed a process boundary: only its domain and code survive. The tunnel's failures
// reach the application in this form.
class PlatformError final : public TessaronError {
public:
    PlatformError(QString domain, qint64 code)
        : domain_(std::move(domain))
        , code_(code) {}

    static PlatformError from(const TessaronError& error) { return {error.domain(), error.code()}; }

    QString domain() const override { return domain_; }
    qint64 code() const override { return code_; }

    bool operator==(const PlatformError& other) const {
        return domain_ == other.domain_ && code_ == other.code_;
    }

private:
    QString domain_;
    qint64 code_;
};

} // namespace tessaron
