#include "account/system_device_swap_presenter.hpp"

#include "account_model_fixture.hpp"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

#include <optional>

using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QString account = QStringLiteral("GET /v1/account");
const QString profileCall = QStringLiteral("POST /v1/account/profile");
const QString providersCall = QStringLiteral("GET /v1/auth/providers");
const QString emailStart = QStringLiteral("POST /v1/auth/email/start");
const QString oauthStart = QStringLiteral("POST /v1/auth/oauth/start");
const QString deletion = QStringLiteral("DELETE /v1/account");
const QString unreachable = QStringLiteral("Tessaron could not reach the account service.");
const QString tokenItem = TessaronSessionTokenStore::keychainAccount;
const QString statusCall = QStringLiteral("GET /v1/account/subscription-link");
const QString createCall = QStringLiteral("POST /v1/account/subscription-link");
const QString removeCall = QStringLiteral("DELETE /v1/account/subscription-link");
const QString linkItem = QStringLiteral("tessaron.subscription.acct-1");
const QUrl oldURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'o'));
const QUrl newURL(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'n'));
const QByteArray created = R"({"url":")" + newURL.toEncoded() +
                           R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})";

class AccountModelFlowTest : public AccountModelTest {
protected:
    void recover() { run(model->recoverProfileFromGrant(&session(), QStringLiteral("tok-1"), false, true)); }

    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
};
using SubscriptionLinksTest = AccountModelFlowTest;
using Presenter = TessaronSystemDeviceSwapPresenter;

QMessageBox* shownBox() {
    for (QWidget* widget : QApplication::topLevelWidgets() + QApplication::allWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

} // namespace

TEST_F(AccountModelFlowTest, AStoredTokenSignsInRefreshIsSingleFlightAndARevokedTokenSignsOut) {
    storeToken("tok-1");
    build(std::nullopt);
    harness.settle();
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_TRUE(service.sent.isEmpty()) << "no request under the test harness";

    service.answer(account, 401);
    service.holdNext(account);
    run(model->refresh(&session()));
    run(model->refresh(&session()));
    service.release();
    harness.settle();
    // One account request, and the providers.
    EXPECT_EQ(std::tuple(service.sentTo(account).size(), service.sent.size(), model->isSignedIn(),
                         storedItem(tokenItem)),
              std::tuple(1, 2, false, std::nullopt));

    // Signed out while the keyring still reads the stored token: the token it then answers is the ended
    // account's, and no refresh sends it.
    storeToken("tok-2");
    harness.keychain.hold();
    build();
    track(model->signOut(nullptr));
    track(model->refresh(nullptr));
    harness.keychain.release();
    harness.settle();
    EXPECT_EQ(std::tuple(model->isSignedIn(), model->isSignInStateKnown(), service.sentTo(account).size()),
              std::tuple(false, true, 1));
}

// A window closed while its refresh waits, and opened again at once: the cancelled refresh sends and changes
// nothing more and keeps the new one away from nothing, which fetches the account and recovers its
// connection. The refresh may be cancelled before it took its one-at-a-time mark (the keyring is slow to
// read the token) or after (its request to the service is still out).
TEST_F(AccountModelFlowTest, ACancelledRefreshKeepsNoLaterOneAway) {
    storeToken("tok-1");
    service.answer(account, 200, accountReply);
    service.answer(profileCall, 200, envelopeReply(oslo));
    TessaronSession& empty = session();
    for (const bool afterItsMark : {false, true}) {
        SCOPED_TRACE(afterItsMark ? "cancelled with its request out" : "cancelled while the keyring reads");
        if (empty.selectedID())
            run(empty.removeSavedConnection(oslo.id));
        service.sent.clear();
        if (!afterItsMark)
            harness.keychain.hold();
        build();
        if (afterItsMark) {
            harness.settle();
            service.holdNext(providersCall);
        }
        CancellationSource closed;
        track(model->refresh(&empty, closed.token()));
        if (afterItsMark)
            harness.settle();
        closed.cancel();
        track(model->refresh(&empty));
        harness.keychain.release();
        harness.settle();
        EXPECT_EQ(std::tuple(service.sentTo(account).size(), model->account().has_value(),
                             service.sentTo(profileCall).size(), empty.selectedID()),
                  std::tuple(1, true, 1, std::optional(oslo.id)));
    }
}

// A cancelled refresh that ends while a newer one runs leaves the newer one's mark: a third refresh started
// then is turned away, and no two ever run at once.
TEST_F(AccountModelFlowTest, AnEndingRefreshLeavesTheMarkOfANewerOne) {
    storeToken("tok-1");
    service.answer(account, 200, accountReply);
    build();
    harness.settle();
    service.holdNext(providersCall);
    service.holdNext(providersCall);
    CancellationSource closed;
    track(model->refresh(nullptr, closed.token()));
    harness.settle();
    closed.cancel();
    track(model->refresh(nullptr));
    harness.settle(); // the cancelled one ends; the newer one waits for the providers
    track(model->refresh(nullptr));
    service.release();
    harness.settle();
    EXPECT_EQ(std::tuple(service.sentTo(providersCall).size(), service.sentTo(account).size()),
              std::tuple(2, 1));
}

// The first refresh with a session spends the run's recovery even when it finds a connection selected, so
// a connection the user then removes is not brought back by a later refresh.
TEST_F(AccountModelFlowTest, ARefreshSpendsTheRunsRecoveryAsItStartsItSoARemovedConnectionStaysRemoved) {
    signedIn();
    service.answer(profileCall, 200, envelopeReply(oslo));
    auto& selected = harness.startSelected({oslo});
    run(model->refresh(&selected));
    run(selected.removeSavedConnection(oslo.id));
    run(model->refresh(&selected));
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty());
    EXPECT_TRUE(selected.summaries().isEmpty());

    harness.keychain.failNext(keychain_status::notAvailable);
    signInByEmail(QStringLiteral("tok-2"), nullptr);
    EXPECT_EQ(storedItem(tokenItem), std::nullopt) << "the refused token serves this run, the older is gone";
    run(model->refresh(&selected));
    EXPECT_EQ(service.sentTo(account).last().bearer, "tok-2");
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty()) << "not after a new sign-in either";

    // Signing in again, with the connection gone, restores the account's: the follow-up recovers whatever
    // refresh spent. A connection removed after that stays removed.
    run(model->signOut(&selected));
    signInByEmail(QStringLiteral("tok-3"), &selected);
    EXPECT_EQ(std::tuple(service.sentTo(profileCall).size(), selected.selectedID()), std::tuple(1, oslo.id));
    run(selected.removeSavedConnection(oslo.id));
    run(model->refresh(&selected));
    EXPECT_EQ(std::tuple(service.sentTo(profileCall).size(), selected.selectedID()),
              std::tuple(1, std::nullopt));
}

