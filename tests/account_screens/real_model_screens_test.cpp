#include "account/account_model_fixture.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/account_section.hpp"
#include "account_screens/login_view.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "screen_probe.hpp"
#include "support/fake_workspace.hpp"

#include <QLineEdit>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

const QString createCall = QStringLiteral("POST /v1/account/subscription-link");
const QString removeCall = QStringLiteral("DELETE /v1/account/subscription-link");
const QString statusCall = QStringLiteral("GET /v1/account/subscription-link");
const QUrl oldURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'o'));
const QUrl newURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'n'));
QByteArray createdReply(const QUrl& url) {
    return R"({"url":")" + url.toEncoded() +
           R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";
}

// The views over the real account model, its service scripted.
class RealModelScreensTest : public AccountModelTest {
protected:
    void settle() {
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::processEvents();
            harness.settle();
        }
    }
    QString shownCode(QWidget& view) { return view.findChild<TessaronSubscriptionQRCode*>()->value(); }

    FakeWorkspace workspace;
};

TEST_F(RealModelScreensTest, AResetWhosePostFailsOffersCreateAndOnlyAFailedDeleteKeepsTheOldLink) {
    signedIn();
    TessaronAccountScreenModel screens(*model);
    TessaronOtherDevicesView view(screens, harness.clock, workspace);
    service.answer(statusCall, 200, R"({"active":false})");
    view.show();
    settle();
    service.enqueue(createCall, 201, createdReply(oldURL));
    click(qobject_cast<QAbstractButton*>(byId(view, QStringLiteral("tessaron.otherDevices.create"))));
    settle();
    ASSERT_EQ(shownCode(view), oldURL.toString());

    struct Case {
        const char* name;
        int deleteStatus;
        int createStatus;
        QString code;
    };
    for (const Case& c : {Case{"delete refused", 500, 0, oldURL.toString()},
                          Case{"delete done, create failed", 204, 500, QString()}}) {
        service.enqueue(removeCall, c.deleteStatus);
        if (c.createStatus)
            service.enqueue(createCall, c.createStatus);
        click(buttonNamed(view, QStringLiteral("Reset link")));
        answer(view, QStringLiteral("Reset link? Devices using the old link will stop working."),
               QStringLiteral("Reset link"));
        settle();
        EXPECT_EQ(shownCode(view), c.code) << c.name;
        EXPECT_EQ(visible(view, QStringLiteral("tessaron.otherDevices.create")), c.code.isEmpty()) << c.name;
        ASSERT_TRUE(model->otherDevicesError().has_value()) << c.name;
        EXPECT_TRUE(visibleTexts(view).contains(*model->otherDevicesError())) << c.name;
    }
}

TEST_F(RealModelScreensTest, ADeletionTheServiceRefusesShowsItsTextAndOneItTakesLeavesSignIn) {
    service.answer(QStringLiteral("GET /v1/auth/providers"), 200, R"({"email":true})");
    signedIn();
    TessaronAccountScreenModel screens(*model);
    QWidget window;
    auto* section = new TessaronAccountSection(screens, nullptr, harness.clock, workspace, &window);
    window.show();
    settle();
    for (int status : {500, 204}) {
        service.enqueue(QStringLiteral("DELETE /v1/account"), status);
        click(buttonNamed(*section, QStringLiteral("Delete account…")));
        answer(*section, QStringLiteral("Delete your Tessaron account?"), QStringLiteral("Delete"));
        settle();
        if (status == 500) {
            ASSERT_TRUE(model->lastError().has_value());
            EXPECT_TRUE(visibleTexts(*section).contains(*model->lastError()));
            EXPECT_TRUE(model->account().has_value());
        }
    }
    EXPECT_TRUE(visible(*section, QStringLiteral("tessaron.settings.signIn")));
    EXPECT_FALSE(model->account().has_value());
}

TEST_F(RealModelScreensTest, TheCodeRoadEndsSignedInAndTheCountdownRunsOnTheModel) {
    build();
    service.answer(QStringLiteral("POST /v1/auth/email/start"), 200,
                   R"({"challengeID":"ch-1","resendAfterSeconds":3})");
    service.enqueue(QStringLiteral("POST /v1/auth/email/verify"), 200, authReply(QStringLiteral("tok-2")));
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply());
    TessaronAccountScreenModel screens(*model);
    TessaronLoginView view(screens, nullptr, harness.clock);
    view.show();
    QTest::keyClicks(view.findChild<QLineEdit*>(QStringLiteral("tessaron.signIn.email")),
                     QStringLiteral("Ann@Example.com"));
    click(qobject_cast<QAbstractButton*>(byId(view, QStringLiteral("tessaron.signIn.continue"))));
    settle();
    ASSERT_EQ(model->flow().step, TessaronLoginFlow::Step::code);
    harness.clock.advance(3s);
    EXPECT_TRUE(visible(view, QStringLiteral("tessaron.signIn.resend")));
    EXPECT_EQ(model->flow().resendRemaining, 0);

    QTest::keyClicks(view.findChild<QLineEdit*>(QStringLiteral("tessaron.signIn.code")),
                     QStringLiteral("123456"));
    settle();
    EXPECT_TRUE(visibleTexts(view).contains(QStringLiteral("Signed in as")));
    EXPECT_TRUE(model->account().has_value());
}

} // namespace
} // namespace tessaron::testing
