#include "account/account_client.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/build_label.hpp"
#include "profiles/profile_samples.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using Reply = HttpsTestServer::Reply;

// A smoke test of the account client over the real transport, against a local HTTPS service: what each
// endpoint sends, its caps, redirects and time-outs are pinned by the unit tests.
TEST(AccountClientHttpsTest, RequestsArriveWithTheirHeadersAndNoCookieIsKept) {
    HttpsTestServer server;
    server.on("POST", "/v1/account/profile", [](const auto&) {
        return Reply{.headers = {{"Content-Type", "application/json"}, {"Set-Cookie", "session=abc; Path=/"}},
                     .body = R"({"profile":)" + bytesOf(tlsProfileObject()) + "}"};
    });
    server.on("GET", "/v1/auth/providers", [](const auto&) {
        return Reply{.headers = {{"Content-Type", "application/json"}}, .body = R"({"email":true})"};
    });
    const TessaronAccountClient client(server.url("/api/?region=eu"),
                                       std::make_shared<QtHttpTransport>(QtHttpTransportOptions{
                                           .trustedAuthorities = server.caCertificates()}),
                                       SystemClock::shared(), [](int, const QByteArray&) {});

    runTask(client.fetchProfile("tok-1", "g-7", QUuid::createUuid(), "Mac", true));
    runTask(client.fetchProviders());

    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().first().header("Authorization"), "Bearer tok-1");
    EXPECT_EQ(server.requests().first().header("X-Tessaron-Client"), clientBuildLabel().toUtf8());
    EXPECT_EQ(server.requests().last().header("Cookie"), QByteArray()) << "the cookie was not kept";
}

} // namespace
} // namespace tessaron::testing
