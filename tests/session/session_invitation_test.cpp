#include "session_harness.hpp"

#include "profiles/json_values.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tessaron;
using namespace tessaron::testing;

namespace {

const auto redeemPath = TessaronPairingClient::redeemPath;
// Made on first use: the profile rules are not ready during static initialisation.
const TessaronProfile& oslo() {
    static const auto profile = sampleProfile(QStringLiteral("Oslo"));
    return profile;
}

TEST(SessionInvitationTest, AFailedRedemptionIsAskedForOnceMoreUnderTheSameID) {
    SessionHarness harness;
    harness.grantConsent();
    auto& session = harness.launch();
    harness.pairing.enqueueRedeem(503);
    harness.pairing.enqueueRedeem(502);
    harness.run(session.openInvitationLink(SessionHarness::invitationLink()));
    EXPECT_EQ(session.lastError(),
              QStringLiteral("The service is not available right now. Try again in a moment."));
    EXPECT_TRUE(session.summaries().isEmpty());

    harness.pairing.enqueueRedeem(503);
    harness.pairing.enqueueRedeem(oslo());
    harness.run(session.openInvitationLink(SessionHarness::invitationLink()));
    const auto ids = harness.redemptionIDs();
    ASSERT_EQ(ids.size(), 4);
    EXPECT_EQ(std::tuple(ids[0], ids[2]), std::tuple(ids[1], ids[3]));
    EXPECT_NE(ids[0], ids[2]);
    EXPECT_FALSE(harness.pendingRecord());
    EXPECT_EQ(harness.signIn.linked, QList<std::optional<QUuid>>{oslo().id});
    // Redeemed while disconnected: the new connection starts at once.
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
}

TEST(SessionInvitationTest, ARedemptionCutOffByAQuitIsFinishedAfterTheRelaunch) {
    SessionHarness harness;
    harness.grantConsent();
    harness.pairing.setDelay(5s);
    track(harness.launch().openInvitationLink(SessionHarness::invitationLink()));
    harness.advance(1s);
    ASSERT_TRUE(harness.pendingRecord());

    harness.pairing.setDelay(0s);
    harness.pairing.enqueueRedeem(oslo());
    auto& relaunched = harness.relaunch();
    harness.run(relaunched.recoverPendingInvitation());

    const auto ids = harness.redemptionIDs();
    ASSERT_EQ(ids.size(), 2);
    EXPECT_EQ(ids.at(0), ids.at(1));
    EXPECT_EQ(relaunched.selectedID(), oslo().id);
    EXPECT_FALSE(harness.pendingRecord());
}

// At the foreground a record left behind is finished whatever its age; a link opened for the same code may
// repeat it within a minute only.
TEST(SessionInvitationTest, ARecordLeftBehindIsFinishedOnceMoreUnderItsOwnRules) {
    const auto tooLong = QStringLiteral("The invitation took too long. Try again.");
    struct Case {
        const char* name;
        bool viaLink, consent, redeemed, retryUsed;
        std::chrono::seconds age;
        int requests;
        std::optional<QString> error;
        bool recordKept;
    };
    const Case cases[] = {
        {"unredeemed: asked for once more", false, true, false, false, 3600s, 1, std::nullopt, false},
        {"without consent", false, false, false, false, 3600s, 0,
         QStringLiteral("Review the privacy terms first."), true},
        {"repeat spent", false, true, false, true, 3600s, 0, tooLong, false},
        {"redeemed but unsaved: saved without asking", false, true, true, false, 3600s, 0, std::nullopt,
         false},
        {"the same code within a minute", true, true, false, false, 60s, 1, std::nullopt, false},
        {"the same code after a minute", true, true, false, false, 61s, 0, tooLong, false},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        SessionHarness harness;
        harness.leaveRedemption(example.age, example.redeemed ? std::optional(oslo()) : std::nullopt,
                                example.retryUsed);
        if (example.consent)
            harness.grantConsent();
        harness.pairing.enqueueRedeem(oslo());
        auto& session = harness.launch();

        harness.run(example.viaLink ? session.openInvitationLink(SessionHarness::invitationLink())
                                    : session.recoverPendingInvitation());
        EXPECT_EQ(harness.redemptionIDs().size(), example.requests);
        EXPECT_EQ(session.lastError(), example.error);
        EXPECT_EQ(harness.pendingRecord().has_value(), example.recordKept);
        EXPECT_EQ(session.selectedID() == oslo().id, !example.error);
    }
}

TEST(SessionInvitationTest, AnInvitationNeverLandsUnderAConnectThatIsStarting) {
    const auto bergen = sampleProfile(QStringLiteral("Bergen"));
    // A link opened, and a redeemed profile found at the foreground.
    const std::function<void(SessionHarness&)> arrivals[] = {
        [](SessionHarness& h) { track(h.session->openInvitationLink(SessionHarness::invitationLink())); },
        [](SessionHarness& h) {
            h.leaveRedemption(10s, oslo());
            track(h.session->recoverPendingInvitation());
        },
    };
    for (const auto& arrive : arrivals) {
        SessionHarness harness;
        auto& session = harness.startSelected({bergen});
        harness.pairing.enqueueRedeem(oslo());
        harness.activator.holdNext();
        harness.run(session.connect());

        arrive(harness);
        harness.settle();
        EXPECT_EQ(session.selectedID(), bergen.id);
        harness.activator.release(TessaronExtensionActivation::Kind::activated);
        harness.settle();
        EXPECT_EQ(harness.tunnels.stored().first().tunnelProvider()->serverAddress, bergen.server);
        EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
    }
}

TEST(SessionInvitationTest, AnInvitationWaitsForTheSignInAndTheConsentAndIsDroppedWithThePrivacySheet) {
    SessionHarness harness;
    harness.signIn.signedIn = false;
    auto& session = harness.start();
    harness.pairing.enqueueRedeem(oslo());
    const auto open = [&] {
        track(session.openInvitationLink(SessionHarness::invitationLink()));
    };

    open();
    EXPECT_EQ(session.activeSheet(), TessaronSheet::signIn);
    harness.signIn.signedIn = true;
    track(session.redeemDeferredInvitation());
    EXPECT_EQ(session.activeSheet(), TessaronSheet::signIn); // no consent yet: the code keeps waiting

    open();
    ASSERT_EQ(session.activeSheet(), TessaronSheet::privacy);
    session.setActiveSheet(std::nullopt);
    session.grantPrivacyConsent();
    harness.settle();
    EXPECT_TRUE(harness.redemptionIDs().isEmpty());

    harness.preferences.remove(QStringLiteral("tessaron.privacyConsent"));
    auto& fresh = harness.restart();
    track(fresh.openInvitationLink(SessionHarness::invitationLink()));
    EXPECT_EQ(fresh.activeSheet(), TessaronSheet::privacy);
    fresh.grantPrivacyConsent();
    harness.settle();
    EXPECT_EQ(fresh.selectedID(), oslo().id);
}

TEST(SessionInvitationTest, NothingMovesTheSelectionWhileALinkIsUp) {
    SessionHarness harness;
    harness.grantConsent();
    auto& session = harness.launch();
    harness.run(session.installAccountProfile(oslo()));
    EXPECT_EQ(session.selectedID(), oslo().id);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::disconnected);

