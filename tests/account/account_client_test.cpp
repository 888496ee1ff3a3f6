#include "account/account_client.hpp"
#include "profiles/build_label.hpp"
#include "profiles/profile_error.hpp"

#include "account_test_support.hpp"
#include "profiles/profile_samples.hpp"
#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/stalled_http_transport.hpp"

#include <gtest/gtest.h>

#include <functional>

using namespace tessaron;
using namespace tessaron::testing;
using namespace std::chrono_literals;

namespace {

using Kind = TessaronAccountErrorKind;
using Client = TessaronAccountClient;
using Header = QPair<QByteArray, QByteArray>;

const QUuid installation("{0f8fad5b-d9cb-469f-a165-70867728950e}");
const QUuid profile("{7c9e6679-7425-40de-944b-e07fc1f90ae7}");
const QByteArray accountJson =
    R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";
const QByteArray sessionJson = R"({"sessionToken":"tok-2","account":)" + accountJson + "}";
const QByteArray envelopeJson = R"({"profile":)" + bytesOf(tlsProfileObject()) + "}";
const QByteArray trustedLinkJson =
    R"({"url":"https://accounts.example/v1/sub/)" + QByteArray(43, 'A') +
    R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";

class AccountClientTest : public ::testing::Test {
protected:
    explicit AccountClientTest(QUrl baseURL = QUrl("https://accounts.example:8443/api/?region=eu#top"))
        : client(std::move(baseURL), transportHandle, clock, [this](int status, const QByteArray& body) {
            observed.append({status, body});
        }) {}

    // Sends one request through the pipeline with `mapping` against a scripted reply.
    std::optional<TessaronAccountError> refusal(Client::FailureMapping mapping, int status,
                                                const QByteArray& body) {
        transport.enqueue(status, body);
        return accountErrorOf(client.send("/v1/test", "POST", std::nullopt, std::nullopt, false, mapping));
    }

    std::shared_ptr<FakeHttpTransport> transportHandle = std::make_shared<FakeHttpTransport>();
    FakeHttpTransport& transport = *transportHandle;
    ManualClock clock;
    QList<std::pair<int, QByteArray>> observed;
    Client client;
};

struct MappingCase {
    int status;
    QByteArray body;
    TessaronAccountError expected;
};

} // namespace

