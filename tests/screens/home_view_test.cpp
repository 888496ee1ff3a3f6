#include "screens/accessible_traits.hpp"
#include "screens/button_styles.hpp"
#include "screens/error_banner.hpp"
#include "screens/extension_status_card.hpp"
#include "screens/home_fixture.hpp"
#include "screens/screen_capture.hpp"
#include "session/system_extension_activator.hpp"
#include "support/fake_system_extension_requests.hpp"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

using Phase = TessaronLinkPhase;

TEST(HomeRules, DerivedValues) {
    EXPECT_TRUE(animationsAllowed(false, ScenePhase::active, false));
    EXPECT_FALSE(animationsAllowed(true, ScenePhase::active, false));
    EXPECT_FALSE(animationsAllowed(false, ScenePhase::inactive, false));
    EXPECT_FALSE(animationsAllowed(false, ScenePhase::active, true));

    EXPECT_EQ(nudgeState(true, true, true), (TessaronNudgeState{true, true}));
    EXPECT_EQ(nudgeState(true, true, false), (TessaronNudgeState{false, true}));
    EXPECT_EQ(nudgeState(true, false, true), (TessaronNudgeState{}));
    EXPECT_EQ(nudgeState(false, true, true), (TessaronNudgeState{}));

    const auto waiting = std::optional(TessaronExtensionApproval::waiting);
    for (const auto phase : {Phase::connecting, Phase::checking, Phase::disconnecting}) {
        EXPECT_TRUE(primaryBusy(std::nullopt, phase, false));
        EXPECT_FALSE(primaryBusy(waiting, phase, true));
    }
    EXPECT_FALSE(primaryBusy(std::nullopt, Phase::connected, false));
    EXPECT_TRUE(primaryBusy(TessaronExtensionApproval::retry, Phase::disconnected, true));

    EXPECT_EQ(accountArea(true, true, Phase::connected, true), AccountArea::email);
    EXPECT_EQ(accountArea(true, false, Phase::disconnected, false), AccountArea::nothing);
    EXPECT_EQ(accountArea(false, false, Phase::disconnected, false), AccountArea::signInPrompt);
    EXPECT_EQ(accountArea(false, false, Phase::disconnected, true), AccountArea::nothing);
    EXPECT_EQ(accountArea(false, false, Phase::connecting, false), AccountArea::nothing);

    EXPECT_EQ(scenePhase(true, false, Qt::ApplicationActive), ScenePhase::active);
    EXPECT_EQ(scenePhase(true, false, Qt::ApplicationInactive), ScenePhase::inactive);
    EXPECT_EQ(scenePhase(true, true, Qt::ApplicationActive), ScenePhase::background);
    EXPECT_EQ(scenePhase(false, false, Qt::ApplicationActive), ScenePhase::background);
}

TEST(HomeView, SheetIntentsOpenTheirSheet) {
    struct Row {
        bool signedIn, consent;
        std::optional<TessaronSheet> sheet;
    };
    const Row rows[] = {
        {false, false, TessaronSheet::signIn},
        {true, false, TessaronSheet::privacy},
        {true, true, TessaronSheet::importInvitation},
    };
    for (const auto& row : rows) {
        HomeWorld w;
        w.harness.signIn.signedIn = row.signedIn;
        if (row.consent)
            w.harness.grantConsent();
        w.harness.start();
        w.show();
        w.click(QStringLiteral("tessaron.connectButton"));
        EXPECT_EQ(w.harness.session->activeSheet(), row.sheet) << row.signedIn << row.consent;
    }
}

