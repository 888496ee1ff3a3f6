#include "session/error_sanitizer.hpp"

#include "platform/vpn_error.hpp"
#include "profiles/decoding_error.hpp"
#include "profiles/installation_identity_error.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_error.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tessaron;

namespace {

// An error of another program that has its own wording, which must never reach the screen.
class ForeignError final : public TessaronError {
public:
    QString domain() const override { return QStringLiteral("VpnError"); }
    qint64 code() const override { return 2; }
    std::optional<QString> userMessage() const override {
        return QStringLiteral("connect to 10.1.2.3 refused");
    }
};

const QString tunnelDomain = QStringLiteral("com.hallmere.tessaron.PacketTunnel");

} // namespace

TEST(ErrorSanitizerTest, GivesEachErrorItsUserText) {
    using Pairing = TessaronPairingErrorKind;
    using Identity = TessaronInstallationIdentityErrorKind;
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TessaronError>()> make;
        const char* expected;
    };
    const Case cases[] = {
        {"pairing error with a message",
         [] { return std::make_unique<TessaronPairingError>(Pairing::transportFailure); },
         "Tessaron could not reach the service."},
        {"pairing error without a message",
         [] { return std::make_unique<TessaronPairingError>(Pairing::cancelled); },
         "The request failed (TessaronPairingError 7)."},
        {"installation store unavailable",
         [] { return std::make_unique<TessaronInstallationIdentityError>(Identity::accessGroupUnavailable); },
         "The installation store is not available."},
        {"profile error keeps its field",
         [] { return std::make_unique<TessaronProfileError>(TessaronProfileError::missingField("port")); },
         "The connection details are incomplete (port)."},
        {"keychain status",
         [] { return std::make_unique<TessaronKeychainError>(TessaronKeychainError::status(-25308)); },
         "The Keychain could not complete the request (status -25308)."},
        {"tunnel cannot reach", [] { return std::make_unique<PlatformError>(tunnelDomain, 12); },
         "This network cannot reach the Tessaron server."},
        {"other tunnel code", [] { return std::make_unique<PlatformError>(tunnelDomain, 10); },
         "The request failed (com.hallmere.tessaron.PacketTunnel 10)."},
        {"code 12 of another domain",
         [] { return std::make_unique<PlatformError>("NSPOSIXErrorDomain", 12); },
         "The request failed (NSPOSIXErrorDomain 12)."},
        {"foreign wording is never shown", [] { return std::make_unique<ForeignError>(); },
         "The request failed (VpnError 2)."},
        {"decoding error",
         [] { return std::make_unique<JsonDecodingError>(JsonDecodingErrorKind::typeMismatch, "port"); },
         "The request failed (JsonDecodingError 2)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TessaronErrorSanitizer::message(*c.make()), QString::fromUtf8(c.expected));
    }
}
