#include "account_model_fixture.hpp"

#include <QJsonArray>

using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QString account = QStringLiteral("GET /v1/account");
const QString profileCall = QStringLiteral("POST /v1/account/profile");
const QString emailStart = QStringLiteral("POST /v1/auth/email/start");
const QString emailVerify = QStringLiteral("POST /v1/auth/email/verify");
const QString oauthStart = QStringLiteral("POST /v1/auth/oauth/start");
const QString oauthExchange = QStringLiteral("POST /v1/auth/oauth/exchange");
const QString linkCall = QStringLiteral("POST /v1/account/link");
const QString unreachable = QStringLiteral("Tessaron could not reach the account service.");
const QString group = QStringLiteral("test.tessaron.shared");
const QString earlierLink = QStringLiteral("tessaron.subscription.earlier-account");

class AccountModelFlowTest : public AccountModelTest {
protected:
    // Signed in with a stored token, the account fetched.
    TessaronAccountModel& signedIn(std::optional<QString> grant = QStringLiteral("grant-1")) {
        storeToken(QStringLiteral("tok-1"));
        service.answer(account, 200, accountReply(QStringLiteral("acct-1"), grant));
        build();
        run(model->refresh(nullptr));
        return *model;
    }
    // Through the e-mail code, with the session handed over.
    void signInByEmail(const QString& token, TessaronSession* with) {
        service.answer(emailStart, 200, R"({"challengeID":"ch-1","resendAfterSeconds":30})");
        service.enqueue(emailVerify, 200, authReply(token));
        model->setEmail(QStringLiteral("ann@example.com"));
        run(model->startEmailSignIn());
        model->acceptCode(QStringLiteral("123456"));
        run(model->verifyEmailCode(with));
    }
    const TessaronProfile profile = sampleProfile(QStringLiteral("Oslo"));
};

} // namespace

TEST_F(AccountModelFlowTest, AStoredTokenSignsInWithoutARequestUnderTheTestHarness) {
    storeToken(QStringLiteral("tok-1"));
    build(std::nullopt);
    settle();
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_TRUE(service.sent.isEmpty());
}

TEST_F(AccountModelFlowTest, RefreshIsSingleFlightAndARevokedTokenSignsOutWithoutRecovery) {
    storeToken(QStringLiteral("tok-1"));
    service.answer(QStringLiteral("GET /v1/auth/providers"), 200, R"({"email":true})");
    service.answer(account, 401, {});
    build();
    service.holdNext(account);
    auto first = run(model->refresh(&session()));
    run(model->refresh(&session()));
    service.release();
    settle();
    EXPECT_TRUE(first->done);
    EXPECT_EQ(service.calls(), QStringList({QStringLiteral("GET /v1/auth/providers"), account}));
    EXPECT_FALSE(model->isSignedIn());
    EXPECT_EQ(storedToken(), std::nullopt);
}

TEST_F(AccountModelFlowTest, RecoveryIsSpentOnceItsRequestWentOutAndNeverOfflineOrCancelled) {
    storeToken(QStringLiteral("tok-1"));
    build();
    run(model->refresh(&session())); // offline: no account, nothing to recover yet
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty());

    service.answer(account, 200, accountReply());
    service.holdNext(profileCall);
    CancellationSource view;
    run(model->refresh(&session(), view.token()));
    view.cancel();
    settle();
    EXPECT_FALSE(model->isBusy());
    EXPECT_EQ(model->lastError(), std::nullopt);

    run(model->refresh(&session()));
    EXPECT_EQ(service.sentTo(profileCall).size(), 1); // spent by the cancelled attempt
    signInByEmail(QStringLiteral("tok-2"), nullptr);
    run(model->refresh(&session()));
    EXPECT_EQ(service.sentTo(profileCall).size(), 1);
}

TEST_F(AccountModelFlowTest, RecoveryOnlyFillsAnEmptySelectionAndWaitsForNoOtherFlow) {
    signedIn();
    service.answer(profileCall, 200, envelopeReply(profile));
    service.enqueue(oauthStart, 200, R"({"authorizeURL":"https://id.test/a","state":"s"})");
    run(model->signIn(TessaronOAuthProvider::google, nullptr));
    run(model->recoverProfileFromGrant(&session(), QStringLiteral("tok-1"), false, true));
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty()); // the web sign-in holds the busy flag
    model->cancelWebSignIn();
    settle();
    auto& selected = harness.startSelected({sampleProfile(QStringLiteral("Bergen"))});
    run(model->recoverProfileFromGrant(&selected, QStringLiteral("tok-1"), false, true));
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty());
}