TEST_F(AccountModelFlowTest, RecoveryWaitsForOtherFlowsAsksOnATakenSlotAndOnlyFillsAnEmptySelection) {
    signedIn();
    service.enqueue(oauthStart, 200, R"({"authorizeURL":"https://id.test/a","state":"s"})");
    run(model->signIn(TessaronOAuthProvider::google, nullptr));
    recover();
    model->cancelWebSignIn();
    harness.settle();
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty()) << "busy with the web sign-in";

    service.enqueue(profileCall, 409, R"({"error":"device_slot_locked","slot":"computer"})");
    recover();
    EXPECT_EQ(presenter.notices,
              QStringList{"Tessaron is set up on another Mac. You can switch devices once every 30 days."});
    EXPECT_EQ(model->lastError(), std::nullopt);
    presenter.dismiss();

    service.enqueue(profileCall, 409, slotTakenReply(QStringLiteral(" Old Mac\n")));
    service.enqueue(profileCall, 409, slotTakenReply(QStringLiteral("Old Mac")));
    service.answer(profileCall, 200, envelopeReply(oslo));
    recover();
    EXPECT_EQ(presenter.confirmations, QStringList{QStringLiteral("Old Mac")});
    EXPECT_FALSE(model->isBusy());
    presenter.answer(true);
    harness.settle();
    presenter.answer(true); // refused again: asked again
    harness.settle();
    QList<bool> swaps;
    for (const auto& sent : service.sentTo(profileCall))
        swaps.append(sent.deviceSwap);
    EXPECT_EQ(std::tuple(swaps, session().selectedID(), model->lastError()),
              std::tuple(QList<bool>{false, false, true, true}, oslo.id, std::nullopt));
    recover();
    EXPECT_EQ(service.sentTo(profileCall).size(), 4) << "a selection is never replaced";
}

