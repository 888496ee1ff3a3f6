#include "health/failover_cause.hpp"

#include "platform/tessaron_error.hpp"
#include "profiles/identifiers.hpp"

namespace tessaron {

namespace {
// Codes of the tunnel's error domain.
constexpr qint64 tunnelConnectTimedOut = 10;
constexpr qint64 tunnelServerUnreachable = 12;
} // namespace

TessaronFailoverCause failoverCause(const std::exception& error) {
    const auto* domainError = dynamic_cast<const TessaronError*>(&error);
    if (!domainError || domainError->domain() != TessaronIdentifiers::tunnelExtensionBundle)
        return TessaronFailoverCause::other;
    switch (domainError->code()) {
    case tunnelServerUnreachable:
        return TessaronFailoverCause::serverUnreachable;
    case tunnelConnectTimedOut:
        return TessaronFailoverCause::timedOut;
    default:
        return TessaronFailoverCause::other;
    }
}

TessaronFailoverCause failoverCause(const HttpFailure& failure) {
    return failure.kind == HttpFailure::Kind::timedOut ? TessaronFailoverCause::timedOut
                                                       : TessaronFailoverCause::other;
}

} // namespace tessaron
