#include "account/account_client.hpp"
#include "profiles/build_label.hpp"
#include "profiles/profile_error.hpp"

#include "account_test_support.hpp"
#include "profiles/profile_samples.hpp"
#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/stalled_http_transport.hpp"

#include <gtest/gtest.h>

using namespace tessaron;
using namespace tessaron::testing;
using namespace std::chrono_literals;

namespace {

using Kind = TessaronAccountErrorKind;
using E = TessaronAccountError;
using Client = TessaronAccountClient;

const QUuid installation("{0f8fad5b-d9cb-469f-a165-70867728950e}");
const QUuid profile("{7c9e6679-7425-40de-944b-e07fc1f90ae7}");
const QByteArray accountJson =
    R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";
const QByteArray trustedLinkJson =
    R"({"url":"https://accounts.example/v1/sub/)" + QByteArray(43, 'A') +
    R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";
// One reply that every record but the providers reads: each takes its own members and ignores the rest.
const QByteArray anyReply = trustedLinkJson.chopped(1) +
                            R"(,"id":"acct-1","email":"ann@example.com","challengeID":"ch-1",)"
                            R"("resendAfterSeconds":30,"sessionToken":"tok-2","account":)" +
                            accountJson +
                            R"(,"authorizeURL":"https://id.example/a","state":"s",)"
                            R"("active":false,"profile":)" +
                            bytesOf(tlsProfileObject()) + "}";

struct Refusal {
    int status;
    QByteArray body;
    E expected;
};

class AccountClientTest : public ::testing::Test {
protected:
    explicit AccountClientTest(QUrl baseURL = QUrl("https://accounts.example:8443/api/?region=eu#top"))
        : client(std::move(baseURL), transportHandle, clock, [this](int status, const QByteArray& body) {
            observed.append({status, body});
        }) {}

    // Sends `call` answered well, then refused when `refusal` is given, and checks the request of each. A
    // "$I" in `body` stands for the installation.
    template <typename Call>
    void exchange(Call call, const QString& request, const char* token, QByteArray body,
                  std::optional<Refusal> refusal = std::nullopt, bool deviceSwap = false) {
        SCOPED_TRACE(request.toStdString());
        const auto before = transport.requests().size();
        body.replace("$I", installation.toByteArray(QUuid::WithoutBraces));
        HttpHeaders headers{{"Accept", "application/json"},
                            {"X-Tessaron-Client", clientBuildLabel().toUtf8()}};
        if (!body.isEmpty())
            headers.emplaceFront("Content-Type", "application/json");
        if (token)
            headers.emplace(headers.size() - 1, "Authorization", QByteArray("Bearer ") + token);
        if (deviceSwap)
            headers.emplaceBack("X-Tessaron-Device-Swap", "1");
        transport.setResponder([](const HttpRequest& r) {
            return HttpResponse{
                .status = 200, .headers = {}, .body = r.url.path().endsWith("/providers") ? "{}" : anyReply};
        });
        EXPECT_EQ(accountErrorOf(call(client)), std::nullopt);
        if (refusal) {
            transport.enqueue(refusal->status, refusal->body);
            EXPECT_EQ(accountErrorOf(call(client)), refusal->expected);
        }
        for (const auto& sent : transport.requests().sliced(before)) {
            EXPECT_EQ(sent.method + ' ' + sent.url.toString().remove("https://accounts.example:8443"),
                      request);
            EXPECT_EQ(sent.headers, headers);
            EXPECT_EQ(sent.body, body);
        }
    }

    std::shared_ptr<FakeHttpTransport> transportHandle = std::make_shared<FakeHttpTransport>();
    FakeHttpTransport& transport = *transportHandle;
    ManualClock clock;
    QList<std::pair<int, QByteArray>> observed;
    Client client;
};

} // namespace

