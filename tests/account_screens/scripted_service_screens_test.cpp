#include "account/account_model_fixture.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/account_section.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "screen_probe.hpp"
#include "support/fake_workspace.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

namespace tessaron::testing {
namespace {

const QByteArray linkPath = "/v1/account/subscription-link";

// The screens over the real account model and real HTTPS, signed in, against a server whose answers the
// test scripts (the local service cannot be made to fail on cue).
class ScriptedServiceScreensTest : public ::testing::Test {
protected:
    void SetUp() override {
        reply("GET", "/v1/auth/providers", 200, "{}");
        reply("GET", "/v1/account", 200, accountReply);
        ASSERT_TRUE(
            TessaronSessionTokenStore(harness.keychain, harness.bundle).save(QStringLiteral("tok-1")));
        runTask(model.refresh(nullptr), std::chrono::seconds(10));
        ASSERT_TRUE(model.account().has_value());
    }
    void reply(const QByteArray& method, const QByteArray& path, int status, QByteArray body = {}) {
        server.on(method, path, [status, body](const HttpsTestServer::Request&) {
            return HttpsTestServer::Reply{
                .status = status, .headers = {{"Content-Type", "application/json"}}, .body = body};
        });
    }
    static bool eventually(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }
    // How far down the section the visible text sits.
    static int below(QWidget& section, const QString& text) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (auto* widget : section.findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(widget);
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            if (widget->isVisibleTo(&section) &&
                ((label && label->text() == text) || (button && button->text() == text)))
                return widget->mapTo(&section, QPoint()).y();
        }
        ADD_FAILURE() << "nothing shows " << text.toStdString();
        return -1;
    }
    QStringList calls() const {
        QStringList made;
        for (const auto& request : server.requests())
            made.append(QString::fromUtf8(request.method + ' ' + request.path));
        return made;
    }

    HttpsTestServer server;
    SessionHarness harness;
    FakeWebAuthSession web;
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center{presenter};
    FakeWorkspace workspace;
    TessaronAccountModel model{
        {.client = TessaronAccountClient(server.baseUrl(),
                                         std::make_shared<QtHttpTransport>(QtHttpTransportOptions{
                                             .trustedAuthorities = server.caCertificates()}),
                                         SystemClock::shared(), nullptr),
         .tokenStore = TessaronSessionTokenStore(harness.keychain, harness.bundle),
         .linkStore = TessaronSubscriptionLinkStore(harness.keychain, harness.bundle),
         .installationID =
             [] { return QUuid::fromString(QStringLiteral("3b5e1f0a-8c2d-4e7b-9a61-0d4c7e2f9b15")); },
         .deviceName = [] { return QStringLiteral("Desk"); },
         .webAuth = web,
         .deviceSwap = center},
        false};
    TessaronAccountScreenModel screens{model};
};

TEST_F(ScriptedServiceScreensTest, AResetWhosePostFailsOffersCreateLinkAndTheErrorNotTheRevokedLink) {
    const QByteArray url = server.url(QStringLiteral("/v1/sub/") + QString(43, u'Q')).toEncoded();
    reply("GET", linkPath, 200, R"({"active":false})");
    reply("POST", linkPath, 201,
          R"({"url":")" + url + R"(","deviceName":"W","createdAt":"2026-03-05T14:30:00Z"})");
    reply("DELETE", linkPath, 204);
    TessaronOtherDevicesView view(screens, SystemClock::shared(), workspace);
    view.show();
    auto* create = qobject_cast<QAbstractButton*>(byId(view, QStringLiteral("tessaron.otherDevices.create")));
    ASSERT_TRUE(eventually([&] { return calls().contains("GET " + linkPath) && create->isEnabled(); }));
    click(create);
    const auto code = view.findChild<TessaronSubscriptionQRCode*>();
    ASSERT_TRUE(eventually([&] { return code->value() == QString::fromUtf8(url); }));

    reply("POST", linkPath, 500, R"({"error":"internal"})");
    click(buttonNamed(view, QStringLiteral("Reset link")));
    answer(view, QStringLiteral("Reset link? Devices using the old link will stop working."),
           QStringLiteral("Reset link"));
    ASSERT_TRUE(eventually([&] { return model.otherDevicesError() && !model.isSubscriptionBusy(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(create->isVisibleTo(&view));
    EXPECT_TRUE(visibleTexts(view).contains(*model.otherDevicesError()));
    EXPECT_EQ(code->value(), QString());
    EXPECT_FALSE(visibleTexts(view).join(u'\n').contains(QString::fromUtf8(url)));
    EXPECT_EQ(calls().mid(calls().lastIndexOf("DELETE " + linkPath)),
              (QStringList{"DELETE " + linkPath, "POST " + linkPath}));
}

TEST_F(ScriptedServiceScreensTest, ARefusedDeletionShowsItsErrorUnderTheRowsAndADoneOneLeavesSignIn) {
    QWidget window;
    auto* section = new TessaronAccountSection(screens, nullptr, SystemClock::shared(), workspace, &window);
    window.show();
    QString refusal;
    for (const auto& [status, stillSignedIn] : {std::pair{500, true}, std::pair{204, false}}) {
        SCOPED_TRACE(status);
        reply("DELETE", "/v1/account", status, status == 500 ? R"({"error":"internal"})" : "");
        const auto sent = calls().count(QStringLiteral("DELETE /v1/account"));
        click(buttonNamed(*section, QStringLiteral("Delete account…")));
        answer(*section, QStringLiteral("Delete your Tessaron account?"), QStringLiteral("Delete"));
        ASSERT_TRUE(eventually(
            [&] { return calls().count(QStringLiteral("DELETE /v1/account")) > sent && !model.isBusy(); }));
        QCoreApplication::processEvents();
        const QStringList shown = visibleTexts(*section);
        EXPECT_EQ(visible(*section, QStringLiteral("tessaron.settings.signIn")), !stillSignedIn);
        EXPECT_EQ(shown.contains(QStringLiteral("Sign out")), stillSignedIn);
        if (stillSignedIn) {
            ASSERT_TRUE(model.lastError().has_value());
            refusal = *model.lastError();
            EXPECT_GT(below(*section, refusal), below(*section, QStringLiteral("Delete account…")));
        }
        EXPECT_EQ(shown.contains(refusal), stillSignedIn);
    }
}

} // namespace
} // namespace tessaron::testing