TEST(HomeView, AnInvitationInFlightKeepsTheImportSheetShut) {
    HomeWorld w;
    w.harness.grantConsent();
    track(w.harness.start().bootstrap());
    w.show();
    auto& session = *w.harness.session;
    w.harness.pairing.setDelay(5s);
    w.harness.pairing.enqueueRedeem(w.oslo);
    track(session.openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a"))));
    w.harness.settle();
    ASSERT_TRUE(session.linkInFlight());
    ASSERT_EQ(session.primaryIntent(), TessaronPrimaryIntent::importInvitation);
    w.click(QStringLiteral("tessaron.connectButton"));
    EXPECT_EQ(session.lastError(), QStringLiteral("Wait for the current change to finish."));
    EXPECT_EQ(session.activeSheet(), std::nullopt);
    EXPECT_EQ(w.find<QLabel>(QStringLiteral("tessaron.errorMessage"))->text(), *session.lastError());
    w.harness.advance(6s);
}

TEST(HomeView, ConnectAndStopGoThroughTheSession) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    auto* primary = static_cast<TessaronPrimaryButton*>(w.button(QStringLiteral("tessaron.connectButton")));
    EXPECT_EQ(primary->text(), QStringLiteral("Connect"));
    EXPECT_EQ(primary->accessibleDescription(), primaryHint(TessaronPrimaryIntent::connect));

    w.click(QStringLiteral("tessaron.connectButton"));
    EXPECT_EQ(w.harness.activator.calls, 1);
    EXPECT_EQ(session.phase(), Phase::connecting);
    EXPECT_TRUE(primary->showsSpinner());
    EXPECT_TRUE(accessibleTraits(primary).animated);
    EXPECT_TRUE(accessibleTraits(w.find(QStringLiteral("tessaron.hero"))).animated);

    w.harness.tunnel().setStatus(VpnStatus::connected);
    w.harness.settle();
    EXPECT_EQ(session.phase(), Phase::connected);
    EXPECT_FALSE(primary->showsSpinner());
    // The tunnel takes a second to stop: the picture is idle, the button disabled and still spinning.
    w.harness.tunnel().setStopSteps({{0s, VpnStatus::disconnecting}, {1s, VpnStatus::disconnected}});
    w.click(QStringLiteral("tessaron.connectButton"));
    ASSERT_EQ(session.phase(), Phase::disconnecting);
    EXPECT_FALSE(primary->isEnabled());
    EXPECT_TRUE(primary->showsSpinner());
    EXPECT_TRUE(accessibleTraits(primary).animated);
    EXPECT_FALSE(accessibleTraits(w.find(QStringLiteral("tessaron.hero"))).animated);
    w.harness.advance(1s);
    EXPECT_EQ(session.phase(), Phase::disconnected);
    EXPECT_FALSE(primary->showsSpinner());
}

TEST(HomeView, SignInPromptAccountLineAndSceneChanges) {
    HomeWorld w;
    w.harness.signIn.signedIn = false;
    w.show();
    auto* prompt = w.find<QLabel>(QStringLiteral("tessaron.signInPrompt"));
    auto* email = w.find<QLabel>(QStringLiteral("tessaron.accountEmail"));
    EXPECT_FALSE(prompt->isHidden());
    EXPECT_TRUE(email->isHidden());

    w.account.set(true, std::nullopt);
    EXPECT_TRUE(prompt->isHidden());
    EXPECT_TRUE(email->isHidden());
    w.account.set(true, QStringLiteral("ada@example.org"));
    EXPECT_FALSE(email->isHidden());
    EXPECT_EQ(email->text(), QStringLiteral("ada@example.org"));

    // Scene changes switch latency probing and never restart the account refresh.
    auto& session = *w.harness.session;
    EXPECT_TRUE(session.sceneIsActive());
    w.view().setScenePhase(ScenePhase::inactive);
    EXPECT_FALSE(session.sceneIsActive());
    w.view().setScenePhase(ScenePhase::active);
    EXPECT_TRUE(session.sceneIsActive());
    EXPECT_EQ(w.account.refreshes, 1);
}