// The exact request of every endpoint, and one refusal that only the endpoint's own failure mapping reads.
TEST_F(AccountClientTest, EveryEndpointSendsItsRequestAndReadsItsOwnRefusals) {
    const QByteArray label = clientBuildLabel().toUtf8();
    const QByteArray installationText = "0f8fad5b-d9cb-469f-a165-70867728950e";
    const struct {
        std::function<QCoro::Task<>(const Client&)> call;
        QByteArray reply;
        QByteArray method;
        QString path;
        const char* token;
        QByteArray body;
        std::optional<MappingCase> refusal = std::nullopt;
        bool deviceSwap = false;
    } cases[] = {
        {[](auto& c) -> QCoro::Task<> { co_await c.fetchProviders(); }, "{}", "GET", "/v1/auth/providers",
         nullptr, ""},
        {[](auto& c) -> QCoro::Task<> { co_await c.fetchAccount("tok-1"); }, accountJson, "GET",
         "/v1/account", "tok-1", ""},
        {[](auto& c) -> QCoro::Task<> { co_await c.startEmailChallenge("ann@example.com", installation); },
         R"({"challengeID":"ch-1","resendAfterSeconds":30})", "POST", "/v1/auth/email/start", nullptr,
         R"({"email":"ann@example.com","installationID":")" + installationText + R"("})",
         MappingCase{400, R"({"error":"invalid_email"})", TessaronAccountError(Kind::invalidEmail)}},
        {[](auto& c) -> QCoro::Task<> {
             co_await c.verifyEmailCode("ch-1", "123456", installation, QString::fromUtf8("Ann’s \"Mac\""));
         },
         sessionJson, "POST", "/v1/auth/email/verify", nullptr,
         R"({"challengeID":"ch-1","code":"123456","installationID":")" + installationText +
             R"(","deviceName":"Ann’s \"Mac\"","platform":"macos"})",
         MappingCase{401, R"({"error":"invalid_code","attemptsLeft":2})",
                     TessaronAccountError::invalidCode(2)}},
        {[](auto& c) -> QCoro::Task<> { co_await c.signInWithApple("id-token", installation, "Mac"); },
         sessionJson, "POST", "/v1/auth/apple", nullptr,
         R"({"identityToken":"id-token","installationID":")" + installationText +
             R"(","deviceName":"Mac","platform":"macos"})",
         MappingCase{409, R"({"error":"provider_conflict"})", TessaronAccountError(Kind::providerConflict)}},
        {[](auto& c) -> QCoro::Task<> { co_await c.startOAuth(TessaronOAuthProvider::whop, installation); },
         R"({"authorizeURL":"https://id.example/a","state":"s"})", "POST", "/v1/auth/oauth/start", nullptr,
         R"({"provider":"whop","installationID":")" + installationText + R"("})"},
        {[](auto& c) -> QCoro::Task<> { co_await c.startOAuth(TessaronOAuthProvider::google, installation); },
         R"({"authorizeURL":"https://id.example/a","state":"s"})", "POST", "/v1/auth/oauth/start", nullptr,
         R"({"provider":"google","installationID":")" + installationText + R"("})"},
        {[](auto& c) -> QCoro::Task<> { co_await c.exchangeOAuthCode("cb-code", installation, "Mac"); },
         sessionJson, "POST", "/v1/auth/oauth/exchange", nullptr,
         R"({"code":"cb-code","installationID":")" + installationText +
             R"(","deviceName":"Mac","platform":"macos"})",
         MappingCase{409, R"({"error":"provider_conflict"})", TessaronAccountError::server(409)}},
        {[](auto& c) -> QCoro::Task<> { co_await c.logout("tok-1"); }, "", "POST", "/v1/auth/logout", "tok-1",
         ""},
        {[](auto& c) -> QCoro::Task<> { co_await c.deleteAccount("tok-1"); }, "", "DELETE", "/v1/account",
         "tok-1", ""},
        {[](auto& c) -> QCoro::Task<> {
             co_await c.fetchProfile("tok-1", "grant-7", installation, "Mac", true);
         },
         envelopeJson, "POST", "/v1/account/profile", "tok-1",
         R"({"grantID":"grant-7","installationID":")" + installationText + R"(","deviceName":"Mac"})",
         MappingCase{409, R"({"error":"device_slot_locked","slot":"computer"})",
                     TessaronAccountError::deviceSlot(
                         TessaronDeviceSlotError::Locked{TessaronDeviceSlot::computer, std::nullopt})},
         true},
        {[](auto& c) -> QCoro::Task<> { co_await c.linkProfile("tok-1", profile, installation); },
         accountJson, "POST", "/v1/account/link", "tok-1",
         R"({"profileID":"7c9e6679-7425-40de-944b-e07fc1f90ae7","installationID":")" + installationText +
             R"("})",
         MappingCase{403, R"({"error":"not_your_grant"})", TessaronAccountError(Kind::notYourGrant)}},
        {[](auto& c) -> QCoro::Task<> { co_await c.createSubscriptionLink("tok-1", "Windows / Android"); },
         trustedLinkJson, "POST", "/v1/account/subscription-link", "tok-1",
         R"({"deviceName":"Windows / Android"})",
         MappingCase{409, R"({"error":"device_limit"})", TessaronAccountError(Kind::deviceLimit)}},
        {[](auto& c) -> QCoro::Task<> { co_await c.fetchSubscriptionLinkStatus("tok-1"); },
         R"({"active":false})", "GET", "/v1/account/subscription-link", "tok-1", ""},
        {[](auto& c) -> QCoro::Task<> { co_await c.deleteSubscriptionLink("tok-1"); }, "", "DELETE",
         "/v1/account/subscription-link", "tok-1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " " + c.body.toStdString());
        transport.enqueue(200, c.reply);
        ASSERT_NO_THROW(runTask(c.call(client)));
        const auto& request = transport.requests().last();
        EXPECT_EQ(request.method, c.method);
        EXPECT_EQ(request.url, QUrl("https://accounts.example:8443" + c.path));
        HttpHeaders headers;
        if (!c.body.isEmpty())
            headers.append(Header("Content-Type", "application/json"));
        headers.append(Header("Accept", "application/json"));
        if (c.token)
            headers.append(Header("Authorization", QByteArray("Bearer ") + c.token));
        headers.append(Header("X-Tessaron-Client", label));
        if (c.deviceSwap)
            headers.append(Header("X-Tessaron-Device-Swap", "1"));
        EXPECT_EQ(request.headers, headers);
        EXPECT_EQ(request.body, c.body);
        if (c.refusal) {
            transport.enqueue(c.refusal->status, c.refusal->body);
            EXPECT_EQ(accountErrorOf(c.call(client)), c.refusal->expected);
        }
    }
}

