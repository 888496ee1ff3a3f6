#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_samples.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <gtest/gtest.h>

#include <atomic>

namespace tessaron::testing {
namespace {

using Kind = TessaronPairingErrorKind;
using Reply = HttpsTestServer::Reply;

QByteArray redeemReply() {
    return bytesOf({{"profile", tlsProfileObject()}});
}

Reply json(int status, QByteArray body) {
    return Reply{
        .status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

// The pairing client over the real transport, against a local HTTPS service. What it sends and how it maps
// statuses is pinned by the unit tests; these pin what the real transport adds: reading, caps, redirects.
class PairingClientHttpsTest : public ::testing::Test {
protected:
    std::optional<Kind> redeemFailure(const TessaronPairingClient& client) {
        try {
            runTask(client.redeem(QStringLiteral("Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s"), QUuid::createUuid(),
                                  QUuid::createUuid(), QStringLiteral("tessaron-access-v1")));
            return std::nullopt;
        } catch (const TessaronPairingError& error) {
            return error.kind();
        }
    }
    std::optional<Kind> redeemFailure() { return redeemFailure(client); }

    HttpsTestServer server;
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
    TessaronPairingClient client{TessaronPairingOrigin(server.url(QStringLiteral("/ignored/base"))),
                                 transport, SystemClock::shared(), gate};
};

TEST_F(PairingClientHttpsTest, ReadsRepliesUpToTheCapAndNoFurther) {
    std::atomic<qsizetype> size = 0;
    server.on("POST", "/v1/redeem", [&](const auto&) {
        auto body = redeemReply();
        body.append(QByteArray(size - body.size(), ' '));
        return json(200, body);
    });

    size = 65'536;
    EXPECT_EQ(redeemFailure(), std::nullopt);
    size = 65'537;
    EXPECT_EQ(redeemFailure(), Kind::invalidResponse);
    EXPECT_EQ(server.requests().first().header("Content-Type"), "application/json");
}

TEST_F(PairingClientHttpsTest, DoesNotFollowARedirect) {
    server.on("POST", "/v1/redeem", [&](const auto&) {
        return Reply{.status = 307,
                     .headers = {{"Location", server.url(QStringLiteral("/v1/moved")).toEncoded()}}};
    });
    server.on("POST", "/v1/moved", [](const auto&) { return json(200, redeemReply()); });

    EXPECT_EQ(redeemFailure(), Kind::unexpectedStatus);
    ASSERT_EQ(server.requests().size(), 1);
}

TEST_F(PairingClientHttpsTest, GivesUpOnAStalledReplyAfterItsTimeOut) {
    server.on("POST", "/v1/redeem", [](const auto&) { return HttpsTestServer::silence(); });
    // Fifteen seconds of stall, compressed to fifteen milliseconds.
    QtHttpTransport impatient{{.trustedAuthorities = server.caCertificates(), .timeoutDivisor = 1000}};
    const TessaronPairingClient client(TessaronPairingOrigin(server.baseUrl()), impatient,
                                       SystemClock::shared(), gate);

    EXPECT_EQ(redeemFailure(client), Kind::timedOut);
}

} // namespace
} // namespace tessaron::testing
