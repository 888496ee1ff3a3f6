#include "session_harness.hpp"

#include "profiles/json_values.hpp"
#include "profiles/pending_redemption.hpp"

#include <QUrl>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QString code = QStringLiteral("Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a");

QUrl invitationLink() {
    return QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + code);
}

// A redemption of the code left behind by an earlier run.
void leaveRedemption(SessionHarness& harness, std::chrono::seconds age,
                     std::optional<TessaronProfile> redeemed = std::nullopt, bool retryUsed = false) {
    TessaronPendingRedemption record;
    record.retryUsed = retryUsed;
    record.code = code;
    record.redemptionID = QUuid::createUuid();
    record.installationID = QUuid::createUuid();
    record.startedAt = harness.clock.now().addSecs(-age.count());
    record.redeemed = redeemed.has_value();
    if (redeemed)
        record.redeemedProfileJSON = redeemed->canonicalJSON();
    TessaronPendingRedemptionStore(harness.keychain, harness.bundle).save(record);
}

class SessionInvitationTest : public ::testing::Test {
protected:
    TessaronSession& consented() {
        harness.grantConsent();
        auto& session = harness.launch();
        return session;
    }

    QStringList redemptionIDs() const {
        QStringList ids;
        for (const auto& body : harness.pairing.sent(QStringLiteral("/v1/redeem")))
            ids.append(body.value(QStringLiteral("redemptionID")).toString());
        return ids;
    }

    SessionHarness harness;
    const TessaronProfile profile = sampleProfile(QStringLiteral("Oslo"));
};

TEST_F(SessionInvitationTest, AFailedRedemptionIsAskedForOnceMoreUnderTheSameID) {
    struct Case {
        int secondStatus;
        std::optional<QString> error;
    };
    const Case cases[] = {
        {200, std::nullopt},
        {502, QStringLiteral("The service is not available right now. Try again in a moment.")},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.secondStatus);
        SessionHarness fresh;
        fresh.grantConsent();
        auto& session = fresh.launch();
        fresh.pairing.enqueueRedeem(503);
        if (example.error)
            fresh.pairing.enqueueRedeem(example.secondStatus);
        else
            fresh.pairing.enqueueRedeem(profile);

        track(session.openInvitationLink(invitationLink()));
        fresh.settle();

        const auto sent = fresh.pairing.sent(QStringLiteral("/v1/redeem"));
        ASSERT_EQ(sent.size(), 2);
        EXPECT_EQ(sent.at(0).value("redemptionID"), sent.at(1).value("redemptionID"));
        EXPECT_EQ(session.lastError(), example.error);
        EXPECT_FALSE(fresh.pendingRecord());
        EXPECT_EQ(session.summaries().size(), example.error ? 0 : 1);
        if (!example.error) {
            EXPECT_EQ(fresh.signIn.linked, QList<std::optional<QUuid>>{profile.id});
            // Redeemed while disconnected: the new connection starts at once.
            EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
        }
    }
}

TEST_F(SessionInvitationTest, ARedemptionCutOffByAQuitIsFinishedAfterTheRelaunch) {
    auto& session = consented();
    harness.pairing.setDelay(5s);
    track(session.openInvitationLink(invitationLink()));
    harness.advance(1s);
    ASSERT_TRUE(harness.pendingRecord());

    auto& relaunched = harness.restart();
    harness.pairing.setDelay(0s);
    harness.pairing.enqueueRedeem(profile);
    track(relaunched.bootstrap());
    harness.settle();
    track(relaunched.recoverPendingInvitation());
    harness.settle();

    ASSERT_EQ(redemptionIDs().size(), 2);
    EXPECT_EQ(redemptionIDs().at(0), redemptionIDs().at(1));
    EXPECT_EQ(relaunched.selectedID(), profile.id);
    EXPECT_FALSE(harness.pendingRecord());
}

TEST_F(SessionInvitationTest, AnUnredeemedRecordIsAskedForOnceMoreWhateverItsAge) {
    struct Case {
        const char* name;
        bool consent;
        bool retryUsed;
        int requests;
        std::optional<QString> error;
        bool recordKept;
    };
    const Case cases[] = {
        {"repeatable", true, false, 1, std::nullopt, false},
        {"without consent", false, false, 0, QStringLiteral("Review the privacy terms first."), true},
        {"repeat spent", true, true, 0, QStringLiteral("The invitation took too long. Try again."), false},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        SessionHarness fresh;
        leaveRedemption(fresh, 3600s, std::nullopt, example.retryUsed);
        if (example.consent)
            fresh.grantConsent();
        fresh.pairing.enqueueRedeem(profile);
        auto& session = fresh.launch();

        track(session.recoverPendingInvitation());
        fresh.settle();
        EXPECT_EQ(fresh.pairing.sent(QStringLiteral("/v1/redeem")).size(), example.requests);
        EXPECT_EQ(session.lastError(), example.error);
        EXPECT_EQ(fresh.pendingRecord().has_value(), example.recordKept);
        EXPECT_EQ(session.selectedID() == profile.id, example.requests == 1);
    }
}

