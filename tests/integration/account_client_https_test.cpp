#include "account/account_client.hpp"
#include "account/account_test_support.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/build_label.hpp"
#include "profiles/profile_samples.hpp"
#include "profiles/upgrade_gate.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using Client = TessaronAccountClient;
using Reply = HttpsTestServer::Reply;

const QUuid installation("{0f8fad5b-d9cb-469f-a165-70867728950e}");
const QByteArray account = R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";

Reply json(int status, QByteArray body) {
    return {.status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

// The account client over the real transport, against a local HTTPS service, reporting to its own gate.
// What each endpoint sends is pinned by the unit tests; these pin what survives the real transport.
class AccountClientHttpsTest : public ::testing::Test {
protected:
    Client clientWith(QtHttpTransportOptions options) {
        options.trustedAuthorities = server.caCertificates();
        return Client(server.url("/api/?region=eu"), std::make_shared<QtHttpTransport>(options),
                      SystemClock::shared(),
                      [this](int status, const QByteArray& body) { gate.observe(status, body); });
    }
    void answer(const QByteArray& method, const QByteArray& path, Reply reply) {
        server.on(method, path, [reply](const HttpsTestServer::Request&) { return reply; });
    }

    HttpsTestServer server;
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    Client client = clientWith({});
};

TEST_F(AccountClientHttpsTest, RequestsArriveWithTheirHeadersAndWithoutCookies) {
    answer("POST", "/v1/account/profile",
           {.status = 200,
            .headers = {{"Content-Type", "application/json"}, {"Set-Cookie", "session=abc; Path=/"}},
            .body = R"({"profile":)" + bytesOf(tlsProfileObject()) + "}"});
    answer("GET", "/v1/auth/providers", json(200, R"({"email":true})"));

    runTask(client.fetchProfile("tok-1", "g-7", installation, "Mac", true));
    runTask(client.fetchProviders());

    ASSERT_EQ(server.requests().size(), 2);
    const auto profile = server.requests().first();
    EXPECT_EQ(profile.body, R"({"grantID":"g-7","installationID":"0f8fad5b-d9cb-469f-a165-70867728950e",)"
                            R"("deviceName":"Mac"})");
    EXPECT_EQ(profile.header("Content-Type"), "application/json");
    EXPECT_EQ(profile.header("Authorization"), "Bearer tok-1");
    EXPECT_EQ(profile.header("X-Tessaron-Device-Swap"), "1");
    EXPECT_EQ(profile.header("X-Tessaron-Client"), clientBuildLabel().toUtf8());
    const auto providers = server.requests().last();
    EXPECT_EQ(providers.header("Content-Type"), QByteArray());
    EXPECT_EQ(providers.header("Authorization"), QByteArray());
    EXPECT_EQ(providers.header("Cookie"), QByteArray());
}

TEST_F(AccountClientHttpsTest, RepliesAreCappedAt128KiBBeforeTheGateSeesThem) {
    // A reply of exactly `size` bytes that decodes as a subscription-link status.
    const auto linkStatusOfSize = [](qsizetype size) {
        const QByteArray frame = R"({"active":false,"pad":""})";
        return QByteArray(frame).insert(frame.size() - 2, QByteArray(size - frame.size(), 'x'));
    };
    answer("GET", "/v1/account/subscription-link",
           json(426, R"({"error":"upgrade_required","minimumBuild":900})"));
    EXPECT_EQ(accountErrorOf(client.fetchSubscriptionLinkStatus("t")),
              TessaronAccountError(TessaronAccountErrorKind::upgradeRequired));
    ASSERT_TRUE(gate.requirement());

    // An oversized success is refused without a word to the gate, so the requirement stays.
    answer("GET", "/v1/account/subscription-link", json(200, linkStatusOfSize(131'073)));
    EXPECT_EQ(accountErrorOf(client.fetchSubscriptionLinkStatus("t")),
              TessaronAccountError::network("response too large"));
    EXPECT_TRUE(gate.requirement());

    answer("GET", "/v1/account/subscription-link", json(200, linkStatusOfSize(131'072)));
    EXPECT_NO_THROW(runTask(client.fetchSubscriptionLinkStatus("t")));
    EXPECT_FALSE(gate.requirement());
}

TEST_F(AccountClientHttpsTest, ARedirectIsTheFinalReply) {
    answer("GET", "/v1/account",
           {.status = 302, .headers = {{"Location", server.url("/elsewhere").toEncoded()}}});
    answer("GET", "/elsewhere", json(200, account));

    EXPECT_EQ(accountErrorOf(client.fetchAccount("tok-1")), TessaronAccountError::server(302));
    ASSERT_EQ(server.requests().size(), 1);
}

TEST_F(AccountClientHttpsTest, ASilentServerTimesOutAsATransportFailure) {
    server.on("GET", "/v1/auth/providers",
              [](const HttpsTestServer::Request&) { return HttpsTestServer::silence(); });
    // 15 s of stall time-out become 15 ms.
    const auto impatient = clientWith({.trustedAuthorities = std::nullopt, .timeoutDivisor = 1000});
    QElapsedTimer elapsed;
    elapsed.start();

    EXPECT_EQ(accountErrorOf(impatient.fetchProviders()), TessaronAccountError::network("transport"));
    EXPECT_LT(elapsed.elapsed(), 2000);
}

} // namespace
} // namespace tessaron::testing
