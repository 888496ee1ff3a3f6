#include "account/account_model_fixture.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/account_section.hpp"
#include "account_screens/login_view.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "integration/local_service_process.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "screen_probe.hpp"
#include "support/fake_workspace.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSslCertificate>

namespace tessaron::testing {
namespace {

// The screens over the real account model, talking HTTPS to the local service of tools/.
class LocalServiceScreensTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
        model = std::make_unique<TessaronAccountModel>(
            TessaronAccountServices{
                .client =
                    TessaronAccountClient(QUrl(service.baseURL()), transport, SystemClock::shared(), nullptr),
                .tokenStore = TessaronSessionTokenStore(harness.keychain, harness.bundle),
                .linkStore = TessaronSubscriptionLinkStore(harness.keychain, harness.bundle),
                .installationID =
                    [] { return QUuid::fromString(QStringLiteral("3b5e1f0a-8c2d-4e7b-9a61-0d4c7e2f9b15")); },
                .deviceName = [] { return QStringLiteral("Desk"); },
                .webAuth = web,
                .deviceSwap = center,
            },
            false);
        screens = std::make_unique<TessaronAccountScreenModel>(*model);
    }
    // Waits for the service's answer to show.
    static bool eventually(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }

    LocalServiceProcess service;
    std::shared_ptr<QtHttpTransport> transport = std::make_shared<QtHttpTransport>(
        QtHttpTransportOptions{.trustedAuthorities = QSslCertificate::fromPath(service.caFile())});
    SessionHarness harness;
    FakeWebAuthSession web;
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center{presenter};
    FakeWorkspace workspace;
    std::unique_ptr<TessaronAccountModel> model;
    std::unique_ptr<TessaronAccountScreenModel> screens;
};

TEST_F(LocalServiceScreensTest, SignInByCodeThenCreateCopyResetAndRemoveALinkThenSignOut) {
    const QString email = QStringLiteral("screens@example.com");
    TessaronLoginView signIn(*screens, nullptr, SystemClock::shared());
    signIn.show();
    QTest::keyClicks(signIn.findChild<QLineEdit*>(QStringLiteral("tessaron.signIn.email")), email);
    click(qobject_cast<QAbstractButton*>(byId(signIn, QStringLiteral("tessaron.signIn.continue"))));
    ASSERT_TRUE(eventually([&] { return visible(signIn, QStringLiteral("tessaron.signIn.code")); }));
    const auto printed = service.awaitLine(
        QStringLiteral("^e-mail code for %1: (\\d{6})$").arg(QRegularExpression::escape(email)),
        std::chrono::seconds(10));
    ASSERT_TRUE(printed);
    QTest::keyClicks(signIn.findChild<QLineEdit*>(QStringLiteral("tessaron.signIn.code")),
                     printed->captured(1));
    ASSERT_TRUE(eventually([&] { return visibleTexts(signIn).contains(QStringLiteral("Signed in as")); }));
    EXPECT_TRUE(visibleTexts(signIn).contains(email));
    signIn.close();

    TessaronOtherDevicesView devices(*screens, SystemClock::shared(), workspace);
    devices.show();
    const auto code = [&] {
        return devices.findChild<TessaronSubscriptionQRCode*>();
    };
    ASSERT_TRUE(eventually([&] { return !model->isSubscriptionBusy(); }));
    click(qobject_cast<QAbstractButton*>(byId(devices, QStringLiteral("tessaron.otherDevices.create"))));
    ASSERT_TRUE(eventually([&] { return model->subscriptionLocalURL().has_value(); }));
    const QString first = model->subscriptionLocalURL()->toString(QUrl::FullyEncoded);
    EXPECT_EQ(decodeQR(renderOnWhite(*code())), first);
    click(qobject_cast<QAbstractButton*>(byId(devices, QStringLiteral("tessaron.otherDevices.copy"))));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), first);

    click(buttonNamed(devices, QStringLiteral("Reset link")));
    answer(devices, QStringLiteral("Reset link? Devices using the old link will stop working."),
           QStringLiteral("Reset link"));
    ASSERT_TRUE(eventually(
        [&] { return model->subscriptionLocalURL() && model->subscriptionLocalURL()->toString() != first; }));
    EXPECT_EQ(decodeQR(renderOnWhite(*code())), model->subscriptionLocalURL()->toString(QUrl::FullyEncoded));

    click(buttonNamed(devices, QStringLiteral("Remove link")));
    answer(devices, QStringLiteral("Remove link? Windows and Android devices will disconnect."),
           QStringLiteral("Remove link"));
    ASSERT_TRUE(eventually([&] { return visible(devices, QStringLiteral("tessaron.otherDevices.create")); }));
    EXPECT_EQ(code()->value(), QString());
    devices.close();

    QWidget window;
    auto* section = new TessaronAccountSection(*screens, nullptr, SystemClock::shared(), workspace, &window);
    window.show();
    click(buttonNamed(*section, QStringLiteral("Sign out")));
    answer(*section, QStringLiteral("Sign out?"), QStringLiteral("Sign out"));
    ASSERT_TRUE(eventually([&] { return visible(*section, QStringLiteral("tessaron.settings.signIn")); }));
}

} // namespace
} // namespace tessaron::testing
