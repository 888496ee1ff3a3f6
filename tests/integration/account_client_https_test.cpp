#include "account/account_client.hpp"
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

#include <functional>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using Client = TessaronAccountClient;
using Reply = HttpsTestServer::Reply;

const QUuid installation("{0f8fad5b-d9cb-469f-a165-70867728950e}");
const QUuid profile("{7c9e6679-7425-40de-944b-e07fc1f90ae7}");
const QByteArray installationText = "0f8fad5b-d9cb-469f-a165-70867728950e";
const QByteArray account = R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";
const QByteArray session = R"({"sessionToken":"tok-2","account":)" + account + "}";
const QByteArray upgradeBody = R"({"error":"upgrade_required","minimumBuild":900,"minimumVersion":"3.0"})";

Reply json(int status, QByteArray body) {
    return {.status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

template <typename T> std::optional<TessaronAccountError> accountErrorOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const TessaronAccountError& error) {
        return error;
    }
    return std::nullopt;
}

// The account client over the real transport, against a local HTTPS service, reporting to its own gate.
class AccountClientHttpsTest : public ::testing::Test {
protected:
    Client clientWith(QtHttpTransportOptions options) {
        options.trustedAuthorities = server.caCertificates();
        return Client(server.url("/api/?region=eu"), std::make_shared<QtHttpTransport>(options),
                      SystemClock::shared(),
                      [this](int status, const QByteArray& body) { gate.observe(status, body); });
    }
    // A reply of exactly `size` bytes that decodes as a subscription-link status.
    static QByteArray linkStatusOfSize(qsizetype size) {
        const QByteArray frame = R"({"active":false,"pad":""})";
        return QByteArray(frame).insert(frame.size() - 2, QByteArray(size - frame.size(), 'x'));
    }

    HttpsTestServer server;
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    Client client = clientWith({});
};

TEST_F(AccountClientHttpsTest, EveryEndpointArrivesAsSent) {
    const QByteArray link = R"({"url":"https://)" + server.baseUrl().host().toUtf8() + "/v1/sub/" +
                            QByteArray(43, 'Q') +
                            R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";
    const QByteArray envelope = R"({"profile":)" + bytesOf(tlsProfileObject()) + "}";
    const struct {
        QByteArray method;
        QByteArray path;
        QByteArray reply;
    } routes[] = {
        {"GET", "/v1/auth/providers", R"({"email":true})"},
        {"POST", "/v1/auth/email/start", R"({"challengeID":"ch-1","resendAfterSeconds":30})"},
        {"POST", "/v1/auth/email/verify", session},
        {"POST", "/v1/auth/apple", session},
        {"POST", "/v1/auth/oauth/start", R"({"authorizeURL":"https://id.example/a","state":"s"})"},
        {"POST", "/v1/auth/oauth/exchange", session},
        {"POST", "/v1/auth/logout", {}},
        {"GET", "/v1/account", account},
        {"DELETE", "/v1/account", {}},
        {"POST", "/v1/account/profile", envelope},
        {"POST", "/v1/account/link", account},
        {"POST", "/v1/account/subscription-link", link},
        {"GET", "/v1/account/subscription-link", R"({"active":true})"},
        {"DELETE", "/v1/account/subscription-link", {}},
    };
    for (const auto& route : routes)
        server.on(route.method, route.path, [reply = route.reply](const HttpsTestServer::Request&) {
            return reply.isEmpty() ? Reply{.status = 204} : json(200, reply);
        });

    const struct {
        std::function<QCoro::Task<>(const Client&)> call;
        QByteArray method;
        QByteArray path;
        QByteArray token;
        QByteArray body;
        bool deviceSwap = false;
    } cases[] = {
        {[](const Client& c) -> QCoro::Task<> { co_await c.fetchProviders(); },
         "GET",
         "/v1/auth/providers",
         {},
         {}},
        {[](const Client& c) -> QCoro::Task<> {
             co_await c.startEmailChallenge("ann@example.com", installation);
         },
         "POST",
         "/v1/auth/email/start",
         {},
         R"({"email":"ann@example.com","installationID":")" + installationText + R"("})"},
        {[](const Client& c) -> QCoro::Task<> {
             co_await c.verifyEmailCode("ch-1", "123456", installation, QString::fromUtf8("Ann’s Mac"));
         },
         "POST",
         "/v1/auth/email/verify",
         {},
         R"({"challengeID":"ch-1","code":"123456","installationID":")" + installationText +
             R"(","deviceName":"Ann’s Mac","platform":"macos"})"},
        {[](const Client& c) -> QCoro::Task<> {
             co_await c.signInWithApple("id-token", installation, "Mac");
         },
         "POST",
         "/v1/auth/apple",
         {},
         R"({"identityToken":"id-token","installationID":")" + installationText +
             R"(","deviceName":"Mac","platform":"macos"})"},
        {[](const Client& c) -> QCoro::Task<> {
             co_await c.startOAuth(TessaronOAuthProvider::whop, installation);
         },
         "POST",
         "/v1/auth/oauth/start",
         {},
         R"({"provider":"whop","installationID":")" + installationText + R"("})"},
        {[](const Client& c) -> QCoro::Task<> { co_await c.exchangeOAuthCode("cb", installation, "Mac"); },
         "POST",
         "/v1/auth/oauth/exchange",
         {},
         R"({"code":"cb","installationID":")" + installationText +
             R"(","deviceName":"Mac","platform":"macos"})"},
        {[](const Client& c) -> QCoro::Task<> { co_await c.logout("tok-1"); },
         "POST",
         "/v1/auth/logout",
         "tok-1",
         {}},
        {[](const Client& c) -> QCoro::Task<> { co_await c.fetchAccount("tok-1"); },
         "GET",
         "/v1/account",
         "tok-1",
         {}},
        {[](const Client& c) -> QCoro::Task<> { co_await c.deleteAccount("tok-1"); },
         "DELETE",
         "/v1/account",
         "tok-1",
         {}},
        {[](const Client& c) -> QCoro::Task<> {
             co_await c.fetchProfile("tok-1", "g-7", installation, "Mac", true);
         },
         "POST", "/v1/account/profile", "tok-1",
         R"({"grantID":"g-7","installationID":")" + installationText + R"(","deviceName":"Mac"})", true},
        {[](const Client& c) -> QCoro::Task<> { co_await c.linkProfile("tok-1", profile, installation); },
         "POST", "/v1/account/link", "tok-1",
         R"({"profileID":"7c9e6679-7425-40de-944b-e07fc1f90ae7","installationID":")" + installationText +
             R"("})"},
        {[](const Client& c) -> QCoro::Task<> {
             co_await c.createSubscriptionLink("tok-1", "Windows / Android");
         },
         "POST", "/v1/account/subscription-link", "tok-1", R"({"deviceName":"Windows / Android"})"},
        {[](const Client& c) -> QCoro::Task<> { co_await c.fetchSubscriptionLinkStatus("tok-1"); },
         "GET",
         "/v1/account/subscription-link",
         "tok-1",
         {}},
        {[](const Client& c) -> QCoro::Task<> { co_await c.deleteSubscriptionLink("tok-1"); },
         "DELETE",
         "/v1/account/subscription-link",
         "tok-1",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method.toStdString() + ' ' + c.path.toStdString());
        ASSERT_NO_THROW(runTask(c.call(client)));
        const auto received = server.requests().last();
        EXPECT_EQ(received.method, c.method);
        EXPECT_EQ(received.path, c.path);
        EXPECT_EQ(received.body, c.body);
        EXPECT_EQ(received.header("Content-Type"), c.body.isEmpty() ? QByteArray() : "application/json");
        EXPECT_EQ(received.header("Accept"), "application/json");
        EXPECT_EQ(received.header("Authorization"), c.token.isEmpty() ? QByteArray() : "Bearer " + c.token);
        EXPECT_EQ(received.header("X-Tessaron-Client"), clientBuildLabel().toUtf8());
        EXPECT_EQ(received.header("X-Tessaron-Device-Swap"), c.deviceSwap ? "1" : QByteArray());
        EXPECT_EQ(received.header("Cookie"), QByteArray());
    }
    EXPECT_EQ(server.requests().size(), std::size(cases));
}