// Statuses and error codes compare exactly; whatever a mapping does not name falls to the common one.
TEST_F(AccountClientTest, FailureMappings) {
    const auto taken = TessaronAccountError::deviceSlot(
        TessaronDeviceSlotError::Taken{TessaronDeviceSlot::computer, "Office Mac"});
    const struct {
        Client::FailureMapping mapping;
        MappingCase c;
    } cases[] = {
        {&Client::mapCommonFailure,
         {401, R"({"error":"invalid_code"})", TessaronAccountError(Kind::unauthorized)}},
        {&Client::mapCommonFailure, {404, {}, TessaronAccountError(Kind::unavailable)}},
        {&Client::mapCommonFailure, {429, {}, TessaronAccountError(Kind::rateLimited)}},
        {&Client::mapCommonFailure,
         {409, R"({"error":"device_slot_taken"})", TessaronAccountError::server(409)}},
        {&Client::mapEmailStartFailure, {400, R"(["invalid_email"])", TessaronAccountError::server(400)}},
        {&Client::mapEmailStartFailure, {503, {}, TessaronAccountError::server(503)}},
        {&Client::mapEmailVerificationFailure,
         {401, R"({"error":"invalid_code"})", TessaronAccountError::invalidCode(0)}},
        {&Client::mapEmailVerificationFailure,
         {401, R"({"error":"invalid_code","attemptsLeft":1.5})", TessaronAccountError::invalidCode(0)}},
        {&Client::mapEmailVerificationFailure,
         {401, R"({"error":"Invalid_Code","attemptsLeft":2})", TessaronAccountError(Kind::unauthorized)}},
        {&Client::mapEmailVerificationFailure, {410, "gone", TessaronAccountError(Kind::challengeExpired)}},
        {&Client::mapEmailVerificationFailure,
         {400, R"({"error":"invalid_code"})", TessaronAccountError::server(400)}},
        {&Client::mapAppleSignInFailure,
         {400, R"({"error":"email_required"})", TessaronAccountError(Kind::emailRequired)}},
        {&Client::mapAppleSignInFailure,
         {400, R"({"error":"provider_conflict"})", TessaronAccountError::server(400)}},
        {&Client::mapProfileFailure,
         {409, R"({"error":"device_slot_taken","slot":"computer","deviceName":"Office Mac"})", taken}},
        {&Client::mapProfileFailure, {409, R"({"error":"device_limit"})", TessaronAccountError::server(409)}},
        {&Client::mapProfileFailure,
         {403, R"({"error":"grant_not_active"})", TessaronAccountError(Kind::grantNotActive)}},
        {&Client::mapLinkFailure,
         {403, R"({"error":"grant_not_active"})", TessaronAccountError::server(403)}},
        {&Client::mapSubscriptionLinkFailure,
         {403, R"({"error":"no_access"})", TessaronAccountError(Kind::noAccess)}},
        {&Client::mapSubscriptionLinkFailure, {403, {}, TessaronAccountError::server(403)}},
    };
    for (const auto& [mapping, c] : cases)
        EXPECT_EQ(refusal(mapping, c.status, c.body), c.expected) << c.status << c.body.data();
}

