#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/profile_samples.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// A smoke test of the pairing client over the real transport: what it sends, how it maps statuses, caps
// and time-outs are pinned by its unit tests, and the transport's own rules by the transport's suite.
TEST(PairingClientHttpsTest, RedeemsAgainstTheOriginOverHttps) {
    HttpsTestServer server;
    server.on("POST", "/v1/redeem", [](const auto&) {
        return HttpsTestServer::Reply{.headers = {{"Content-Type", "application/json"}},
                                      .body = bytesOf({{"profile", tlsProfileObject()}})};
    });
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
    const TessaronPairingClient client(TessaronPairingOrigin(server.url(QStringLiteral("/ignored/base"))),
                                       transport, SystemClock::shared(), gate);

    EXPECT_NO_THROW(
        runTask(client.redeem(QStringLiteral("Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s"), QUuid::createUuid(),
                              QUuid::createUuid(), QStringLiteral("tessaron-access-v1"))));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("Content-Type"), "application/json");
}

} // namespace
} // namespace tessaron::testing
