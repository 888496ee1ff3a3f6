#include "account_model_fixture.hpp"

using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QString statusCall = QStringLiteral("GET /v1/account/subscription-link");
const QString createCall = QStringLiteral("POST /v1/account/subscription-link");
const QString removeCall = QStringLiteral("DELETE /v1/account/subscription-link");
const QString linkItem = QStringLiteral("tessaron.subscription.acct-1");
const QUrl oldURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'o'));
const QUrl newURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'n'));
const QByteArray created = R"({"url":")" + newURL.toEncoded() +
                           R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";

using SubscriptionLinksTest = AccountModelTest;

} // namespace

// The status shows the stored URL only while the link is active; a reset forgets the old URL once the
// service deleted it.
TEST_F(SubscriptionLinksTest, TheStatusShowsTheStoredURLOnlyWhileActiveAndAResetForgetsItOnceDeleted) {
    signedIn();
    // Whether the link is stored, the service's status, whether it is shown and kept.
    for (const auto& [stored, reply, shownAndKept] :
         std::initializer_list<std::tuple<bool, QByteArray, bool>>{{true, R"({"active":false})", false},
                                                                   {false, R"({"active":true})", false},
                                                                   {true, R"({"active":true})", true}}) {
        if (stored)
            TessaronSubscriptionLinkStore(harness.keychain, harness.bundle)
                .write(oldURL, QStringLiteral("acct-1"));
        service.enqueue(statusCall, 200, reply);
        run(model->refreshSubscriptionLink());
        EXPECT_EQ(model->subscriptionLocalURL().has_value(), shownAndKept) << reply.constData();
        EXPECT_EQ(storedItem(linkItem).has_value(), shownAndKept) << reply.constData();
    }

    service.enqueue(removeCall, 500);
    run(model->replaceSubscriptionLink());
    EXPECT_TRUE(service.sentTo(createCall).isEmpty());
    EXPECT_EQ(model->subscriptionLocalURL(), oldURL);
    service.enqueue(removeCall, 204);
    service.enqueue(createCall, 429);
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(model->otherDevicesError(), QStringLiteral("Too many attempts. Try again later."));
    EXPECT_EQ(model->subscriptionLocalURL(), std::nullopt);
    EXPECT_EQ(model->subscriptionStatus(), std::nullopt);
    EXPECT_EQ(storedItem(linkItem), std::nullopt);
    service.enqueue(removeCall, 204);
    service.enqueue(createCall, 201, created);
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(model->subscriptionLocalURL(), newURL);
    EXPECT_EQ(storedItem(linkItem), newURL.toEncoded());

    service.enqueue(statusCall, 404);
    run(model->refreshSubscriptionLink());
    EXPECT_TRUE(model->subscriptionUnavailable());
    service.enqueue(createCall, 404);
    run(model->createSubscriptionLink());
    EXPECT_EQ(model->otherDevicesError(), QStringLiteral("Accounts are not available right now."));
}

TEST_F(SubscriptionLinksTest, OneFlowAtATimeAndRepliesAfterSignOutWriteAndShowNothing) {
    signedIn();
    auto& selected = harness.startSelected({sampleProfile(QStringLiteral("Oslo"))});
    service.answer(QStringLiteral("POST /v1/account/link"), 200, accountReply);
    for (const auto& call :
         {createCall, QStringLiteral("GET /v1/account"), QStringLiteral("POST /v1/account/link")})
        service.holdNext(call);
    service.answer(createCall, 201, created);
    run(model->createSubscriptionLink());
    run(model->createSubscriptionLink());
    run(model->revokeSubscriptionLink());
    run(model->refresh(nullptr));
    run(model->linkProfileIfSignedIn(&selected));
    run(model->signOut(nullptr));
    service.release();
    harness.settle();
    EXPECT_EQ(service.sentTo(createCall).size(), 1);
    EXPECT_TRUE(service.sentTo(removeCall).isEmpty());
    EXPECT_FALSE(model->isSubscriptionBusy());
    EXPECT_EQ(model->subscriptionLocalURL(), std::nullopt);
    EXPECT_EQ(storedItem(linkItem), std::nullopt);
    EXPECT_EQ(model->account(), std::nullopt);
}

TEST(DeviceSwapCenterTest, OneDialogAtATimeAndOnlyAConfirmationRetries) {
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center(presenter);
    SystemLog::Capture log;
    QList<bool> retriesSawPending;
    const auto swap = [&] {
        return TessaronPendingSwap{TessaronDeviceSlot::computer, std::nullopt, [&]() -> QCoro::Task<> {
                                       retriesSawPending.append(center.pending().has_value());
                                       co_return;
                                   }};
    };
    center.requestSwap(swap());
    center.requestSwap(swap());
    center.showCooldown(QStringLiteral("locked"));
    presenter.answer(false);
    center.showCooldown(QStringLiteral("locked"));
    center.requestSwap(swap());
    presenter.dismiss();
    center.requestSwap(swap());
    presenter.answer(true);
    EXPECT_EQ(retriesSawPending, QList<bool>{false});
    EXPECT_EQ(presenter.confirmations.size() + presenter.notices.size(), 3);
    const QString dropped = QStringLiteral(" dropped: another dialog is on screen");
    EXPECT_EQ(log.messages(), (QStringList{QStringLiteral("device-swap confirm") + dropped,
                                           QStringLiteral("device-swap cooldown notice") + dropped,
                                           QStringLiteral("device-swap confirm") + dropped}));
}