TEST(HomeView, BannerOffersTryAgainUseAndDismiss) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    auto* banner = w.find(QStringLiteral("tessaron.errorBanner"));
    EXPECT_TRUE(banner->isHidden());

    session.setLastError(TessaronSession::autoDisconnectNotice());
    EXPECT_FALSE(banner->isHidden());
    EXPECT_FALSE(w.button(QStringLiteral("tessaron.tryAgain"))->isHidden());
    EXPECT_TRUE(w.button(QStringLiteral("tessaron.useSuggestedNode"))->isHidden());
    w.click(QStringLiteral("tessaron.tryAgain"));
    EXPECT_EQ(session.lastError(), std::nullopt);
    EXPECT_EQ(w.harness.activator.calls, 1);

    HomeWorld other;
    auto& second = other.startWithRoster({other.oslo, other.tokyo});
    other.show();
    second.setLastError(QStringLiteral("That node did not answer."));
    second.setSuggestedNodeID(other.tokyo.id);
    EXPECT_TRUE(other.button(QStringLiteral("tessaron.tryAgain"))->isHidden());
    auto* use = other.button(QStringLiteral("tessaron.useSuggestedNode"));
    EXPECT_FALSE(use->isHidden());
    EXPECT_EQ(use->text(), QStringLiteral("Use Tokyo"));
    other.click(QStringLiteral("tessaron.dismissError"));
    EXPECT_EQ(second.lastError(), std::nullopt);
    EXPECT_EQ(second.suggestedNodeID(), std::nullopt);

    EXPECT_FALSE(bannerOffersRetry(TessaronSession::autoDisconnectNotice(), Phase::connecting,
                                   TessaronPrimaryIntent::connect));
    EXPECT_FALSE(bannerOffersRetry(TessaronSession::autoDisconnectNotice(), Phase::disconnected,
                                   TessaronPrimaryIntent::signIn));
}

TEST(ExtensionCard, MapsApprovalBeforeNotice) {
    using A = ExtensionCardContent::Action;
    using Approval = TessaronExtensionApproval;
    using Notice = TessaronExtensionNotice;
    struct Row {
        std::optional<Approval> approval;
        std::optional<Notice> notice;
        QList<A> actions;
        bool spinner;
    };
    const Row rows[] = {
        {Approval::waiting, Notice::notInApplications, {A::openSettings, A::cancel}, true},
        {Approval::retry, std::nullopt, {A::cancel}, false},
        {Approval::needsReboot, std::nullopt, {A::dismiss}, false},
        {std::nullopt, Notice::notInApplications, {A::moveToApplications, A::quit}, false},
        {std::nullopt, Notice::dragToApplications, {A::quit}, false},
    };
    for (const auto& row : rows) {
        const auto content = extensionCardContent(row.approval, row.notice);
        ASSERT_TRUE(content);
        EXPECT_EQ(content->actions, row.actions);
        EXPECT_EQ(content->spinner, row.spinner);
        EXPECT_FALSE(content->title.isEmpty());
    }
    EXPECT_FALSE(extensionCardContent(std::nullopt, std::nullopt));
}

TEST(ExtensionCard, CancelClearsTheCardAndLogsNothingWithoutAnAttempt) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo});
    w.show();
    auto* card = w.find(QStringLiteral("tessaron.extensionCard"));
    EXPECT_TRUE(card->isHidden());
    session.revealAppInFinder();
    EXPECT_FALSE(card->isHidden());
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.moveToApplications")), nullptr);
    w.harness.log.clear();
    session.dismissExtensionPrompt();
    EXPECT_TRUE(card->isHidden());
    EXPECT_FALSE(w.harness.logLines().contains(QStringLiteral("extension: cancelled")));
}