TEST_F(AccountClientHttpsTest, RepliesAreCappedAt128KiBBeforeTheGateSeesThem) {
    server.on("GET", "/v1/account/subscription-link",
              [](const HttpsTestServer::Request&) { return json(426, upgradeBody); });
    EXPECT_EQ(accountErrorOf(client.fetchSubscriptionLinkStatus("t")),
              TessaronAccountError(TessaronAccountErrorKind::upgradeRequired));
    ASSERT_TRUE(gate.requirement());

    // An oversized success is refused without a word to the gate, so the requirement stays.
    server.on("GET", "/v1/account/subscription-link",
              [](const HttpsTestServer::Request&) { return json(200, linkStatusOfSize(131'073)); });
    EXPECT_EQ(accountErrorOf(client.fetchSubscriptionLinkStatus("t")),
              TessaronAccountError::network("response too large"));
    EXPECT_TRUE(gate.requirement());

    server.on("GET", "/v1/account/subscription-link",
              [](const HttpsTestServer::Request&) { return json(200, linkStatusOfSize(131'072)); });
    EXPECT_NO_THROW(runTask(client.fetchSubscriptionLinkStatus("t")));
    EXPECT_FALSE(gate.requirement());
}

TEST_F(AccountClientHttpsTest, A426ReachesTheGateAndTheNextSuccessClearsIt) {
    server.on("POST", "/v1/auth/email/verify", [](const HttpsTestServer::Request&) {
        return json(426, R"({"error":"upgrade_required","minimumBuild":900,"minimumVersion":"3.0",)"
                         R"("page":"https://tessaron.app/download"})");
    });
    server.on("GET", "/v1/auth/providers", [](const HttpsTestServer::Request&) { return json(200, "{}"); });

    EXPECT_EQ(accountErrorOf(client.verifyEmailCode("ch", "1", installation, "Mac")),
              TessaronAccountError(TessaronAccountErrorKind::upgradeRequired));
    ASSERT_TRUE(gate.requirement());
    EXPECT_EQ(gate.requirement()->minimumBuild, 900);

    runTask(client.fetchProviders());
    EXPECT_FALSE(gate.requirement());
}

TEST_F(AccountClientHttpsTest, ARedirectIsTheFinalReply) {
    server.on("GET", "/v1/account", [this](const HttpsTestServer::Request&) {
        return Reply{.status = 302, .headers = {{"Location", server.url("/elsewhere").toString().toUtf8()}}};
    });
    server.on("GET", "/elsewhere", [](const HttpsTestServer::Request&) { return json(200, account); });

    EXPECT_EQ(accountErrorOf(client.fetchAccount("tok-1")), TessaronAccountError::server(302));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().front().path, "/v1/account");
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
