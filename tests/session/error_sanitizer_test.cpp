#include "session/error_sanitizer.hpp"

#include "platform/vpn_error.hpp"
#include "profiles/installation_identity_error.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_error.hpp"

#include <gtest/gtest.h>

#include <memory>

using namespace tessaron;
using std::make_shared;

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
    const std::pair<std::shared_ptr<TessaronError>, const char*> cases[] = {
        {make_shared<TessaronPairingError>(Pairing::transportFailure),
         "Tessaron could not reach the service."},
        // A pairing error without a message of its own.
        {make_shared<TessaronPairingError>(Pairing::cancelled),
         "The request failed (TessaronPairingError 7)."},
        {make_shared<TessaronInstallationIdentityError>(Identity::accessGroupUnavailable),
         "The installation store is not available."},
        {make_shared<TessaronProfileError>(TessaronProfileError::missingField("port")),
         "The connection details are incomplete (port)."},
        {make_shared<TessaronKeychainError>(TessaronKeychainError::status(-25308)),
         "The Keychain could not complete the request (status -25308)."},
        {make_shared<PlatformError>(tunnelDomain, 12), "This network cannot reach the Tessaron server."},
        {make_shared<PlatformError>(tunnelDomain, 10),
         "The request failed (com.hallmere.tessaron.PacketTunnel 10)."},
        {make_shared<PlatformError>("NSPOSIXErrorDomain", 12), "The request failed (NSPOSIXErrorDomain 12)."},
        {make_shared<ForeignError>(), "The request failed (VpnError 2)."},
    };
    for (const auto& [error, expected] : cases)
        EXPECT_EQ(TessaronErrorSanitizer::message(*error), QString::fromUtf8(expected)) << expected;
}
