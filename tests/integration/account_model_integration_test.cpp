#include "account/account_model_fixture.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/secret_service_keychain.hpp"
#include "platform/system_clock.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using Reply = HttpsTestServer::Reply;
using Request = HttpsTestServer::Request;

Reply json(int status, QByteArray body = {}) {
    return {.status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

// The stores in the real Secret Service, and the model over real HTTPS to a local service; the session,
// the browser and the dialogs are fakes.
class AccountModelIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
            << "run this suite through tests/support/with-keyring.sh";
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
};

TEST_F(AccountModelIntegrationTest, TheStoresAddUpdateReadBackAndSweepTheirItems) {
    const TessaronSessionTokenStore tokens(keychain, bundle);
    const TessaronSubscriptionLinkStore links(keychain, bundle);
    const QUrl first(QStringLiteral("https://a.test/v1/sub/1")),
        second(QStringLiteral("https://a.test/v1/sub/2"));
    for (const auto& url : {first, second}) {
        EXPECT_TRUE(tokens.save(url.path()));
        links.write(url, QStringLiteral("acct-1"));
    }
    links.write(first, QStringLiteral("acct-2"));
    EXPECT_EQ(tokens.load(), second.path());
    EXPECT_EQ(links.readURL(QStringLiteral("acct-1")), second);
    EXPECT_EQ(accountItems().size(), 3);
    links.removeAll();
    ASSERT_EQ(accountItems().size(), 1);
    EXPECT_EQ(accountItems()[0].account, TessaronSessionTokenStore::keychainAccount);
}

TEST_F(AccountModelIntegrationTest, ASignInRecoversTheGrantThroughTheSwitchAndSignOutClearsEverything) {
    HttpsTestServer server;
    const auto profile = sampleProfile(QStringLiteral("Oslo"));
    const QByteArray linkURL = server.url(QStringLiteral("/v1/sub/") + QString(43, u'Z')).toEncoded();
    const std::map<QByteArray, Reply> replies{
        {"/v1/auth/email/start", json(200, R"({"challengeID":"ch-1","resendAfterSeconds":30})")},
        {"/v1/auth/email/verify", json(200, authReply(QStringLiteral("tok-live")))},
        {"/v1/account/subscription-link",
         json(201, R"({"url":")" + linkURL + R"(","deviceName":"W","createdAt":"2026-03-05T14:30:00Z"})")},
        {"/v1/auth/logout", json(204)},
    };
    for (const auto& [path, reply] : replies)
        server.on("POST", path, [reply](const Request&) { return reply; });
    server.on("POST", "/v1/account/profile", [&](const Request& request) {
        if (request.header("X-Tessaron-Device-Swap") != "1")
            return json(409, slotTakenReply(QStringLiteral("Old Mac")));
        return json(200, envelopeReply(profile));
    });
    QtHttpTransportOptions options;
    options.trustedAuthorities = server.caCertificates();
    SessionHarness harness;
    FakeWebAuthSession web;
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center(presenter);
    TessaronAccountModel model(
        {.client = TessaronAccountClient(server.baseUrl(), std::make_shared<QtHttpTransport>(options),
                                         SystemClock::shared(), nullptr),
         .tokenStore = TessaronSessionTokenStore(keychain, bundle),
         .linkStore = TessaronSubscriptionLinkStore(keychain, bundle),
         .installationID = [] { return QUuid::createUuid(); },
         .deviceName = [] { return QStringLiteral("Build Box"); },
         .webAuth = web,
         .deviceSwap = center},
        false);
    auto& session = harness.start();

    model.setEmail(QStringLiteral("ann@example.com"));
    runTask(model.startEmailSignIn());
    model.acceptCode(QStringLiteral("123456"));
    runTask(model.verifyEmailCode(&session));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(presenter.answer); }));
    presenter.answer(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.selectedID() == profile.id; }));
    runTask(model.createSubscriptionLink());
    EXPECT_EQ(model.subscriptionLocalURL(), QUrl::fromEncoded(linkURL));
    EXPECT_EQ(accountItems().size(), 2);

    runTask(model.signOut(&session));
    EXPECT_TRUE(accountItems().isEmpty());
    EXPECT_TRUE(session.summaries().isEmpty());
    QStringList calls;
    for (const auto& request : server.requests()) {
        calls.append(QString::fromUtf8(request.method + ' ' + request.path + ' ' +
                                       request.header("Authorization") + ' ' +
                                       request.header("X-Tessaron-Device-Swap")));
    }
    EXPECT_EQ(calls, (QStringList{
                         "POST /v1/auth/email/start  ",
                         "POST /v1/auth/email/verify  ",
                         "POST /v1/account/profile Bearer tok-live ",
                         "POST /v1/account/profile Bearer tok-live 1",
                         "POST /v1/account/subscription-link Bearer tok-live ",
                         "POST /v1/auth/logout Bearer tok-live ",
                     }));
}

} // namespace
} // namespace tessaron::testing