TEST_F(AccountClientTest, TheGateSeesEveryReplyUnderTheCapBeforeTheCallerDoes) {
    transport.enqueue(200, accountJson);
    EXPECT_NO_THROW(runTask(client.fetchAccount("t")));
    transport.enqueue(426, R"({"error":"invalid_code"})");
    EXPECT_EQ(accountErrorOf(client.verifyEmailCode("c", "1", installation, "Mac")),
              TessaronAccountError(Kind::upgradeRequired));
    transport.enqueue(302, {}, {{"Location", "https://elsewhere.example/"}});
    EXPECT_EQ(accountErrorOf(client.fetchAccount("t")), TessaronAccountError::server(302));
    const QList<std::pair<int, QByteArray>> expected{
        {200, accountJson}, {426, R"({"error":"invalid_code"})"}, {302, {}}};
    EXPECT_EQ(observed, expected);
}

TEST_F(AccountClientTest, RepliesThatDoNotDecodeAreUnreadableButAnInvalidProfileKeepsItsOwnError) {
    const auto unreadable = TessaronAccountError::network("unreadable response");
    transport.enqueue(204);
    EXPECT_EQ(accountErrorOf(client.fetchAccount("t")), unreadable);
    transport.enqueue(200, "[]");
    EXPECT_EQ(accountErrorOf(client.fetchProviders()), unreadable);
    transport.enqueue(200, R"({"grant":"g"})");
    EXPECT_EQ(accountErrorOf(client.fetchProfile("t", "g", installation, "Mac", false)), unreadable);
    transport.enqueue(200, R"({"profile":)" + bytesOf(with(tlsProfileObject(), "port", 0)) + "}");
    EXPECT_THROW(runTask(client.fetchProfile("t", "g", installation, "Mac", false)), TessaronProfileError);
    // An operation that ignores the reply does not read it.
    transport.enqueue(204);
    EXPECT_NO_THROW(runTask(client.logout("t")));
    transport.enqueue(200, "<html>");
    EXPECT_NO_THROW(runTask(client.deleteSubscriptionLink("t")));
}

TEST_F(AccountClientTest, TransportFailuresAreNetworkErrorsButCancellationIsNot) {
    const Client broken(QUrl("accounts.example"), transportHandle, clock, {});
    EXPECT_EQ(accountErrorOf(broken.fetchProviders()), TessaronAccountError::network("invalid request URL"));
    EXPECT_TRUE(transport.requests().isEmpty()) << "a base URL that forms no request URL sent one";

    CancellationSource cancel;
    cancel.cancel();
    EXPECT_THROW(runTask(client.fetchProviders(cancel.token())), CancellationError);
    EXPECT_TRUE(transport.requests().isEmpty()) << "a cancelled caller's request was sent";
    EXPECT_TRUE(observed.isEmpty());

    transport.enqueue(HttpFailure{HttpFailure::Kind::timedOut, {}});
    EXPECT_EQ(accountErrorOf(client.fetchProviders()), TessaronAccountError::network("transport"));
}

TEST_F(AccountClientTest, OnlyTrustedSubscriptionLinksAreReturned) {
    QByteArray elsewhere = trustedLinkJson;
    elsewhere.replace("accounts.example", "accounts.example.evil");
    transport.enqueue(200, elsewhere);
    EXPECT_EQ(accountErrorOf(client.createSubscriptionLink("t", "Windows / Android")),
              TessaronAccountError::network("untrusted subscription URL"));
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
    EXPECT_EQ(accountErrorOf(std::move(stalled)), TessaronAccountError::network("transport"));

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
        {"https://accounts.example/v1/sub/" + token, true},
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
