#include "account/account_model_fixture.hpp"
#include "app/instance_forwarder.hpp"
#include "app/opened_url_router.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "support/fake_browser.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tessaron {
namespace {

using namespace std::chrono_literals;

// Starts of the real application, kept to this test's runtime and data folders.
class InstanceForwarderTest : public ::testing::Test {
protected:
    std::unique_ptr<QProcess> startApp(const QStringList& arguments = {}) {
        auto app = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* folder : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.insert(QString::fromLatin1(folder), home.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        app->setProcessEnvironment(environment);
        app->start(QStringLiteral(TESSARON_APPLICATION), arguments);
        return app;
    }
    static bool exitedWithZero(QProcess& app) {
        return app.waitForFinished(10'000) && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }
    QString socketFile() const { return home.filePath(QStringLiteral("tessaron-app.socket")); }

    QTemporaryDir home;
};

// The account model awaits the browser over real HTTPS; the desktop hands the callback to a second start.
// Later starts hand their links on to the invitation flow, and a start without one raises the instance.
TEST_F(InstanceForwarderTest, LaterStartsHandTheCallbackAndLinksToTheInstanceWhichRoutesThem) {
    using Reply = testing::HttpsTestServer::Reply;
    const auto json = [](QByteArray body) {
        return Reply{
            .status = 200, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
    };
    const auto profile = testing::sampleProfile(QStringLiteral("Oslo"));
    testing::HttpsTestServer server;
    const QUrl authorize = server.url(QStringLiteral("/oauth/authorize?state=s-1"));
    const std::map<QByteArray, Reply> replies{
        {"/v1/auth/oauth/start",
         json(R"({"authorizeURL":")" + authorize.toEncoded() + R"(","state":"s-1"})")},
        {"/v1/auth/oauth/exchange", json(testing::authReply(QStringLiteral("tok-web")))},
        {"/v1/account/profile", json(testing::envelopeReply(profile))},
    };
    for (const auto& [path, reply] : replies)
        server.on("POST", path, [reply](const auto&) { return reply; });

    InstanceForwarder instance(home.path());
    ASSERT_EQ(instance.start(std::nullopt), InstanceForwarder::Role::primary);
    EXPECT_EQ(QFile::permissions(socketFile()) & 0077, QFile::Permissions());
    LinuxWebAuthSession webSignIn;
    QList<QUrl> invitations;
    OpenedUrlRouter router(webSignIn, [&invitations](const QUrl& url) { invitations.append(url); });
    QObject::connect(&instance, &InstanceForwarder::urlOpened,
                     [&router](const QUrl& url) { router.open(url); });
    std::unique_ptr<QProcess> handing;
    // Opening the sign-in page ends, as the desktop does it, in a start of the app with the callback.
    testing::FakeBrowser browser(
        [&] { handing = startApp({QStringLiteral("tessaron://auth/callback?code=c%2B1&state=s-1")}); });
    testing::SessionHarness harness;
    testing::FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center(presenter);
    TessaronAccountModel model(
        {.client = TessaronAccountClient(server.baseUrl(),
                                         std::make_shared<QtHttpTransport>(QtHttpTransportOptions{
                                             .trustedAuthorities = server.caCertificates()}),
                                         SystemClock::shared(), nullptr),
         .tokenStore = TessaronSessionTokenStore(harness.keychain, harness.bundle),
         .linkStore = TessaronSubscriptionLinkStore(harness.keychain, harness.bundle),
         .installationID = [] { return QUuid::createUuid(); },
         .deviceName = [] { return QStringLiteral("Build Box"); },
         .webAuth = webSignIn,
         .deviceSwap = center},
        false);
    auto& session = harness.start();
    testing::runTask(model.signIn(TessaronOAuthProvider::google, &session), 15s);
    EXPECT_EQ(browser.opened, QList{authorize});
    EXPECT_TRUE(handing && exitedWithZero(*handing));
    EXPECT_TRUE(model.isSignedIn()) << model.lastError().value_or(QString()).toStdString();
    ASSERT_GE(server.requests().size(), 2);
    EXPECT_EQ(QJsonDocument::fromJson(server.requests()[1].body)["code"].toString().toStdString(), "c+1");
    // The sign-in's follow-up installs the account's grant.
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.selectedID() == profile.id; }, 10'000));

    const QString link = QStringLiteral("https://tessaron.app/i/abc?code=1");
    const QString ownLink = QStringLiteral("tessaron://connect?invite=abc");
    QSignalSpy raised(&instance, &InstanceForwarder::raiseRequested);
    QSignalSpy opened(&instance, &InstanceForwarder::urlOpened);
    for (const QStringList& arguments : {QStringList{link}, QStringList{ownLink}, QStringList{}}) {
        const auto later = startApp(arguments);
        ASSERT_TRUE(arguments.isEmpty() ? raised.wait(10'000) : opened.wait(10'000));
        EXPECT_TRUE(exitedWithZero(*later));
    }
    EXPECT_EQ(invitations, (QList{QUrl(link), QUrl(ownLink)}));
    EXPECT_EQ(raised.size(), 1) << "no URL asks for a raise";
}

TEST_F(InstanceForwarderTest, ACrashedInstanceIsReplaced) {
    const auto crashed = startApp();
    for (int tries = 0; tries < 100 && !QFile::exists(socketFile()); ++tries)
        crashed->waitForFinished(100);
    crashed->kill();
    crashed->waitForFinished();
    ASSERT_TRUE(QFile::exists(socketFile()));

    InstanceForwarder next(home.path());
    EXPECT_EQ(next.start(std::nullopt), InstanceForwarder::Role::primary);
}

} // namespace
} // namespace tessaron