TEST_F(AccountModelFlowTest, ASwitchConfirmedAfterTheAccountChangedSendsNothing) {
    signedIn();
    service.enqueue(profileCall, 409, slotTakenReply(QStringLiteral("Old Mac")));
    recover();
    service.answer(deletion, 204);
    run(model->deleteAccount(nullptr));
    signInByEmail(QStringLiteral("tok-2"), nullptr);
    presenter.answer(true);
    harness.settle();
    EXPECT_EQ(service.sentTo(profileCall).size(), 1);
}

TEST_F(AccountModelFlowTest, TheFollowUpRedeemsTheWaitingInvitationThenLinksIt) {
    harness.grantConsent();
    harness.signIn.signedIn = false;
    auto& started = harness.start();
    harness.pairing.enqueueRedeem(oslo);
    run(started.openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + QString(32, u'k'))));
    harness.signIn.signedIn = true;
    build();
    service.answer(QStringLiteral("POST /v1/account/link"), 200, accountReply);
    signInByEmail(QStringLiteral("tok-2"), &started);
    EXPECT_EQ(std::tuple(started.selectedID(), service.sentTo(QStringLiteral("POST /v1/account/link")).size(),
                         service.sent.last().body.value("profileID").toString(),
                         service.sentTo(profileCall).size()),
              std::tuple(oslo.id, 1, oslo.id.toString(QUuid::WithoutBraces), 0));
}

