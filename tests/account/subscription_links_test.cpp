#include "account_model_fixture.hpp"

using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QString group = QStringLiteral("test.tessaron.shared");
const QString linkPath = QStringLiteral("/v1/account/subscription-link");
const QString status = QStringLiteral("GET ") + linkPath;
const QString create = QStringLiteral("POST ") + linkPath;
const QString removeCall = QStringLiteral("DELETE ") + linkPath;
const QUrl oldURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'o'));
const QUrl newURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'n'));

QByteArray createdReply(const QUrl& url) {
    return R"({"url":")" + url.toEncoded() +
           R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";
}

class SubscriptionLinksTest : public AccountModelTest {
protected:
    SubscriptionLinksTest() {
        storeToken(QStringLiteral("tok-1"));
        service.answer(QStringLiteral("GET /v1/account"), 200, accountReply());
        build();
        run(model->refresh(nullptr));
    }
    std::optional<QByteArray> storedLink() const {
        return harness.keychain.item(group, accountKeychainService,
                                     QStringLiteral("tessaron.subscription.acct-1"));
    }
    void storeLink(const QUrl& url) {
        TessaronSubscriptionLinkStore(harness.keychain, harness.bundle).write(url, "acct-1");
    }
};

} // namespace

TEST_F(SubscriptionLinksTest, TheStatusShowsTheStoredURLOnlyWhileTheLinkIsActive) {
    const struct {
        bool active;
        bool stored;
        bool shown;
        bool kept;
    } cases[] = {{false, true, false, false}, {true, false, false, false}, {true, true, true, true}};
    for (const auto& item : cases) {
        if (item.stored)
            storeLink(oldURL);
        service.enqueue(status, 200, item.active ? R"({"active":true})" : R"({"active":false})");
        run(model->refreshSubscriptionLink());
        EXPECT_EQ(model->subscriptionLocalURL().has_value(), item.shown) << item.active << item.stored;
        EXPECT_EQ(storedLink().has_value(), item.kept) << item.active << item.stored;
        EXPECT_EQ(model->subscriptionStatus()->active, item.active);
    }
    service.enqueue(status, 404);
    run(model->refreshSubscriptionLink());
    EXPECT_TRUE(model->subscriptionUnavailable());
    service.enqueue(create, 404);
    run(model->createSubscriptionLink());
    EXPECT_EQ(model->otherDevicesError(), QStringLiteral("Accounts are not available right now."));
}

TEST_F(SubscriptionLinksTest, OneFlowAtATimeAndACreatedLinkIsStoredUnderTheAccount) {
    service.holdNext(create);
    service.answer(create, 201, createdReply(newURL));
    run(model->createSubscriptionLink());
    run(model->createSubscriptionLink());
    run(model->revokeSubscriptionLink());
    service.release();
    settle();
    EXPECT_EQ(service.calls().filter(linkPath).size(), 1);
    EXPECT_EQ(model->subscriptionLocalURL(), newURL);
    EXPECT_EQ(storedLink(), newURL.toEncoded());
    EXPECT_EQ(service.sentTo(create)[0].body.value("deviceName"), QStringLiteral("Windows / Android"));
}

TEST_F(SubscriptionLinksTest, AResetForgetsTheOldURLOnceTheServiceDeletedIt) {
    storeLink(oldURL);
    service.enqueue(status, 200, R"({"active":true})");
    run(model->refreshSubscriptionLink());

    service.enqueue(removeCall, 500);
    run(model->replaceSubscriptionLink());
    EXPECT_TRUE(service.sentTo(create).isEmpty());
    EXPECT_EQ(model->subscriptionLocalURL(), oldURL);

    service.enqueue(removeCall, 204);
    service.enqueue(create, 429);
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(model->otherDevicesError(), QStringLiteral("Too many attempts. Try again later."));
    EXPECT_EQ(model->subscriptionLocalURL(), std::nullopt);
    EXPECT_EQ(model->subscriptionStatus(), std::nullopt);
    EXPECT_EQ(storedLink(), std::nullopt);

    service.enqueue(removeCall, 204);
    service.enqueue(create, 201, createdReply(newURL));
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(model->subscriptionLocalURL(), newURL);
}

TEST_F(SubscriptionLinksTest, AReplyArrivingAfterSignOutWritesAndShowsNothing) {
    service.holdNext(create);
    service.answer(create, 201, createdReply(newURL));
    run(model->createSubscriptionLink());
    run(model->signOut(nullptr));
    service.release();
    settle();
    EXPECT_FALSE(model->isSubscriptionBusy());
    EXPECT_EQ(model->subscriptionLocalURL(), std::nullopt);
    EXPECT_EQ(storedLink(), std::nullopt);
}

TEST_F(SubscriptionLinksTest, RemovalClearsTheLinkOnlyWhenTheServiceAgreed) {
    storeLink(oldURL);
    service.enqueue(status, 200, R"({"active":true})");
    run(model->refreshSubscriptionLink());
    service.enqueue(removeCall, 401);
    run(model->revokeSubscriptionLink());
    EXPECT_EQ(model->otherDevicesError(), QStringLiteral("Please sign in again."));
    EXPECT_EQ(model->subscriptionLocalURL(), oldURL);
    EXPECT_TRUE(model->isSignedIn());

    service.enqueue(removeCall, 204);
    run(model->revokeSubscriptionLink());
    EXPECT_EQ(model->subscriptionLocalURL(), std::nullopt);
    EXPECT_EQ(model->otherDevicesError(), std::nullopt);
    EXPECT_EQ(storedLink(), std::nullopt);
}

TEST(DeviceSwapCenterTest, OneDialogAtATimeAndOnlyAConfirmationRetries) {
    FakeDeviceSwapPresenter presenter;
    TessaronDeviceSwapCenter center(presenter);
    SystemLog::Capture log;
    int retries = 0;
    bool pendingClearedFirst = false;
    const auto swap = [&] {
        return TessaronPendingSwap{TessaronDeviceSlot::computer, QStringLiteral("Old Mac"),
                                   [&]() -> QCoro::Task<> {
                                       ++retries;
                                       pendingClearedFirst = !center.pending().has_value();
                                       co_return;
                                   }};
    };
    center.requestSwap(swap());
    center.requestSwap(swap());
    center.showCooldown(QStringLiteral("locked"));
    presenter.answer(false);
    EXPECT_EQ(retries, 0);

    center.showCooldown(QStringLiteral("locked"));
    center.requestSwap(swap());
    EXPECT_EQ(center.lockedMessage(), QStringLiteral("locked"));
    presenter.dismissNotice();
    EXPECT_EQ(center.lockedMessage(), std::nullopt);

    center.requestSwap(swap());
    presenter.answer(true);
    EXPECT_EQ(retries, 1);
    EXPECT_TRUE(pendingClearedFirst);
    EXPECT_EQ(presenter.confirmations.size(), 2);
    EXPECT_EQ(presenter.notices.size(), 1);
    EXPECT_EQ(log.messages(),
              QStringList({
                  QStringLiteral("device-swap confirm dropped: another dialog is on screen"),
                  QStringLiteral("device-swap cooldown notice dropped: another dialog is on screen"),
                  QStringLiteral("device-swap confirm dropped: another dialog is on screen"),
              }));
}