    harness.stampRoster(oslo().id, 60s);
    harness.connectFully();
    auto installing = harness.run(session.installAccountProfile(sampleProfile(QStringLiteral("Bergen"))));
    ASSERT_TRUE(installing->error);
    EXPECT_THROW(std::rethrow_exception(installing->error), TessaronSessionFailure);

    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Cork")));
    harness.run(session.openInvitationLink(SessionHarness::invitationLink()));
    EXPECT_EQ(session.lastError(), QStringLiteral("Disconnect before changing connections."));
    EXPECT_FALSE(harness.pendingRecord());
    EXPECT_EQ(session.summaries().size(), 3);
    EXPECT_EQ(session.selectedID(), oslo().id);
    EXPECT_EQ(harness.preferences.text(QStringLiteral("tessaron.selectedProfileID")), uuidText(oslo().id));
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connected);

    // Nor does the user move it, or remove the connection in use.
    session.pickNode(session.summaries().first().id);
    EXPECT_FALSE(session.autoSelect());
    EXPECT_EQ(session.selectedID(), oslo().id);
    EXPECT_EQ(session.lastError(), QStringLiteral("Disconnect before removing the active connection."));
    session.presentInvitationImport();
    EXPECT_FALSE(session.activeSheet());
    EXPECT_EQ(session.lastError(), QStringLiteral("Disconnect before changing connections."));
    harness.run(session.removeSavedConnection(oslo().id));
    EXPECT_EQ(session.summaries().size(), 3);
}

TEST(SessionInvitationTest, ALinkWithoutACodeConnectsTheOneSavedConnection) {
    SessionHarness harness;
    harness.save(oslo());
    harness.stampRoster(oslo().id, 60s);
    harness.grantConsent();
    auto& session = harness.launch();
    ASSERT_FALSE(session.selectedID());

    harness.run(session.openInvitationLink(QUrl(QStringLiteral("tessaron://open"))));
    EXPECT_EQ(session.selectedID(), oslo().id);
    EXPECT_EQ(session.phase(), TessaronLinkPhase::connecting);
}

} // namespace
