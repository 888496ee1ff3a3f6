#include "account/account_model_fixture.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "screen_probe.hpp"
#include "support/fake_workspace.hpp"

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

} // namespace
} // namespace tessaron::testing