TEST_F(AccountModelFlowTest, TheEmailCodeFlowKeepsItsStateOnFailuresAndAWebSignInEndsOnlyThroughItsCallback) {
    build();
    model->setEmail(QStringLiteral("  Ann@Example.COM "));
    for (const auto& [resendAfter, remaining] :
         std::initializer_list<std::pair<int, int>>{{-5, 0}, {86'400, 3600}, {30, 30}}) {
        service.enqueue(
            emailStart, 200,
            QStringLiteral(R"({"challengeID":"ch%1","resendAfterSeconds":%1})").arg(resendAfter).toUtf8());
        run(model->startEmailSignIn());
        EXPECT_EQ(model->flow().resendRemaining, remaining);
    }
    EXPECT_EQ(service.sentTo(emailStart)[0].body.value("email"), QStringLiteral("ann@example.com"));
    run(model->startEmailSignIn()); // a failed resend keeps the challenge and the countdown
    EXPECT_EQ(std::tuple(model->flow().challengeID, model->flow().resendRemaining),
              std::tuple(QString("ch30"), 30));

    // Only the service's verdict on the code wipes it; an expired code may be replaced at once. Without an
    // answer (the service is down) the code stays for another Return, and so does the wait.
    const QString verify = QStringLiteral("POST /v1/auth/email/verify");
    const std::tuple<int, QByteArray, QString, QString, int> verdicts[] = {
        {0, {}, unreachable, QStringLiteral("654321"), 30},
        {503,
         {},
         QStringLiteral("The account service could not complete the request."),
         QStringLiteral("654321"),
         30},
        {410, {}, QStringLiteral("That code has expired. Request a new one."), QString(), 0},
        {401, R"({"error":"invalid_code","attemptsLeft":2})",
         QStringLiteral("That code is not right. 2 attempts left."), QString(), 0},
    };
    model->acceptCode(QStringLiteral("654321"));
    for (const auto& [status, body, message, code, remaining] : verdicts) {
        if (status)
            service.enqueue(verify, status, body);
        model->acceptCode(QStringLiteral("654321"));
        run(model->verifyEmailCode(nullptr));
        EXPECT_EQ(std::tuple(model->lastError(), model->flow().code, model->flow().resendRemaining),
                  std::tuple(std::optional(message), code, remaining))
            << status;
    }
    model->resetLoginFlow();
    TessaronLoginFlow fresh;
    fresh.email = QStringLiteral("  Ann@Example.COM ");
    EXPECT_EQ(model->flow(), fresh);

    // A web sign-in ends only through its own callback, and Apple's failures show while it waits.
    const auto start = [this](const char* authorizeURL) {
        service.enqueue(oauthStart, 200,
                        QStringLiteral(R"({"authorizeURL":"%1","state":"st-1"})").arg(authorizeURL).toUtf8());
        run(model->signIn(TessaronOAuthProvider::whop, nullptr));
    };
    start("http://id.test/authorize");
    EXPECT_EQ(std::tuple(web.opened.size(), model->lastError()), std::tuple(0, std::optional(unreachable)));
    EXPECT_FALSE(model->deliverWebCallback(QUrl(QStringLiteral("tessaron://auth?code=c&state=st-1"))));
    using Outcome = WebAuthSession::Outcome;
    const std::pair<WebAuthSession::Result, std::optional<QString>> endings[] = {
        {{Outcome::cancelled, {}}, std::nullopt},
        {{Outcome::failed, {}}, unreachable},
        {{Outcome::callback, QUrl(QStringLiteral("tessaron://auth?code=c&state=forged"))},
         QStringLiteral("Sign-in failed. Please try again.")},
    };
    for (const auto& [result, error] : endings) {
        start("https://id.test/authorize");
        web.finish(result);
        harness.settle();
        EXPECT_EQ(std::tuple(model->isBusy(), model->lastError()), std::tuple(false, error));
    }
    service.enqueue(QStringLiteral("POST /v1/auth/oauth/exchange"), 200,
                    authReply(QStringLiteral("tok-web")));
    start("https://id.test/authorize");
    // Apple's cancel is silent; its failures show even while the web sign-in waits.
    using Failure = TessaronAppleSignInResult::Failure;
    run(model->completeAppleSignIn({Failure{TessaronAppleSignInResult::authorizationErrorDomain, 1001}, {}},
                                   nullptr));
    EXPECT_EQ(model->lastError(), std::nullopt);
    run(model->completeAppleSignIn({std::nullopt, QByteArray("\xff")}, nullptr));
    EXPECT_EQ(model->lastError(), unreachable);
    model->deliverWebCallback(QUrl(QStringLiteral("tessaron://auth?code=c-9&state=st-1")));
    harness.settle();
    EXPECT_EQ(std::tuple(service.sent.last().body.value("code").toString(), model->isSignedIn()),
              std::tuple(QStringLiteral("c-9"), true));
}

// Deletion leaves everything in place until the service confirms; sign-out resets the session before it logs
// out, then clears the Mac.
TEST_F(AccountModelFlowTest, DeletionWaitsForTheServiceAndSignOutResetsTheSessionBeforeLoggingOut) {
    signedIn();
    auto& withProfile = harness.startSelected({oslo});
    service.enqueue(deletion, 500);
    run(model->deleteAccount(&withProfile));
    EXPECT_EQ(std::tuple(model->lastError(), withProfile.summaries().size(), model->isSignedIn()),
              std::tuple(QStringLiteral("The account service could not complete the request."), 1, true));
    storeToken(""); // unreadable: the next model starts signed out
    build();
    run(model->deleteAccount(&withProfile));
    EXPECT_EQ(std::tuple(service.sentTo(deletion).size(), model->isSignedIn(), model->lastError(),
                         withProfile.summaries().size()),
              std::tuple(1, false, QStringLiteral("Please sign in again."), 1));

    signInByEmail(QStringLiteral("tok-2"), nullptr);
    const QString earlierLink = QStringLiteral("tessaron.subscription.earlier-account");
    harness.keychain.setItem(testGroup, accountKeychainService, earlierLink, "https://a.test/x");
    service.holdNext(QStringLiteral("POST /v1/auth/logout"));
    run(model->signOut(&withProfile));
    EXPECT_EQ(std::tuple(withProfile.summaries().size(), model->isSignedIn()), std::tuple(0, true));
    service.release(); // and the logout fails: it does not matter
    harness.settle();
    EXPECT_EQ(std::tuple(service.sent.last().bearer, model->isSignedIn(), storedItem(tokenItem),
                         storedItem(earlierLink)),
              std::tuple("tok-2", false, std::nullopt, std::nullopt));
}

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
        EXPECT_EQ(std::tuple(model->subscriptionLocalURL().has_value(), storedItem(linkItem).has_value()),
                  std::tuple(shownAndKept, shownAndKept))
            << reply.constData();
    }

    service.enqueue(removeCall, 500);
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(std::tuple(service.sentTo(createCall).size(), model->subscriptionLocalURL()),
              std::tuple(0, oldURL));
    service.enqueue(removeCall, 204);
    service.enqueue(createCall, 429);
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(std::tuple(model->otherDevicesError(), model->subscriptionLocalURL(),
                         model->subscriptionStatus(), storedItem(linkItem)),
              std::tuple(QStringLiteral("Too many attempts. Try again later."), std::nullopt, std::nullopt,
                         std::nullopt));
    service.enqueue(removeCall, 204);
    service.enqueue(createCall, 201, created);
    run(model->replaceSubscriptionLink());
    EXPECT_EQ(std::tuple(model->subscriptionLocalURL(), storedItem(linkItem)),
              std::tuple(newURL, newURL.toEncoded()));

    service.enqueue(statusCall, 404);
    run(model->refreshSubscriptionLink());
    EXPECT_TRUE(model->subscriptionUnavailable());
    service.enqueue(createCall, 404);
    run(model->createSubscriptionLink());
    EXPECT_EQ(model->otherDevicesError(), QStringLiteral("Accounts are not available right now."));
}

