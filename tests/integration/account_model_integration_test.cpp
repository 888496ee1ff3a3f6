#include "account/account_fakes.hpp"
#include "account/account_model.hpp"
#include "account/account_model_fixture.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/secret_service_keychain.hpp"
#include "platform/system_clock.hpp"
#include "session/session_harness.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace tessaron::testing {
namespace {

using Reply = HttpsTestServer::Reply;
using Request = HttpsTestServer::Request;

Reply json(int status, QByteArray body = {}) {
    return {.status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

// The model as the application builds it, but for the browser and the dialogs: real HTTPS to a local
// service, its stores in the real Secret Service, and a session on fakes.
class AccountModelIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
        answer("POST", "/v1/auth/email/start",
               json(200, R"({"challengeID":"ch-1","resendAfterSeconds":30})"));
        answer("POST", "/v1/auth/email/verify", json(200, authReply(QStringLiteral("tok-live"))));
        answer("POST", "/v1/auth/logout", json(204));
    }

    void answer(const QByteArray& method, const QByteArray& path, Reply reply) {
        server.on(method, path, [reply](const Request&) { return reply; });
    }
    TessaronAccountModel& build() {
        QtHttpTransportOptions options;
        options.trustedAuthorities = server.caCertificates();
        model = std::make_unique<TessaronAccountModel>(
            TessaronAccountServices{
                .client = TessaronAccountClient(server.baseUrl(), std::make_shared<QtHttpTransport>(options),
                                                SystemClock::shared(), nullptr),
                .tokenStore = TessaronSessionTokenStore(keychain, bundle),
                .linkStore = TessaronSubscriptionLinkStore(keychain, bundle),
                .installationID =
                    [] { return QUuid::fromString(QStringLiteral("3b5e1f0a-8c2d-4e7b-9a61-0d4c7e2f9b15")); },
                .deviceName = [] { return QStringLiteral("Build Box"); },
                .webAuth = web,
                .deviceSwap = center,
            },
            false);
        return *model;
    }
    void signInByEmail(TessaronSession* session) {
        model->setEmail(QStringLiteral("ann@example.com"));
        runTask(model->startEmailSignIn());
        model->acceptCode(QStringLiteral("123456"));
        runTask(model->verifyEmailCode(session));
    }
    QList<Request> requestsTo(const QByteArray& path) const {
        QList<Request> matching;
        for (const auto& request : server.requests()) {
            if (request.path == path)
                matching.append(request);
        }
        return matching;
    }
    QList<KeychainItem> accountItems() {
        return keychain
            .copyAll({.accessGroup = group, .service = accountKeychainService, .account = std::nullopt})
            .value;
    }

    const QString group = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const BundleInfo bundle{QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), group}},
                            ProgramLocations{}};
    SecretServiceKeychain keychain;
    HttpsTestServer server;
    SessionHarness harness;
    FakeWebAuthSession web;
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center{presenter};
    std::unique_ptr<TessaronAccountModel> model;
};

TEST_F(AccountModelIntegrationTest, TheStoresAddUpdateReadBackAndSweepTheirItems) {
    const TessaronSessionTokenStore tokens(keychain, bundle);
    const TessaronSubscriptionLinkStore links(keychain, bundle);
    EXPECT_TRUE(tokens.save(QStringLiteral("first")));
    EXPECT_TRUE(tokens.save(QStringLiteral("second")));
    const QUrl first(QStringLiteral("https://accounts.test/v1/sub/1")),
        second(QStringLiteral("https://accounts.test/v1/sub/2"));
    links.write(first, QStringLiteral("acct-1"));
    links.write(second, QStringLiteral("acct-1"));
    links.write(first, QStringLiteral("acct-2"));
    EXPECT_EQ(tokens.load(), QStringLiteral("second"));
    EXPECT_EQ(links.readURL(QStringLiteral("acct-1")), second);
    EXPECT_EQ(accountItems().size(), 3);

    links.removeAll();
    ASSERT_EQ(accountItems().size(), 1);
    EXPECT_EQ(accountItems()[0].account, TessaronSessionTokenStore::keychainAccount);
    tokens.remove();
    EXPECT_EQ(tokens.load(), std::nullopt);
}

TEST_F(AccountModelIntegrationTest, ASignInRecoversTheGrantThroughTheSwitchAndSignOutClearsEverything) {
    const auto profile = sampleProfile(QStringLiteral("Oslo"));
    std::atomic<int> profileRequests = 0;
    server.on("POST", "/v1/account/profile", [&](const Request& request) {
        ++profileRequests;
        if (request.header("X-Tessaron-Device-Swap") != "1")
            return json(409, slotTakenReply(QStringLiteral("computer"), QStringLiteral("Old Mac")));
        return json(200, envelopeReply(profile));
    });
    const QByteArray linkURL = server.url(QStringLiteral("/v1/sub/") + QString(43, u'Z')).toEncoded();
    answer("POST", "/v1/account/subscription-link",
           json(201, R"({"url":")" + linkURL +
                         R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})"));
    auto& session = harness.start();
    build();

    signInByEmail(&session);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.confirmations.isEmpty(); }));
    presenter.answer(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.selectedID() == profile.id; }));
    EXPECT_EQ(profileRequests, 2);

    runTask(model->createSubscriptionLink());
    EXPECT_EQ(model->subscriptionLocalURL(), QUrl::fromEncoded(linkURL));
    EXPECT_EQ(accountItems().size(), 2);

    runTask(model->signOut(&session));
    EXPECT_TRUE(accountItems().isEmpty());
    EXPECT_TRUE(session.summaries().isEmpty());
    for (const auto* path : {"/v1/account/profile", "/v1/account/subscription-link", "/v1/auth/logout"})
        EXPECT_EQ(requestsTo(path).last().header("Authorization"), "Bearer tok-live") << path;
}

TEST_F(AccountModelIntegrationTest, DeletionSignsOutOnlyAfterTheServiceConfirmed) {
    std::atomic<int> status = 500;
    server.on("DELETE", "/v1/account", [&](const Request&) { return json(status); });
    build();
    signInByEmail(nullptr);
    runTask(model->deleteAccount(nullptr));
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_EQ(accountItems().size(), 1);

    status = 204;
    runTask(model->deleteAccount(nullptr));
    EXPECT_FALSE(model->isSignedIn());
    EXPECT_TRUE(accountItems().isEmpty());
    EXPECT_EQ(requestsTo("/v1/account").last().header("Authorization"), "Bearer tok-live");
}

} // namespace
} // namespace tessaron::testing
