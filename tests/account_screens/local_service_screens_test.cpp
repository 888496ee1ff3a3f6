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

#include <QLineEdit>
#include <QSslCertificate>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace tessaron::testing {
namespace {

// The screens over the real account model, talking HTTPS to the local service of tools/.
class LocalServiceScreensTest : public AccountModelTest {};

TEST_F(LocalServiceScreensTest, SignInByCodeThenCreateAndRemoveALinkThenSignOut) {
    LocalServiceProcess localService;
    ASSERT_TRUE(localService.isRunning()) << localService.startError().toStdString();
    const auto transport = std::make_shared<QtHttpTransport>(
        QtHttpTransportOptions{.trustedAuthorities = QSslCertificate::fromPath(localService.caFile())});
    build(TessaronAccountClient(QUrl(localService.baseURL()), transport, SystemClock::shared(), nullptr),
          false);
    TessaronAccountScreenModel screens(*model);
    FakeWorkspace workspace;
    // Waits for the service's answer to show.
    const auto eventually = [](const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    };

    const QString email = u"screens@example.com"_s;
    TessaronLoginView signIn(screens, nullptr, SystemClock::shared(), nullptr);
    signIn.show();
    QTest::keyClicks(byId<QLineEdit>(signIn, u"tessaron.signIn.email"_s), email);
    QTest::keyClick(byId<QLineEdit>(signIn, u"tessaron.signIn.email"_s), Qt::Key_Return);
    ASSERT_TRUE(eventually([&] { return visible(signIn, u"tessaron.signIn.code"_s); }));
    const auto printed = localService.awaitLine(
        u"^e-mail code for %1: (\\d{6})$"_s.arg(QRegularExpression::escape(email)), 10s);
    ASSERT_TRUE(printed);
    QTest::keyClicks(byId<QLineEdit>(signIn, u"tessaron.signIn.code"_s), printed->captured(1));
    ASSERT_TRUE(eventually([&] { return visibleTexts(signIn).contains(u"Signed in as"_s); }));
    EXPECT_TRUE(visibleTexts(signIn).contains(email));
    signIn.close();

    TessaronOtherDevicesView devices(screens, SystemClock::shared(), workspace, nullptr);
    devices.show();
    ASSERT_TRUE(eventually([&] { return !model->isSubscriptionBusy(); }));
    click(byId<QAbstractButton>(devices, u"tessaron.otherDevices.create"_s));
    ASSERT_TRUE(eventually([&] { return model->subscriptionLocalURL().has_value(); }));
    EXPECT_EQ(devices.findChild<TessaronSubscriptionQRCode*>()->value(),
              model->subscriptionLocalURL()->toString(QUrl::FullyEncoded));
    click(showing(devices, u"Remove link"_s));
    answer(devices, u"Remove link? Windows and Android devices will disconnect."_s, u"Remove link"_s);
    ASSERT_TRUE(eventually([&] { return visible(devices, u"tessaron.otherDevices.create"_s); }));
    devices.close();

    QWidget window;
    auto* section =
        new TessaronAccountSection(screens, nullptr, SystemClock::shared(), workspace, nullptr, &window);
    window.show();
    click(showing(*section, u"Sign out"_s));
    answer(*section, u"Sign out?"_s, u"Sign out"_s);
    ASSERT_TRUE(eventually([&] { return visible(*section, u"tessaron.settings.signIn"_s); }));
}

} // namespace
} // namespace tessaron::testing