TEST_F(SessionInvitationTest, AnInvitationNeverLandsUnderAConnectThatIsStarting) {
    const auto oslo = sampleProfile(QStringLiteral("Oslo"));
    // A link opened, and a redeemed profile found at the foreground.
    const std::function<void(SessionHarness&)> arrivals[] = {
        [](SessionHarness& fresh) { track(fresh.session->openInvitationLink(invitationLink())); },
        [this](SessionHarness& fresh) {
            leaveRedemption(fresh, 10s, profile);
            track(fresh.session->recoverPendingInvitation());
        },
    };
    for (const auto& arrive : arrivals) {
        SessionHarness fresh;
        auto& session = fresh.startSelected({oslo});
        fresh.pairing.enqueueRedeem(profile);
        fresh.activator.holdNext();
        track(session.connect());
        fresh.settle();

        arrive(fresh);
        fresh.settle();
        EXPECT_EQ(session.selectedID(), oslo.id);
        fresh.activator.release(TessaronExtensionActivation::Kind::activated);
        fresh.settle();
        EXPECT_EQ(fresh.tunnels.stored().first().tunnelProvider()->serverAddress, oslo.server);
        EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
    }
}

TEST_F(SessionInvitationTest, ARedeemedProfileLeftUnsavedIsSavedWithoutAskingTheServiceAgain) {
    leaveRedemption(harness, 3600s, profile);
    auto& session = consented();

    track(session.recoverPendingInvitation());
    harness.settle();

    EXPECT_TRUE(harness.pairing.sent(QStringLiteral("/v1/redeem")).isEmpty());
    EXPECT_EQ(session.selectedID(), profile.id);
    EXPECT_FALSE(harness.pendingRecord());
}

TEST_F(SessionInvitationTest, ARepeatOfTheSameCodeIsAllowedOnlyWithinAMinute) {
    for (const auto age : {60s, 61s}) {
        SCOPED_TRACE(age.count());
        SessionHarness fresh;
        fresh.grantConsent();
        leaveRedemption(fresh, age);
        fresh.pairing.enqueueRedeem(profile);
        auto& session = fresh.start();

        track(session.openInvitationLink(invitationLink()));
        fresh.settle();

        if (age == 60s) {
            EXPECT_EQ(session.selectedID(), profile.id);
        } else {
            EXPECT_EQ(session.lastError(), QStringLiteral("The invitation took too long. Try again."));
            EXPECT_FALSE(fresh.pendingRecord());
        }
    }
}

TEST_F(SessionInvitationTest, AnInvitationWaitsForTheSignInAndTheConsent) {
    harness.signIn.signedIn = false;
    auto& session = harness.start();
    harness.pairing.enqueueRedeem(profile);

    track(session.openInvitationLink(invitationLink()));
    EXPECT_EQ(session.activeSheet(), TessaronSheet::signIn);
    harness.signIn.signedIn = true;
    track(session.redeemDeferredInvitation());
    EXPECT_EQ(session.activeSheet(), TessaronSheet::signIn); // no consent yet: the code keeps waiting
    EXPECT_TRUE(harness.pairing.sent(QStringLiteral("/v1/redeem")).isEmpty());

    track(session.openInvitationLink(invitationLink()));
    EXPECT_EQ(session.activeSheet(), TessaronSheet::privacy);
    session.grantPrivacyConsent();
    harness.settle();
    EXPECT_EQ(session.selectedID(), profile.id);
}

TEST_F(SessionInvitationTest, ClosingThePrivacySheetWithoutConsentDropsTheWaitingInvitation) {
    auto& session = harness.start();
    track(session.openInvitationLink(invitationLink()));
    ASSERT_EQ(session.activeSheet(), TessaronSheet::privacy);
    session.setActiveSheet(std::nullopt);
    session.grantPrivacyConsent();
    harness.settle();
    EXPECT_TRUE(harness.pairing.sent(QStringLiteral("/v1/redeem")).isEmpty());
}

TEST_F(SessionInvitationTest, TheAccountsProfileIsSelectedUnlessALinkIsUp) {
    auto& session = consented();
    track(session.installAccountProfile(profile));
    harness.settle();
    EXPECT_EQ(session.selectedID(), profile.id);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);

    harness.stampRoster(profile.id, 60s);
    track(session.connect());
    harness.settle();
    const auto other = sampleProfile(QStringLiteral("Bergen"));
    auto installing = track(session.installAccountProfile(other));
    harness.settle();
    ASSERT_TRUE(installing->error);
    EXPECT_THROW(std::rethrow_exception(installing->error), TessaronSessionFailure);
    EXPECT_EQ(session.selectedID(), profile.id);
    EXPECT_EQ(session.summaries().size(), 2);
}

TEST_F(SessionInvitationTest, ALinkWithoutACodeConnectsTheOneSavedConnection) {
    harness.save(profile);
    harness.stampRoster(profile.id, 60s);
    auto& session = consented();
    ASSERT_FALSE(session.selectedID());

    track(session.openInvitationLink(QUrl(QStringLiteral("tessaron://open"))));
    harness.settle();

    EXPECT_EQ(session.selectedID(), profile.id);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
}

} // namespace