TEST_F(AccountModelFlowTest, ATakenSlotAsksAndOnlyAConfirmedSwitchRepeatsWithTheSwapHeader) {
    signedIn();
    service.enqueue(profileCall, 409,
                    slotTakenReply(QStringLiteral("computer"), QStringLiteral(" Old Mac\n")));
    service.enqueue(profileCall, 409, slotTakenReply(QStringLiteral("computer"), QStringLiteral("Old Mac")));
    service.answer(profileCall, 200, envelopeReply(profile));
    run(model->recoverProfileFromGrant(&session(), QStringLiteral("tok-1"), false, true));
    ASSERT_EQ(presenter.confirmations.size(), 1);
    EXPECT_EQ(presenter.confirmations[0].deviceName, QStringLiteral("Old Mac"));
    EXPECT_FALSE(model->isBusy());
    EXPECT_EQ(model->lastError(), std::nullopt);

    presenter.answer(true);
    settle();
    EXPECT_EQ(presenter.confirmations.size(), 2); // refused again: asked again
    presenter.answer(true);
    settle();
    const auto sent = service.sentTo(profileCall);
    ASSERT_EQ(sent.size(), 3);
    EXPECT_FALSE(sent[0].deviceSwap);
    EXPECT_TRUE(sent[2].deviceSwap);
    EXPECT_EQ(sent[2].bearer, "tok-1");
    EXPECT_EQ(session().selectedID(), profile.id);
}

TEST_F(AccountModelFlowTest, ASwitchConfirmedAfterTheAccountEndedSendsNothing) {
    signedIn();
    service.enqueue(profileCall, 409, slotTakenReply(QStringLiteral("computer"), QStringLiteral("Old Mac")));
    run(model->recoverProfileFromGrant(&session(), QStringLiteral("tok-1"), false, true));
    service.answer(QStringLiteral("DELETE /v1/account"), 204);
    run(model->deleteAccount(nullptr));
    presenter.answer(true);
    settle();
    EXPECT_EQ(service.sentTo(profileCall).size(), 1);
    EXPECT_EQ(session().selectedID(), std::nullopt);
}

TEST_F(AccountModelFlowTest, TheFollowUpRedeemsTheWaitingInvitationThenLinksIt) {
    harness.grantConsent();
    harness.signIn.signedIn = false;
    auto& started = harness.start();
    harness.pairing.enqueueRedeem(profile);
    run(started.openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + QString(32, u'k'))));
    harness.signIn.signedIn = true;
    build();
    service.answer(linkCall, 200, accountReply());
    signInByEmail(QStringLiteral("tok-2"), &started);
    EXPECT_EQ(started.selectedID(), profile.id);
    ASSERT_EQ(service.sentTo(linkCall).size(), 1);
    EXPECT_EQ(service.sentTo(linkCall)[0].body.value("profileID").toString(),
              profile.id.toString(QUuid::WithoutBraces).toLower());
    EXPECT_TRUE(service.sentTo(profileCall).isEmpty());
}

TEST_F(AccountModelFlowTest, ATokenTheKeychainRefusedIsUsedForTheRunAndTheOlderOneIsGone) {
    signedIn();
    harness.keychain.failNext(keychain_status::notAvailable);
    signInByEmail(QStringLiteral("tok-new"), nullptr);
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_EQ(storedToken(), std::nullopt);
    run(model->refresh(nullptr));
    EXPECT_EQ(service.sentTo(account).last().bearer, "tok-new");
}