// The exact request of every endpoint, and one refusal that only the endpoint's own failure mapping reads.
TEST_F(AccountClientTest, EveryEndpointSendsItsRequestAndReadsItsOwnRefusals) {
    const QString mac = QString::fromUtf8("Ann’s \"Mac\"");
    exchange([](auto& c) { return c.fetchProviders(); }, "GET /v1/auth/providers", nullptr, "");
    exchange([](auto& c) { return c.fetchAccount("tok-1"); }, "GET /v1/account", "tok-1", "");
    exchange([](auto& c) { return c.startEmailChallenge("ann@example.com", installation); },
             "POST /v1/auth/email/start", nullptr, R"({"email":"ann@example.com","installationID":"$I"})",
             Refusal{400, R"({"error":"invalid_email"})", E(Kind::invalidEmail)});
    exchange([mac](auto& c) { return c.verifyEmailCode("ch-1", "123456", installation, mac); },
             "POST /v1/auth/email/verify", nullptr,
             R"({"challengeID":"ch-1","code":"123456","installationID":"$I","deviceName":"Ann’s \"Mac\"",)"
             R"("platform":"macos"})");
    exchange([](auto& c) { return c.signInWithApple("id-token", installation, "Mac"); },
             "POST /v1/auth/apple", nullptr,
             R"({"identityToken":"id-token","installationID":"$I","deviceName":"Mac","platform":"macos"})",
             Refusal{409, R"({"error":"provider_conflict"})", E(Kind::providerConflict)});
    for (const auto& [provider, name] :
         {std::pair{TessaronOAuthProvider::whop, "whop"}, std::pair{TessaronOAuthProvider::google, "google"}})
        exchange([provider](auto& c) { return c.startOAuth(provider, installation); },
                 "POST /v1/auth/oauth/start", nullptr,
                 R"({"provider":")" + QByteArray(name) + R"(","installationID":"$I"})");
    exchange([](auto& c) { return c.exchangeOAuthCode("cb-code", installation, "Mac"); },
             "POST /v1/auth/oauth/exchange", nullptr,
             R"({"code":"cb-code","installationID":"$I","deviceName":"Mac","platform":"macos"})",
             Refusal{409, R"({"error":"provider_conflict"})", E::server(409)});
    exchange([](auto& c) { return c.logout("tok-1"); }, "POST /v1/auth/logout", "tok-1", "");
    exchange([](auto& c) { return c.deleteAccount("tok-1"); }, "DELETE /v1/account", "tok-1", "");
    exchange([](auto& c) { return c.fetchProfile("tok-1", "grant-7", installation, "Mac", true); },
             "POST /v1/account/profile", "tok-1",
             R"({"grantID":"grant-7","installationID":"$I","deviceName":"Mac"})", std::nullopt, true);
    exchange([](auto& c) { return c.linkProfile("tok-1", profile, installation); }, "POST /v1/account/link",
             "tok-1", R"({"profileID":"7c9e6679-7425-40de-944b-e07fc1f90ae7","installationID":"$I"})",
             Refusal{403, R"({"error":"not_your_grant"})", E(Kind::notYourGrant)});
    exchange([](auto& c) { return c.createSubscriptionLink("tok-1", "Windows / Android"); },
             "POST /v1/account/subscription-link", "tok-1", R"({"deviceName":"Windows / Android"})",
             Refusal{409, R"({"error":"device_limit"})", E(Kind::deviceLimit)});
    exchange([](auto& c) { return c.fetchSubscriptionLinkStatus("tok-1"); },
             "GET /v1/account/subscription-link", "tok-1", "");
    exchange([](auto& c) { return c.deleteSubscriptionLink("tok-1"); },
             "DELETE /v1/account/subscription-link", "tok-1", "");
}