// Flows started before sign-out, and flows started while it waits for the service, land in an account that
// has ended: nothing of them is shown or stored.
TEST_F(SubscriptionLinksTest, OneFlowAtATimeAndRepliesAfterSignOutWriteAndShowNothing) {
    signedIn();
    auto& selected = harness.startSelected({oslo});
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
    EXPECT_EQ(std::tuple(service.sentTo(createCall).size(), service.sentTo(removeCall).size(),
                         model->isSubscriptionBusy(), model->subscriptionLocalURL(), storedItem(linkItem),
                         model->account()),
              std::tuple(1, 0, false, std::nullopt, std::nullopt, std::nullopt));

    signInByEmail(QStringLiteral("tok-2"), nullptr);
    service.holdNext(QStringLiteral("POST /v1/auth/logout"));
    run(model->signOut(nullptr));
    service.answer(account, 200, accountReply);
    for (const auto& call : {account, createCall})
        service.holdNext(call);
    run(model->refresh(nullptr));
    run(model->createSubscriptionLink());
    service.release(); // the logout first, then the refresh and the new link
    harness.settle();
    EXPECT_EQ(std::tuple(service.sentTo(createCall).size(), model->isSignedIn(), model->account(),
                         model->subscriptionLocalURL(), storedItem(linkItem)),
              std::tuple(2, false, std::nullopt, std::nullopt, std::nullopt));
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

TEST(DeviceSwapTextTest, TakenTextNamesTheHolderInTypographicQuotesOrItsKind) {
    EXPECT_EQ(
        Presenter::takenText(TessaronDeviceSlot::phone, QStringLiteral("%1 Pad")),
        QStringLiteral("Tessaron is already set up on \u201c%1 Pad\u201d. Switching signs that device out. "
                       "You can switch once every 30 days."));
    EXPECT_EQ(
        Presenter::takenText(TessaronDeviceSlot::computer, QString()),
        QStringLiteral("Tessaron is already set up on another Mac. Switching signs that Mac out. You can "
                       "switch once every 30 days."));
}

TEST(DeviceSwapDialogTest, TheAnswerArrivesOnceAfterTheClickAndOnlySwitchingConfirms) {
    // Whether a main window is up, the button clicked (none: the window closes under the dialog), the answer.
    const std::tuple<bool, const char*, bool> cases[] = {{true, "Switch to This Device", true},
                                                         {true, "Cancel", false},
                                                         {false, "Switch to This Device", true},
                                                         {true, nullptr, false}};
    Presenter presenter;
    for (const auto& [onWindow, click, confirmed] : cases) {
        SCOPED_TRACE(std::string(click ? click : "closed") + (onWindow ? " on the main window" : " alone"));
        std::optional<QMainWindow> window;
        if (onWindow) {
            window.emplace().setObjectName(QStringLiteral("main"));
            window->show();
        }
        QList<bool> answers;
        presenter.confirmSwap(TessaronDeviceSlot::computer, QStringLiteral("Work laptop"),
                              [&answers](bool answer) { answers.append(answer); });
        EXPECT_EQ(shownBox() != nullptr, onWindow) << "an application-modal box waits for a queued call";
        QCoreApplication::processEvents();
        QMessageBox* box = shownBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(
            std::tuple(box->parentWidget(), box->windowModality(), box->text(), box->defaultButton()->text()),
            std::tuple(onWindow ? &*window : nullptr, onWindow ? Qt::WindowModal : Qt::ApplicationModal,
                       QStringLiteral("Use Tessaron on this device?"),
                       QStringLiteral("Switch to This Device")));

        for (QAbstractButton* button : box->buttons())
            if (click && button->text() == QString::fromUtf8(click))
                QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(answers.isEmpty()) << "answered inside the click";
        window.reset();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(answers, QList<bool>{confirmed});
    }
}