TEST_F(AccountModelFlowTest, TheEmailCodeFlowSendsTheTidiedAddressAndKeepsItsStateOnFailures) {
    build();
    const struct {
        qint64 resendAfter;
        int remaining;
    } clamps[] = {{-5, 0}, {86'400, 3600}, {30, 30}};
    model->setEmail(QStringLiteral("  Ann@Example.COM "));
    for (const auto& clamp : clamps) {
        service.enqueue(emailStart, 200,
                        QStringLiteral(R"({"challengeID":"ch-%1","resendAfterSeconds":%1})")
                            .arg(clamp.resendAfter)
                            .toUtf8());
        run(model->startEmailSignIn());
        EXPECT_EQ(model->flow().resendRemaining, clamp.remaining);
    }
    EXPECT_EQ(service.sentTo(emailStart)[0].body.value("email"), QStringLiteral("ann@example.com"));
    EXPECT_EQ(model->flow().email, QStringLiteral("  Ann@Example.COM "));

    service.enqueue(emailStart, 429);
    run(model->startEmailSignIn()); // a failed resend keeps the challenge and the countdown
    EXPECT_EQ(model->flow().challengeID, QStringLiteral("ch-30"));
    EXPECT_EQ(model->flow().resendRemaining, 30);

    service.enqueue(emailVerify, 401, R"({"error":"invalid_code","attemptsLeft":2})");
    model->acceptCode(QStringLiteral("654321"));
    run(model->verifyEmailCode(nullptr));
    EXPECT_EQ(model->lastError(), QStringLiteral("That code is not right. 2 attempts left."));
    EXPECT_EQ(model->flow().code, QString());
    EXPECT_EQ(model->flow().step, TessaronLoginFlow::Step::code);

    model->resetLoginFlow();
    EXPECT_EQ(model->flow().step, TessaronLoginFlow::Step::email);
    EXPECT_EQ(model->flow().resendRemaining, 0);
    EXPECT_EQ(model->flow().email, QStringLiteral("  Ann@Example.COM "));
}

TEST_F(AccountModelFlowTest, AWebSignInFinishesOnlyThroughItsOwnCallback) {
    build();
    const auto start = [this](const char* authorizeURL) {
        service.enqueue(oauthStart, 200,
                        QStringLiteral(R"({"authorizeURL":"%1","state":"st-1"})").arg(authorizeURL).toUtf8());
        return run(model->signIn(TessaronOAuthProvider::whop, nullptr));
    };
    start("http://id.test/authorize");
    EXPECT_TRUE(web.opened.isEmpty());
    EXPECT_EQ(model->lastError(), unreachable);

    EXPECT_FALSE(model->deliverWebCallback(QUrl(QStringLiteral("tessaron://auth?code=c&state=st-1"))));
    const struct {
        std::function<void()> finish;
        std::optional<QString> error;
    } endings[] = {
        {[this] { model->cancelWebSignIn(); }, std::nullopt},
        {[this] { web.fail(); }, unreachable},
        {[this] { model->deliverWebCallback(QUrl(QStringLiteral("tessaron://auth?code=c&state=forged"))); },
         QStringLiteral("Sign-in failed. Please try again.")},
    };
    for (const auto& ending : endings) {
        start("https://id.test/authorize");
        ending.finish();
        settle();
        EXPECT_FALSE(model->isBusy());
        EXPECT_EQ(model->lastError(), ending.error);
    }
    EXPECT_TRUE(service.sentTo(oauthExchange).isEmpty());

    service.enqueue(oauthExchange, 200, authReply(QStringLiteral("tok-web")));
    start("https://id.test/authorize");
    EXPECT_EQ(web.schemes.last(), QStringLiteral("tessaron"));
    model->deliverWebCallback(QUrl(QStringLiteral("tessaron://auth?code=c-9&state=st-1")));
    settle();
    EXPECT_EQ(service.sentTo(oauthExchange)[0].body.value("code"), QStringLiteral("c-9"));
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_EQ(service.sentTo(oauthStart)[0].body.value("provider"), QStringLiteral("whop"));
}

TEST_F(AccountModelFlowTest, AppleCancellationIsSilentAndOtherFailuresShowEvenWhileBusy) {
    build();
    service.enqueue(oauthStart, 200, R"({"authorizeURL":"https://id.test/a","state":"s"})");
    run(model->signIn(TessaronOAuthProvider::google, nullptr));
    ASSERT_TRUE(model->isBusy());
    using Failure = TessaronAppleSignInResult::Failure;
    run(model->completeAppleSignIn(
        {.failure = Failure{TessaronAppleSignInResult::authorizationErrorDomain, 1001}, .identityToken = {}},
        nullptr));
    EXPECT_EQ(model->lastError(), std::nullopt);
    run(model->completeAppleSignIn({.failure = std::nullopt, .identityToken = QByteArray("\xff")}, nullptr));
    EXPECT_EQ(model->lastError(), unreachable);
    EXPECT_TRUE(service.sentTo(QStringLiteral("POST /v1/auth/apple")).isEmpty());
}

TEST_F(AccountModelFlowTest, SignOutResetsTheSessionBeforeLoggingOutThenClearsTheMac) {
    signedIn();
    harness.keychain.setItem(group, accountKeychainService, earlierLink, "https://a.test/x");
    auto& withProfile = harness.startSelected({profile});
    service.holdNext(QStringLiteral("POST /v1/auth/logout"));
    run(model->signOut(&withProfile));
    EXPECT_TRUE(withProfile.summaries().isEmpty());
    EXPECT_EQ(storedToken(), QStringLiteral("tok-1"));
    EXPECT_TRUE(model->isSignedIn());

    service.release(); // and the logout fails: it does not matter
    settle();
    EXPECT_EQ(service.sentTo(QStringLiteral("POST /v1/auth/logout"))[0].bearer, "tok-1");
    EXPECT_FALSE(model->isSignedIn());
    EXPECT_EQ(model->account(), std::nullopt);
    EXPECT_EQ(storedToken(), std::nullopt);
    EXPECT_EQ(harness.keychain.item(group, accountKeychainService, earlierLink), std::nullopt);
}

TEST_F(AccountModelFlowTest, DeletionLeavesEverythingInPlaceUntilTheServiceConfirms) {
    signedIn();
    auto& withProfile = harness.startSelected({profile});
    service.enqueue(QStringLiteral("DELETE /v1/account"), 500);
    run(model->deleteAccount(&withProfile));
    EXPECT_EQ(model->lastError(), QStringLiteral("The account service could not complete the request."));
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_EQ(withProfile.summaries().size(), 1);

    service.enqueue(QStringLiteral("DELETE /v1/account"), 204);
    run(model->deleteAccount(&withProfile));
    EXPECT_FALSE(model->isSignedIn());
    EXPECT_TRUE(withProfile.summaries().isEmpty());
    EXPECT_EQ(model->lastError(), std::nullopt);
}

TEST_F(AccountModelFlowTest, DeletionWithoutATokenSendsNothingAndAsksForANewSignIn) {
    signedIn();
    harness.keychain.setItem(group, accountKeychainService, tokenAccount, "");
    run(model->deleteAccount(nullptr));
    EXPECT_TRUE(service.sentTo(QStringLiteral("DELETE /v1/account")).isEmpty());
    EXPECT_FALSE(model->isSignedIn());
    EXPECT_EQ(model->lastError(), QStringLiteral("Please sign in again."));
}

TEST_F(AccountModelFlowTest, LinkingReportsTheSelectionAndShowsItsRefusals) {
    signedIn();
    auto& selected = harness.startSelected({profile});
    const struct {
        int status;
        QByteArray body;
        QString text;
    } refusals[] = {
        {403, R"({"error":"not_your_grant"})", QStringLiteral("That access doesn’t belong to this account.")},
        {403, {}, QStringLiteral("The account service could not complete the request.")},
        {401, {}, QStringLiteral("Please sign in again.")},
    };
    for (const auto& refusal : refusals) {
        service.enqueue(linkCall, refusal.status, refusal.body);
        run(model->linkProfileIfSignedIn(&selected));
        EXPECT_EQ(model->lastError(), refusal.text);
    }
    EXPECT_TRUE(model->isSignedIn());
    EXPECT_EQ(storedToken(), QStringLiteral("tok-1"));
    EXPECT_EQ(service.sentTo(linkCall)[0].body.value("profileID").toString(),
              profile.id.toString(QUuid::WithoutBraces).toLower());
}

TEST_F(AccountModelFlowTest, RefreshAndLinkRepliesArrivingAfterSignOutChangeNothing) {
    signedIn();
    auto& selected = harness.startSelected({profile});
    service.answer(linkCall, 200, accountReply());
    service.holdNext(account);
    service.holdNext(linkCall);
    run(model->refresh(nullptr));
    run(model->linkProfileIfSignedIn(&selected));
    run(model->signOut(nullptr));
    service.release();
    settle();
    EXPECT_EQ(service.heldCount(), 0);
    EXPECT_EQ(model->account(), std::nullopt);
}