// Statuses and error codes compare exactly; whatever a mapping does not name falls to the common one.
TEST_F(AccountClientTest, FailureMappings) {
    const auto common = &Client::mapCommonFailure, start = &Client::mapEmailStartFailure,
               verify = &Client::mapEmailVerificationFailure, apple = &Client::mapAppleSignInFailure,
               profile = &Client::mapProfileFailure, link = &Client::mapLinkFailure,
               subscription = &Client::mapSubscriptionLinkFailure;
    const std::tuple<Client::FailureMapping, Refusal> cases[] = {
        {common, {401, R"({"error":"invalid_code"})", E(Kind::unauthorized)}},
        {common, {409, R"({"error":"device_slot_taken"})", E::server(409)}},
        {start, {400, R"(["invalid_email"])", E::server(400)}},
        {start, {503, {}, E::server(503)}},
        {verify, {401, R"({"error":"invalid_code"})", E::invalidCode(0)}},
        {verify, {401, R"({"error":"invalid_code","attemptsLeft":1.5})", E::invalidCode(0)}},
        {verify, {401, R"({"error":"Invalid_Code","attemptsLeft":2})", E(Kind::unauthorized)}},
        {verify, {410, "gone", E(Kind::challengeExpired)}},
        {verify, {400, R"({"error":"invalid_code"})", E::server(400)}},
        {apple, {400, R"({"error":"email_required"})", E(Kind::emailRequired)}},
        {apple, {400, R"({"error":"provider_conflict"})", E::server(400)}},
        {profile, {409, R"({"error":"device_limit"})", E::server(409)}},
        {profile, {403, R"({"error":"grant_not_active"})", E(Kind::grantNotActive)}},
        {link, {403, R"({"error":"grant_not_active"})", E::server(403)}},
        {subscription, {403, R"({"error":"no_access"})", E(Kind::noAccess)}},
        {subscription, {403, {}, E::server(403)}},
    };
    for (const auto& [mapping, c] : cases) {
        transport.enqueue(c.status, c.body);
        EXPECT_EQ(accountErrorOf(client.send("/v1/test", "POST", std::nullopt, std::nullopt, false, mapping)),
                  c.expected)
            << c.status << c.body.data();
    }
}

TEST_F(AccountClientTest, RepliesThatDoNotDecodeAreUnreadableButAnInvalidProfileKeepsItsOwnError) {
    const auto unreadable = E::network("unreadable response");
    transport.enqueue(204);
    EXPECT_EQ(accountErrorOf(client.fetchAccount("t")), unreadable);
    transport.enqueue(200, "[]");
    EXPECT_EQ(accountErrorOf(client.fetchProviders()), unreadable);
    transport.enqueue(200, R"({"grant":"g"})");
    EXPECT_EQ(accountErrorOf(client.fetchProfile("t", "g", installation, "Mac", false)), unreadable);
    transport.enqueue(200, R"({"profile":)" + bytesOf(with(tlsProfileObject(), "port", 0)) + "}");
    EXPECT_THROW(runTask(client.fetchProfile("t", "g", installation, "Mac", false)), TessaronProfileError);
    // Only links to the service's own host are returned.
    transport.enqueue(200, QByteArray(trustedLinkJson).replace("accounts.example", "accounts.example.evil"));
    EXPECT_EQ(accountErrorOf(client.createSubscriptionLink("t", "Windows / Android")),
              E::network("untrusted subscription URL"));
    // An operation that ignores the reply does not read it.
    transport.enqueue(204);
    EXPECT_NO_THROW(runTask(client.logout("t")));
    transport.enqueue(200, "<html>");
    EXPECT_NO_THROW(runTask(client.deleteSubscriptionLink("t")));
}

// Transport failures are network errors, but cancellation is not; the gate sees every reply under the cap
// before the caller does, and no request that was never sent.
TEST_F(AccountClientTest, TransportFailuresAreNetworkErrorsAndTheGateSeesEveryReplyFirst) {
    const Client broken(QUrl("accounts.example"), transportHandle, clock, {});
    EXPECT_EQ(accountErrorOf(broken.fetchProviders()), E::network("invalid request URL"));
    EXPECT_TRUE(transport.requests().isEmpty()) << "a base URL that forms no request URL sent one";

    CancellationSource cancel;
    cancel.cancel();
    EXPECT_THROW(runTask(client.fetchProviders(cancel.token())), CancellationError);
    EXPECT_TRUE(transport.requests().isEmpty()) << "a cancelled caller's request was sent";

    transport.enqueue(HttpFailure{HttpFailure::Kind::timedOut, {}});
    EXPECT_EQ(accountErrorOf(client.fetchProviders()), E::network("transport"));

    transport.enqueue(200, accountJson);
    EXPECT_NO_THROW(runTask(client.fetchAccount("t")));
    transport.enqueue(426, R"({"error":"invalid_code"})");
    EXPECT_EQ(accountErrorOf(client.verifyEmailCode("c", "1", installation, "Mac")),
              E(Kind::upgradeRequired));
    transport.enqueue(302, {}, {{"Location", "https://elsewhere.example/"}});
    EXPECT_EQ(accountErrorOf(client.fetchAccount("t")), E::server(302));
    const QList<std::pair<int, QByteArray>> expected{
        {200, accountJson}, {426, R"({"error":"invalid_code"})"}, {302, {}}};
    EXPECT_EQ(observed, expected);
}