TEST(ExtensionCard, WaitingShowsTheCardsSpinnerAndCancelEndsTheAttempt) {
    HomeWorld w;
    FakeSystemExtensionRequests system;
    SystemExtensionActivator activator(
        system, w.harness.clock, w.harness.log,
        {QStringLiteral("/opt/apps/tessaron/bin/tessaron"), QStringLiteral("/opt/apps")});
    w.harness.activation = &activator;
    auto& session = w.startWithRoster({w.oslo});
    system.enqueue({FakeSystemExtensionRequests::NeedsApproval{}});
    w.show();
    w.click(QStringLiteral("tessaron.connectButton"));
    ASSERT_EQ(session.extensionApproval(), TessaronExtensionApproval::waiting);
    auto* primary = static_cast<TessaronPrimaryButton*>(w.button(QStringLiteral("tessaron.connectButton")));
    EXPECT_FALSE(primary->showsSpinner());
    EXPECT_FALSE(accessibleTraits(primary).animated);
    EXPECT_FALSE(w.find(QStringLiteral("tessaron.extensionCard"))->isHidden());

    const int opened = system.settingsOpened();
    w.click(QStringLiteral("tessaron.openExtensionSettings"));
    EXPECT_EQ(system.settingsOpened(), opened + 1);
    w.click(QStringLiteral("tessaron.cancelExtensionApproval"));
    EXPECT_TRUE(w.find(QStringLiteral("tessaron.extensionCard"))->isHidden());
    EXPECT_EQ(w.harness.logLines().count(QStringLiteral("extension: cancelled")), 1);
}

TEST(HomeView, NoTimerRunsWhenHiddenOrStill) {
    const auto runningTimers = [](const QWidget& root) {
        int running = 0;
        for (const auto* timer : root.findChildren<QTimer*>())
            running += timer->isActive() ? 1 : 0;
        return running;
    };
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    w.harness.connectFully();
    w.show();
    ASSERT_EQ(session.phase(), Phase::connected);
    EXPECT_GT(runningTimers(w.view()), 0);

    w.power.set(true);
    w.sharedPower.set(true);
    EXPECT_EQ(runningTimers(w.view()), 0);
    w.power.set(false);
    w.sharedPower.set(false);
    w.view().setReduceMotion(true);
    EXPECT_EQ(runningTimers(w.view()), 0);
    w.view().setReduceMotion(false);
    EXPECT_GT(runningTimers(w.view()), 0);
    w.view().hide();
    EXPECT_EQ(runningTimers(w.view()), 0);
}

TEST(HomeScreenshots, EachVisualState) {
    struct Shot {
        const char* name;
        Phase phase;
    };
    for (const auto& shot :
         {Shot{"home-idle", Phase::disconnected}, Shot{"home-connecting", Phase::connecting},
          Shot{"home-checking", Phase::checking}, Shot{"home-online", Phase::connected},
          Shot{"home-failed", Phase::checkFailed}}) {
        HomeWorld w;
        // With a second node a failed check would move the link there.
        auto& session = shot.phase == Phase::checkFailed ? w.startWithRoster({w.tokyo})
                                                         : w.startWithRoster({w.tokyo, w.oslo});
        w.account.set(true, QStringLiteral("ada@example.org"));
        if (shot.phase == Phase::checkFailed)
            w.harness.reachability.answer(FakeReachability::failure());
        if (shot.phase != Phase::disconnected) {
            track(session.connect());
            w.harness.settle();
        }
        if (shot.phase == Phase::checking) {
            // The tunnel reports that the link is blocked.
            const QJsonObject report{{"phase", "blocked"}, {"since", 1767225600.5}, {"attempts", 1}};
            w.harness.tunnel().setReply("phase", QJsonDocument(report).toJson(QJsonDocument::Compact));
        }
        if (shot.phase != Phase::connecting && shot.phase != Phase::disconnected) {
            w.harness.tunnel().setStatus(VpnStatus::connected);
            w.harness.settle();
        }
        if (shot.phase == Phase::checkFailed || shot.phase == Phase::checking)
            w.harness.advance(3s);
        w.view().setReduceMotion(true);
        w.show();
        EXPECT_EQ(session.phase(), shot.phase) << shot.name;
        capture(w.view(), {480, 760}, QString::fromLatin1(shot.name));
    }
}

} // namespace
} // namespace tessaron::testing