// A reply as long as the cap is read; one byte more is refused, never cut and read.
TEST_F(AccountClientTest, AReplyUpToTheCapIsReadAndALongerOneIsRefused) {
    const auto accountOf = [](qsizetype size) {
        const QByteArray opening = accountJson.chopped(1) + R"(,"padding":")";
        return opening + QByteArray(size - opening.size() - 2, 'x') + "\"}";
    };
    const std::pair<qsizetype, std::optional<E>> rows[] = {
        {131'072, std::nullopt},
        {131'073, E::network("response too large")},
    };
    for (const auto& [size, expected] : rows) {
        transport.enqueue(200, accountOf(size));
        EXPECT_EQ(accountErrorOf(client.fetchAccount("t")), expected) << size;
    }
}

TEST(AccountClientDeadlineTest, TheWholeExchangeEndsAfter15Seconds) {
    ManualClock clock;
    const Client client(QUrl("https://accounts.example"), std::make_shared<StalledHttpTransport>(clock),
                        clock, {});

    auto stalled = client.fetchProviders();
    clock.advance(14'999ms);
    EXPECT_FALSE(stalled.isReady());
    clock.advance(1ms);
    ASSERT_TRUE(stalled.isReady());
    EXPECT_EQ(accountErrorOf(std::move(stalled)), E::network("transport"));

    CancellationSource cancel;
    auto cancelled = client.fetchProviders(cancel.token());
    clock.advance(1s);
    cancel.cancel();
    clock.runDue();
    EXPECT_THROW(runTask(std::move(cancelled)), CancellationError);
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST(SubscriptionLinkTrustTest, AcceptsOnlyTokenLinksOnTheServiceHost) {
    const QString token(43, u'a');
    const struct {
        QString url;
        bool trusted;
    } cases[] = {
        {"https://accounts.example:8443/v1/sub/" + token, true},
        {"https://accounts.example/v1/sub/" + QString(21, u'A') + "-_" + QString(20, u'9'), true},
        {"https://accounts.example/v1/sub/%61" + QString(42, u'a'), true},
        {"http://accounts.example/v1/sub/" + token, false},
        {"https://eu.accounts.example/v1/sub/" + token, false},
        {"https://@accounts.example/v1/sub/" + token, false}, // an empty user is still a user
        {"https://accounts.example/v1/sub/" + token + "?", false},
        {"https://accounts.example/v1/sub/" + token + "#", false},
        {"https://accounts.example/v1/sub/" + QString(42, u'a'), false},
        {"https://accounts.example/v1/sub/" + QString(44, u'a'), false},
        {"https://accounts.example/v1/sub/" + QString(42, u'a') + "+", false},
        {"https://accounts.example/v1/sub/" + QString(41, u'a') + "%2Fa", false},
        {"https://accounts.example/v1/sub/" + QString(42, u'a') + "%C3%A9", false},
        {"https://accounts.example/V1/Sub/" + token, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Client::isTrustedSubscriptionURL(QUrl(c.url), "Accounts.Example"), c.trusted)
            << c.url.toStdString();
    // A client without a host trusts nothing, not even a link without one.
    EXPECT_FALSE(Client::isTrustedSubscriptionURL(QUrl("https:/v1/sub/" + token), ""));
}
