#include "screens/error_banner.hpp"
#include "screens/extension_status_card.hpp"
#include "screens/flow_ring.hpp"
#include "screens/home_fixture.hpp"
#include "screens/node_list.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/screen_capture.hpp"
#include "session/system_extension_activator.hpp"
#include "support/fake_system_extension_requests.hpp"
#include "support/qt_printers.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/frame_clock.hpp"
#include "widgets/motion.hpp"
#include "widgets/return_presses_button.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QGraphicsOpacityEffect>
#include <QHelpEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QVariantAnimation>

#include <algorithm>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

using Phase = TessaronLinkPhase;

TEST(HomeRules, DerivedValues) {
    // Reduced motion and low power are driven through the view below.
    EXPECT_FALSE(animationsAllowed(false, ScenePhase::inactive, false));

    EXPECT_EQ(nudgeState(true, true, true), (TessaronNudgeState{true, true}));
    EXPECT_EQ(nudgeState(true, true, false), (TessaronNudgeState{false, true}));
    EXPECT_EQ(nudgeState(true, false, true), (TessaronNudgeState{}));
    EXPECT_EQ(nudgeState(false, true, true), (TessaronNudgeState{}));

    // Connecting, disconnecting and waiting for approval are driven through the view below.
    EXPECT_TRUE(primaryBusy(std::nullopt, Phase::checking, false));
    for (const auto phase : {Phase::connecting, Phase::checking, Phase::disconnecting})
        EXPECT_FALSE(primaryBusy(TessaronExtensionApproval::waiting, phase, true));
    EXPECT_TRUE(primaryBusy(TessaronExtensionApproval::retry, Phase::disconnected, true));

    EXPECT_EQ(accountArea(true, true, Phase::connected, true), AccountArea::email);
    EXPECT_EQ(accountArea(false, false, Phase::disconnected, true), AccountArea::nothing);
    EXPECT_EQ(accountArea(false, false, Phase::connecting, false), AccountArea::nothing);

    EXPECT_EQ(scenePhase(true, false, Qt::ApplicationActive), ScenePhase::active);
    EXPECT_EQ(scenePhase(true, false, Qt::ApplicationInactive), ScenePhase::inactive);
    EXPECT_EQ(scenePhase(true, true, Qt::ApplicationActive), ScenePhase::background);
    EXPECT_EQ(scenePhase(false, false, Qt::ApplicationActive), ScenePhase::background);
}

TEST(HomeView, SheetIntentsOpenTheirSheetButNotWhileAnInvitationIsInFlight) {
    const std::tuple<bool, bool, TessaronSheet> rows[] = {{false, false, TessaronSheet::signIn},
                                                          {true, false, TessaronSheet::privacy},
                                                          {true, true, TessaronSheet::importInvitation}};
    for (const auto& [signedIn, consent, sheet] : rows) {
        HomeWorld w;
        w.harness.signIn.signedIn = signedIn;
        if (consent)
            w.harness.grantConsent();
        w.harness.start();
        w.show();
        w.click("tessaron.connectButton");
        EXPECT_EQ(w.harness.session->activeSheet(), sheet) << signedIn << consent;
    }

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
    w.click("tessaron.connectButton");
    EXPECT_EQ(session.lastError(), QStringLiteral("Wait for the current change to finish."));
    EXPECT_EQ(session.activeSheet(), std::nullopt);
    EXPECT_EQ(w.find<QLabel>("tessaron.errorMessage")->text(), *session.lastError());
    w.harness.advance(6s);
}

TEST(HomeView, StaysAtItsTopWhenAnInvitationBringsTheNodesAndTheLink) {
    HomeWorld w;
    w.harness.grantConsent();
    track(w.harness.start().bootstrap());
    w.show();
    w.view().resize(480, 360);
    // The button keeps the focus of the click that opened the sheet while the invitation is redeemed.
    w.primary()->setFocus(Qt::MouseFocusReason);
    w.harness.pairing.enqueueRedeem(w.oslo);
    track(w.harness.session->openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a"))));
    w.harness.settle();
    w.harness.connectFully();
    QCoreApplication::sendPostedEvents();
    // The page grew below; the person never scrolled, and the keyboard still does: the button, the only
    // control while connected, leaves Page Down and Page Up to the page. The button, disabled while it
    // worked, has its focus back: the next Return presses it, not a node.
    auto* bar = w.view().findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(std::pair(bar->value(), w.view().focusWidget()),
              std::pair(0, static_cast<QWidget*>(w.primary())));
    QTest::keyClick(w.view().focusWidget(), Qt::Key_PageDown);
    const int down = bar->value();
    QTest::keyClick(w.view().focusWidget(), Qt::Key_PageUp);
    EXPECT_EQ(std::tuple(down > 0, bar->value(), w.view().focusWidget()),
              std::tuple(true, 0, static_cast<QWidget*>(w.primary())));
}

TEST(HomeView, AutoPicksANodeTheLinkGoesUpAndDownThenAManualPick) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    w.show();
    auto* primary = w.primary();
    // What a screen reader reads as the button's value, enabled, spinning, announced as animated, hero
    // announced as animated.
    const auto state = [&] {
        const auto* reader = QAccessible::queryAccessibleInterface(primary);
        return std::tuple{reader->text(QAccessible::Value), primary->isEnabled(), primary->showsSpinner(),
                          reader->state().animated, accessibleTraits(w.find("tessaron.hero")).animated};
    };
    const auto timersRunning = [&] {
        const auto timers = w.view().findChildren<QTimer*>();
        return TessaronFrameClock::shared().isTicking() ||
               std::ranges::any_of(timers, [](const QTimer* timer) { return timer->isActive(); });
    };
    const auto selected = [&](const char* row) {
        const auto* reader =
            QAccessible::queryAccessibleInterface(w.button(QStringLiteral("tessaron.node.") + row));
        return reader->state().selected;
    };
    const auto subtitle = [&] {
        return w.find<QLabel>("tessaron.node.auto.subtitle")->text();
    };
    EXPECT_EQ(primary->text(), QStringLiteral("Connect"));
    EXPECT_EQ(primary->accessibleDescription(), primaryHint(TessaronPrimaryIntent::connect));
    EXPECT_TRUE(w.hidden("tessaron.nodeList.footer"));
    // Auto picks Oslo; identifiers follow the position and names carry flags.
    EXPECT_EQ(std::tuple(selected("auto"), selected("0"), selected("1")), std::tuple(true, false, false));
    EXPECT_EQ(subtitle(), QString::fromUtf8("Using \U0001F1F3\U0001F1F4 Oslo"));
    EXPECT_EQ(w.button("tessaron.node.auto")->accessibleName(), QStringLiteral("Auto, Using Oslo"));
    EXPECT_TRUE(w.button("tessaron.node.0")->accessibleName().startsWith(QStringLiteral("Oslo, in use, ")));
    EXPECT_EQ(w.button("tessaron.node.1")->findChild<QLabel*>("tessaron.node.name")->text(),
              QString::fromUtf8("\U0001F1EF\U0001F1F5 Tokyo"));

    w.click("tessaron.connectButton");
    EXPECT_EQ(w.harness.activator.calls, 1);
    EXPECT_EQ(state(), std::tuple("Connecting", true, true, true, true));
    // The rows lock while the link is on its way; the ring waits for the link.
    EXPECT_FALSE(w.hidden("tessaron.nodeList.footer"));
    EXPECT_FALSE(w.button("tessaron.node.0")->isEnabled());
    EXPECT_EQ(w.ringedRows(), QStringList());

    w.harness.tunnel().setStatus(VpnStatus::connected);
    w.harness.settle();
    EXPECT_EQ(state(), std::tuple("Connected", true, false, false, false));
    EXPECT_EQ(w.ringedRows(), QStringList{"tessaron.node.0"});
    const auto rows = nodeRows(session);
    EXPECT_EQ(std::pair(nodeRowOpacity(rows[0]), nodeRowOpacity(rows[1])), std::pair(1.0, 0.45));
    // The Auto row still answers while the link is up.
    EXPECT_TRUE(w.button("tessaron.node.auto")->isEnabled());

    // The ring and both nudges glide, with the globe, at no more than 30 frames a second.
    const auto decorations = w.view().findChildren<OverlayDecoration*>();
    EXPECT_EQ(
        std::ranges::count_if(decorations, [](const auto* decoration) { return decoration->isRunning(); }),
        3);
    EXPECT_GE(TessaronFrameClock::shared().tickInterval() * 30, 1s);
    // No timer runs while the view is hidden or still.
    w.power.set(true);
    w.sharedPower.set(true);
    EXPECT_FALSE(timersRunning());
    w.power.set(false);
    w.sharedPower.set(false);
    w.view().setReduceMotion(true);
    EXPECT_FALSE(timersRunning());
    w.view().setReduceMotion(false);
    EXPECT_TRUE(timersRunning());
    w.view().hide();
    EXPECT_FALSE(timersRunning());
    w.show();

    // The tunnel takes a second to stop: the picture is idle, the button disabled and still spinning.
    w.harness.tunnel().setStopSteps({{0s, VpnStatus::disconnecting}, {1s, VpnStatus::disconnected}});
    w.click("tessaron.connectButton");
    EXPECT_EQ(state(), std::tuple("Disconnecting", false, true, true, false));
    w.harness.advance(1s);
    EXPECT_EQ(state(), std::tuple("Disconnected", true, false, false, false));

    // With the link down a manual row switches Auto off; locked by the next link it still reads selected.
    // The Auto row loses its nudge ring with its choice: only one row looks chosen.
    const auto colouredPixels = [&](const char* row) {
        auto* list = w.find("tessaron.nodeList");
        const auto* target = w.button(QStringLiteral("tessaron.node.") + row);
        const QImage area = list->grab(QRect(target->mapTo(list, QPoint()), target->size())).toImage();
        int coloured = 0;
        for (int i = 0; i < area.width() * area.height(); ++i)
            coloured += QColor(area.pixel(i % area.width(), i / area.width())).hsvSaturation() > 80;
        return coloured;
    };
    w.click("tessaron.node.1");
    EXPECT_FALSE(session.autoSelect());
    EXPECT_EQ(session.selectedID(), w.tokyo.id);
    EXPECT_EQ(std::tuple(selected("auto"), selected("0"), selected("1")), std::tuple(false, false, true));
    EXPECT_EQ(subtitle(), QStringLiteral("Picks the fastest node"));
    EXPECT_EQ(colouredPixels("auto"), 0);
    w.harness.connectFully();
    EXPECT_EQ(std::tuple(selected("1"), w.button("tessaron.node.1")->isEnabled(), w.ringedRows()),
              std::tuple(true, false, QStringList{"tessaron.node.1"}));
}

TEST(NodeList, RowsOutlastSamplesAndChoiceMarksGlideOnlyWhileMotionIsAllowed) {
    VirtualAnimationTime time;
    HomeWorld w;
    w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    w.view().resize(480, 360);
    w.view().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.view()));
    // Oslo's status stays: the hero above shows it and would change its height.
    const auto sample = [&](int tokyoMilliseconds) {
        w.harness.latencyAnswers = {{w.oslo.server, 30}, {w.tokyo.server, tokyoMilliseconds}};
        w.harness.advance(30s);
    };
    // The checkmarks of the Auto row and the two node rows as a person sees them: lit, unlit or between.
    // Only the white of a mark counts, not the colours of the nudge's glow beside it.
    const auto marks = [&] {
        auto* list = w.find("tessaron.nodeList");
        QString seen;
        for (const char* row : {"auto", "0", "1"}) {
            const auto* mark = w.button(QStringLiteral("tessaron.node.") + row)
                                   ->findChild<QWidget*>("tessaron.node.checkmark");
            const QImage area = list->grab(QRect(mark->mapTo(list, QPoint()), mark->size())).toImage();
            int whitest = 0;
            for (int i = 0; i < area.width() * area.height(); ++i) {
                const QRgb pixel = area.pixel(i % area.width(), i / area.width());
                whitest = std::max(whitest, std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}));
            }
            seen += whitest > 230 ? u'x' : whitest < 64 ? u'-' : u'~';
        }
        return seen;
    };
    sample(150);
    auto* bar = w.view().findChild<QScrollArea*>()->verticalScrollBar();
    bar->setValue(bar->maximum());
    const auto scrolled = bar->value();
    ASSERT_GT(scrolled, 0);
    const QPointer<QAbstractButton> tokyo = w.button("tessaron.node.1");
    tokyo->setFocus(Qt::TabFocusReason);

    // A press spans a sample: scroll position, focus and press outlast it, the status changes in place.
    QTest::mousePress(tokyo, Qt::LeftButton);
    sample(50);
    EXPECT_EQ(std::tuple(bar->value(), tokyo->hasFocus(), tokyo->accessibleName()),
              std::tuple(scrolled, true, "Tokyo, " + label(NodeLinkStatus::fast)));
    // The press ends in a click: the checkmark moves over with the spring.
    QTest::mouseRelease(tokyo, Qt::LeftButton);
    EXPECT_EQ(marks(), "x--");
    time.pass(100ms);
    EXPECT_EQ(marks(), "~-~");
    time.pass(springMilliseconds * 1ms - 100ms);
    EXPECT_EQ(marks(), "--x");
    // Without motion a change shows its end at once.
    w.view().setReduceMotion(true);
    w.click("tessaron.node.0");
    EXPECT_EQ(marks(), "-x-");

    // Linked, the ring stays on the node in use through the samples.
    w.harness.connectFully();
    sample(150);
    EXPECT_EQ(std::tuple(w.ringedRows(), tokyo.data()),
              std::tuple(QStringList{"tessaron.node.0"}, w.button("tessaron.node.1")));
}

TEST(NodeList, ASampleShowsAgainOnlyTheRowWhoseFigureChanged) {
    HomeWorld w;
    w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    const auto sample = [&](int osloMilliseconds, int tokyoMilliseconds) {
        w.harness.latencyAnswers = {{w.oslo.server, osloMilliseconds}, {w.tokyo.server, tokyoMilliseconds}};
        w.harness.advance(30s);
    };
    const auto pill = [&](const char* row) {
        return w.button(QStringLiteral("tessaron.node.") + row)->findChild<NodeStatusPill*>();
    };
    sample(150, 150);
    // Marked by hand: a row that is shown again loses the mark.
    pill("0")->setStatus(NodeLinkStatus::paused);
    pill("1")->setStatus(NodeLinkStatus::paused);
    sample(150, 50);
    EXPECT_EQ(std::pair(pill("0")->status(), pill("1")->status()),
              std::pair(std::optional<NodeLinkStatus>(NodeLinkStatus::paused),
                        std::optional<NodeLinkStatus>(NodeLinkStatus::fast)));
    // Anything else shows every row again.
    w.harness.session->setAutoSelect(false);
    EXPECT_NE(pill("0")->status(), std::optional<NodeLinkStatus>(NodeLinkStatus::paused));
}

// A node row's pill eases a new status in over a third of a second as the hero's does, and only while the
// list's motion rule holds.
TEST(NodeList, ARowsPillEasesANewStatusInOnlyWhileMotionIsAllowed) {
    VirtualAnimationTime time;
    HomeWorld w;
    w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    auto* pill = w.button("tessaron.node.1")->findChild<NodeStatusPill*>();
    int tokyo = 50;
    // Reduce motion, low power, whether the change eases.
    const std::tuple<bool, bool, bool> rows[] = {
        {false, false, true},
        {true, false, false},
        {false, true, false},
        {false, false, true},
    };
    for (const auto& [reduceMotion, lowPower, eases] : rows) {
        w.view().setReduceMotion(reduceMotion);
        w.sharedPower.set(lowPower);
        const auto before = pill->status();
        tokyo = tokyo == 150 ? 50 : 150;
        w.harness.latencyAnswers = {{w.oslo.server, 30}, {w.tokyo.server, tokyo}};
        w.harness.advance(30s);
        ASSERT_NE(pill->status(), before);
        const auto& change = pill->change();
        EXPECT_EQ(std::tuple(change.state() == QAbstractAnimation::Running, change.duration()),
                  std::tuple(eases, NodeStatusPill::changeMilliseconds))
            << reduceMotion << lowPower;
        time.pass(400ms);
        EXPECT_EQ(change.state(), QAbstractAnimation::Stopped);
    }
}

TEST(HomeView, SignInPromptAccountLineAndSceneChanges) {
    HomeWorld w;
    w.harness.signIn.signedIn = false;
    w.show();
    const auto shown = [&] {
        return std::pair{!w.hidden("tessaron.signInPrompt"), !w.hidden("tessaron.accountEmail")};
    };
    EXPECT_EQ(shown(), std::pair(true, false));
    const QString signInTitle = w.primary()->text();
    // On screen: only a title a person has seen crossfades.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.view()));
    w.view().repaint();
    w.account.set(true, std::nullopt);
    EXPECT_EQ(shown(), std::pair(false, false));
    // The title crossfades from the old one over the spring.
    auto* fade = w.primary()->findChild<TessaronCrossfade*>();
    ASSERT_NE(w.primary()->text(), signInTitle);
    EXPECT_EQ(std::pair(fade->isVisible(), fade->animation().duration()),
              std::pair(true, springMilliseconds));
    fade->animation().setCurrentTime(springMilliseconds);
    EXPECT_FALSE(fade->isVisible());

    // In virtual time: the account line moves in from its top edge and fades in on a spring, and the column
    // below it follows.
    auto* line = w.find<QLabel>("tessaron.accountEmail");
    auto* spring = line->findChild<QVariantAnimation*>(QStringLiteral("tessaron.reveal"));
    // Each nested layout takes a pass of its own.
    const auto layOut = [] {
        for (int pass = 0; pass < 4; ++pass)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    };
    const auto at = [&](int milliseconds) {
        spring->setCurrentTime(milliseconds);
        layOut();
        const auto* opacity = qobject_cast<QGraphicsOpacityEffect*>(line->graphicsEffect());
        return std::tuple(line->height(), opacity->isEnabled() ? opacity->opacity() : 1.0, w.primary()->y());
    };
    layOut();
    const int buttonTop = w.primary()->y();
    w.account.set(true, QStringLiteral("ada@example.org"));
    EXPECT_EQ(std::pair(shown(), line->text()),
              std::pair(std::pair(false, true), QStringLiteral("ada@example.org")));
    ASSERT_EQ(std::pair(spring->state(), spring->duration()),
              std::pair(QAbstractAnimation::Running, springMilliseconds));
    spring->pause();
    const auto [startHeight, startOpacity, startTop] = at(0);
    const auto [midHeight, midOpacity, midTop] = at(springMilliseconds / 4);
    const auto [endHeight, endOpacity, endTop] = at(springMilliseconds);
    EXPECT_EQ(std::tuple(startHeight, startOpacity, endOpacity), std::tuple(0, 0.0, 1.0));
    EXPECT_TRUE(midHeight > 0 && midHeight < endHeight && endHeight >= line->fontMetrics().height());
    EXPECT_TRUE(midOpacity > 0.5 && midOpacity < 1) << midOpacity;
    EXPECT_TRUE(buttonTop <= startTop && startTop < midTop && midTop < endTop);

    // Without motion the line goes and the title changes at once.
    w.view().setReduceMotion(true);
    w.account.set(false, std::nullopt);
    EXPECT_EQ(std::tuple(shown(), spring->state(), w.primary()->text(), fade->isVisible()),
              std::tuple(std::pair(true, false), QAbstractAnimation::Stopped, signInTitle, false));
    w.view().setReduceMotion(false);

    // Scene changes switch latency probing and never restart the account refresh.
    auto& session = *w.harness.session;
    EXPECT_TRUE(session.sceneIsActive());
    w.view().setScenePhase(ScenePhase::inactive);
    EXPECT_FALSE(session.sceneIsActive());
    w.view().setScenePhase(ScenePhase::active);
    EXPECT_TRUE(session.sceneIsActive());
    EXPECT_EQ(w.account.refreshes, 1);
    // Nor does a restore from minimised; showing the view again after it was hidden is a new appearance.
    w.view().setWindowState(Qt::WindowMinimized);
    w.view().setWindowState(Qt::WindowNoState);
    EXPECT_EQ(w.account.refreshes, 1);
    w.view().hide();
    w.view().show();
    EXPECT_EQ(w.account.refreshes, 2);
}

TEST(HomeView, BannerOffersUseDismissAndTryAgain) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    EXPECT_TRUE(w.hidden("tessaron.errorBanner"));
    session.setLastError(QStringLiteral("That node did not answer."));
    session.setSuggestedNodeID(w.tokyo.id);
    EXPECT_TRUE(w.hidden("tessaron.tryAgain"));
    EXPECT_FALSE(w.hidden("tessaron.useSuggestedNode"));
    EXPECT_EQ(w.button("tessaron.useSuggestedNode")->text(), QStringLiteral("Use Tokyo"));
    w.click("tessaron.dismissError");
    EXPECT_FALSE(session.lastError() || session.suggestedNodeID());

    session.setLastError(TessaronSession::autoDisconnectNotice());
    EXPECT_FALSE(w.hidden("tessaron.errorBanner"));
    EXPECT_FALSE(w.hidden("tessaron.tryAgain"));
    EXPECT_TRUE(w.hidden("tessaron.useSuggestedNode"));
    w.click("tessaron.tryAgain");
    EXPECT_EQ(session.lastError(), std::nullopt);
    EXPECT_EQ(w.harness.activator.calls, 1);

    EXPECT_FALSE(bannerOffersRetry(TessaronSession::autoDisconnectNotice(), Phase::connecting,
                                   TessaronPrimaryIntent::connect));
    EXPECT_FALSE(bannerOffersRetry(TessaronSession::autoDisconnectNotice(), Phase::disconnected,
                                   TessaronPrimaryIntent::signIn));
}

TEST(HomeView, ANewMessageIsBroughtIntoViewAsAnAlert) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    w.show();
    w.view().resize(480, 420);
    QCoreApplication::sendPostedEvents();
    auto* banner = w.find("tessaron.errorBanner");
    auto* bar = w.view().findChild<QScrollArea*>()->verticalScrollBar();
    const auto onScreen = [&] {
        QCoreApplication::sendPostedEvents();
        return w.view().rect().contains(QRect(banner->mapTo(&w.view(), QPoint()), banner->size()));
    };
    EXPECT_EQ(bar->value(), 0);
    // The person is at the window: a start keeps its top until they act.
    QTest::mouseClick(w.find("tessaron.globe"), Qt::LeftButton);
    session.setLastError(QStringLiteral("This network cannot reach the Tessaron server."));
    EXPECT_TRUE(onScreen());
    // A screen reader meets it as an alert that holds the message.
    const auto* reader = QAccessible::queryAccessibleInterface(banner);
    ASSERT_EQ(reader->role(), QAccessible::AlertMessage);
    QStringList read;
    for (int index = 0; index < reader->childCount(); ++index)
        read.append(reader->child(index)->text(QAccessible::Name));
    EXPECT_TRUE(read.contains(QStringLiteral("This network cannot reach the Tessaron server.")));
    // A changed message is brought into view again.
    bar->setValue(0);
    session.setLastError(QStringLiteral("Disconnect before changing connections."));
    EXPECT_TRUE(onScreen());
    // The page stays where a person is moving it.
    bar->setValue(0);
    bar->setSliderDown(true);
    session.setLastError(QStringLiteral("This invitation is no longer available."));
    EXPECT_EQ(std::pair(onScreen(), bar->value()), std::pair(false, 0));
    bar->setSliderDown(false);
}

// A failed connect's message is brought into view below the Connect button that keeps the focus: the focus
// stays on a control in sight, so Return never presses one nobody can see. A button still in sight keeps
// it; otherwise the message's own first action takes it.
TEST(HomeView, BringingAMessageIntoViewLeavesTheFocusInSight) {
    // Window height, whether a node suggestion comes with the message, the control focused afterwards.
    const std::tuple<int, bool, const char*> rows[] = {
        {420, false, "tessaron.connectButton"},   {420, true, "tessaron.connectButton"},
        {340, false, "tessaron.dismissError"},    {300, false, "tessaron.dismissError"},
        {300, true, "tessaron.useSuggestedNode"},
    };
    for (const auto& [height, suggests, focused] : rows) {
        HomeWorld w;
        auto& session = w.startWithRoster({w.oslo, w.tokyo});
        w.account.set(true, QStringLiteral("ada@example.org"));
        w.show();
        w.view().resize(480, height);
        QCoreApplication::sendPostedEvents();
        // The person is at the window: a start keeps its top until they act.
        QTest::mouseClick(w.find("tessaron.globe"), Qt::LeftButton);
        w.primary()->setFocus(Qt::TabFocusReason);
        if (suggests) {
            // A node chosen by hand failed: the session offers another with its message, in one turn.
            session.setLastError(QStringLiteral("That node did not answer."));
            session.setSuggestedNodeID(w.tokyo.id);
        } else {
            w.harness.activator.enqueue(
                TessaronExtensionActivation::failed(QStringLiteral("The Tessaron service is not running.")));
            pressFocusedButtonsOnReturn();
            QTest::keyClick(w.primary(), Qt::Key_Return);
            w.harness.settle();
            ASSERT_EQ(session.lastError(), QStringLiteral("The Tessaron service is not running."));
        }
        QCoreApplication::sendPostedEvents();

        auto* viewport = w.view().findChild<QScrollArea*>()->viewport();
        const auto inSight = [&](const QWidget* widget) {
            return viewport->rect().contains(QRect(widget->mapTo(viewport, QPoint()), widget->size()));
        };
        const QWidget* focus = w.view().focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(std::tuple(focus->objectName().toStdString(), inSight(focus),
                             inSight(w.find("tessaron.errorBanner"))),
                  std::tuple(std::string(focused), true, true))
            << height << " " << suggests << " focus at " << focus->mapTo(viewport, QPoint()).y();
    }
}

// Automatic selection tries node after node when none is reachable: each try clears the message of the one
// before, which the page brought into view below the nodes, out of Connect's sight. The focus a message was
// lent goes back to Connect when the message goes, never to the column where Return does nothing; a message
// that comes while Connect works (its focus waiting on the column) takes the focus for its first action at
// once, since Connect would get it back out of sight. Every step ends on a control in sight.
TEST(HomeView, TheFocusAMessageWasLentGoesBackToConnectAndComesBackInSight) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    w.show();
    w.view().resize(480, 300);
    QCoreApplication::sendPostedEvents();
    // The person is at the window: a start keeps its top until they act.
    QTest::mouseClick(w.find("tessaron.globe"), Qt::LeftButton);
    w.primary()->setFocus(Qt::TabFocusReason);
    pressFocusedButtonsOnReturn();
    const QString unreachable = QStringLiteral("This network cannot reach the Tessaron server.");
    const auto say = [&session](std::optional<QString> message) {
        return [&session, message] {
            session.setLastError(message);
        };
    };
    // What happens, and the control that has the focus once the page has settled.
    const std::pair<std::function<void()>, const char*> steps[] = {
        {say(unreachable), "tessaron.dismissError"},
        {say(std::nullopt), "tessaron.connectButton"},
        {say(unreachable), "tessaron.dismissError"},
        {say(std::nullopt), "tessaron.connectButton"},
        {[&w] {
             // Saving the configuration takes a while: the button works, its focus waits on the column.
             w.harness.tunnels.setLatency(5s);
             QTest::keyClick(w.primary(), Qt::Key_Return);
             w.harness.settle();
         },
         nullptr},
        {say(unreachable), "tessaron.dismissError"},
        {[&w] { w.harness.advance(20s); }, "tessaron.dismissError"},
    };
    auto* viewport = w.view().findChild<QScrollArea*>()->viewport();
    for (int index = 0; const auto& [act, focused] : steps) {
        act();
        QCoreApplication::sendPostedEvents();
        const QWidget* focus = w.view().focusWidget();
        ASSERT_NE(focus, nullptr) << index;
        if (focused) {
            const bool inSight = QRect(viewport->mapToGlobal(QPoint()), viewport->size())
                                     .contains(QRect(focus->mapToGlobal(QPoint()), focus->size()));
            EXPECT_EQ(std::pair(focus->objectName().toStdString(), inSight),
                      std::pair(std::string(focused), true))
                << "step " << index;
        }
        ++index;
    }
    EXPECT_TRUE(w.primary()->isEnabled());
    // Return on the message's action acts: the message goes, and the focus with it back to Connect.
    QTest::keyClick(w.view().focusWidget(), Qt::Key_Return);
    EXPECT_EQ(std::pair(session.lastError(), w.view().focusWidget()),
              std::pair(std::optional<QString>(), static_cast<QWidget*>(w.primary())));
}

TEST(ExtensionCard, MapsApprovalBeforeNotice) {
    using A = ExtensionCardContent::Action;
    using Approval = TessaronExtensionApproval;
    using Notice = TessaronExtensionNotice;
    const std::tuple<std::optional<Approval>, std::optional<Notice>, QList<A>, bool> rows[] = {
        {Approval::waiting, Notice::notInApplications, {A::openSettings, A::cancel}, true},
        {Approval::retry, std::nullopt, {A::cancel}, false},
        {Approval::needsReboot, std::nullopt, {A::dismiss}, false},
        {std::nullopt, Notice::notInApplications, {A::moveToApplications, A::quit}, false},
        {std::nullopt, Notice::dragToApplications, {A::quit}, false},
    };
    for (const auto& [approval, notice, actions, spinner] : rows) {
        const auto content = extensionCardContent(approval, notice);
        ASSERT_TRUE(content);
        EXPECT_EQ(std::pair(content->actions, content->spinner), std::pair(actions, spinner));
    }
    EXPECT_FALSE(extensionCardContent(std::nullopt, std::nullopt));
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
    EXPECT_TRUE(w.hidden("tessaron.extensionCard"));
    w.click("tessaron.connectButton");
    EXPECT_FALSE(w.primary()->showsSpinner());
    EXPECT_FALSE(accessibleTraits(w.primary()).animated);
    EXPECT_FALSE(w.hidden("tessaron.extensionCard"));
    auto* spinner = w.find("tessaron.extensionCard.spinner");
    EXPECT_TRUE(spinner->isVisible() && QAccessible::queryAccessibleInterface(spinner)->state().invisible);

    const int opened = system.settingsOpened();
    w.click("tessaron.openExtensionSettings");
    EXPECT_EQ(system.settingsOpened(), opened + 1);
    w.click("tessaron.cancelExtensionApproval");
    EXPECT_TRUE(w.hidden("tessaron.extensionCard"));
    EXPECT_EQ(w.harness.logLines().count(QStringLiteral("extension: cancelled")), 1);

    // Dismissing once the attempt has ended only clears the card.
    system.enqueue({SystemExtensionRequestResult::willCompleteAfterReboot});
    w.click("tessaron.connectButton");
    const auto buttons = w.find("tessaron.extensionCard")->findChildren<QAbstractButton*>();
    const auto dismiss = std::ranges::find(buttons, QStringLiteral("Dismiss"), &QAbstractButton::text);
    ASSERT_NE(dismiss, buttons.end());
    (*dismiss)->click();
    EXPECT_TRUE(w.hidden("tessaron.extensionCard"));
    EXPECT_EQ(w.harness.logLines().count(QStringLiteral("extension: cancelled")), 1);

    // A notice to drag the application over: no move offer here.
    session.revealAppInFinder();
    EXPECT_FALSE(w.hidden("tessaron.extensionCard"));
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.moveToApplications")), nullptr);
    session.dismissExtensionPrompt();
    EXPECT_TRUE(w.hidden("tessaron.extensionCard"));
}

TEST(HomeScreenshots, EachVisualState) {
    for (const auto& [name, phase] :
         {std::pair{"home-idle", Phase::disconnected}, std::pair{"home-connecting", Phase::connecting},
          std::pair{"home-checking", Phase::checking}, std::pair{"home-online", Phase::connected},
          std::pair{"home-failed", Phase::checkFailed}}) {
        HomeWorld w;
        // With a second node a failed check would move the link there.
        auto& session =
            phase == Phase::checkFailed ? w.startWithRoster({w.tokyo}) : w.startWithRoster({w.tokyo, w.oslo});
        w.account.set(true, QStringLiteral("ada@example.org"));
        if (phase == Phase::checkFailed)
            w.harness.reachability.answer(FakeReachability::failure());
        if (phase != Phase::disconnected) {
            track(session.connect());
            w.harness.settle();
        }
        if (phase == Phase::checking) {
            // The tunnel reports that the link is blocked.
            const QJsonObject report{{"phase", "blocked"}, {"since", 1767225600.5}, {"attempts", 1}};
            w.harness.tunnel().setReply("phase", QJsonDocument(report).toJson(QJsonDocument::Compact));
        }
        if (phase != Phase::connecting && phase != Phase::disconnected) {
            w.harness.tunnel().setStatus(VpnStatus::connected);
            w.harness.advance(3s);
        }
        w.view().setReduceMotion(true);
        w.show();
        EXPECT_EQ(session.phase(), phase) << name;
        // The window's narrowest and its default width.
        for (const int width : {360, 480})
            capture(w.view(), {width, 760}, QStringLiteral("%1-%2").arg(QLatin1String(name)).arg(width));
    }
}

TEST(HomeView, LongNamesStayInsideTheNarrowestWindowCutWithAnEllipsis) {
    HomeWorld w;
    // A profile name may be 128 characters; an address may have no place to break.
    const QString longName = QStringLiteral("Amsterdam Backup Node ").repeated(6).left(128);
    const QString address = QStringLiteral("a").repeated(60) + QStringLiteral("@example.org");
    auto& session = w.startWithRoster({sampleProfile(longName, QStringLiteral("ams.example.net")), w.tokyo});
    w.account.set(true, address);
    w.show();
    w.view().resize(360, 700);
    session.setLastError(QStringLiteral("That node did not answer."));
    session.setSuggestedNodeID(session.summaries().first().id);
    QCoreApplication::sendPostedEvents();
    // Every control a person needs lies within the window's width (the page scrolls only up and down).
    auto controls = w.view().findChildren<QWidget*>(QStringLiteral("tessaron.node.checkmark"));
    for (auto* pill : w.view().findChildren<NodeStatusPill*>())
        controls.append(pill);
    for (const char* name :
         {"tessaron.node.auto", "tessaron.node.0", "tessaron.node.1", "tessaron.connectButton",
          "tessaron.accountEmail", "tessaron.useSuggestedNode", "tessaron.dismissError"})
        controls.append(w.find(name));
    for (const auto* widget : controls) {
        const int left = widget->mapTo(&w.view(), QPoint()).x();
        EXPECT_TRUE(left >= 0 && left + widget->width() <= w.view().width())
            << widget->objectName().toStdString();
    }

    // The names are cut with an ellipsis; the tooltip and the screen reader have them whole.
    auto* name = w.button("tessaron.node.0")->findChild<TessaronFittedLabel*>("tessaron.node.name");
    auto* subtitle = w.find<TessaronFittedLabel>("tessaron.node.auto.subtitle");
    auto* email = w.find<TessaronFittedLabel>("tessaron.accountEmail");
    for (auto* label : {name, subtitle, email}) {
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->fitted().lines.last().endsWith(QChar(0x2026)));
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(label, &help);
        EXPECT_EQ(QToolTip::text(), label->text());
    }
    EXPECT_EQ(email->fitted().lines.size(), 2);
    EXPECT_EQ(w.button("tessaron.node.auto")->accessibleName(), QStringLiteral("Auto, Using ") + longName);
    EXPECT_EQ(w.button("tessaron.useSuggestedNode")->accessibleName(), QStringLiteral("Use ") + longName);
    // A short name is not cut.
    EXPECT_FALSE(w.button("tessaron.node.1")->findChild<TessaronFittedLabel*>("tessaron.node.name")->isCut());
}

// Nodes an invitation brings later take their place in the list, and Tab goes down it as the eye does.
TEST(NodeList, TabFollowsTheRowsOnScreenAfterNodesArrive) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    TessaronRosterResponse roster;
    roster.profiles = {sampleProfile(QStringLiteral("Amsterdam")), w.oslo,
                       sampleProfile(QStringLiteral("Bergen")), w.tokyo};
    w.harness.pairing.setRoster(w.oslo.id, roster);
    track(session.pullRoster(w.oslo.id));
    w.harness.settle();
    w.view().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.view()));
    w.button("tessaron.node.auto")->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int row = 0; row < 4; ++row) {
        QTest::keyClick(w.view().focusWidget(), Qt::Key_Tab);
        visited.append(w.view().focusWidget()->objectName());
    }
    EXPECT_EQ(visited,
              QStringList({"tessaron.node.0", "tessaron.node.1", "tessaron.node.2", "tessaron.node.3"}));
    // Round the whole window, Tab meets named stops only.
    QStringList unnamed;
    for (int step = 0; step < 16; ++step) {
        QTest::keyClick(w.view().focusWidget(), Qt::Key_Tab);
        if (QAccessible::queryAccessibleInterface(w.view().focusWidget())->text(QAccessible::Name).isEmpty())
            unnamed.append(QString::fromLatin1(w.view().focusWidget()->metaObject()->className()));
    }
    EXPECT_EQ(unnamed, QStringList());
}

// Counts the resizes a widget receives: each is a layout pass that reached it.
class ResizeCount final : public QObject {
public:
    explicit ResizeCount(QWidget* watched) { watched->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Resize ? 1 : 0;
        return false;
    }
};

// Many nodes arriving in a shown window are laid out once, not once a row (130 rows took 130 ms); all of
// them show, in order.
TEST(NodeList, NodesArrivingInAShownWindowAreLaidOutOnce) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    QList<TessaronProfile> nodes{w.oslo, w.tokyo};
    for (int i = 0; i < 40; ++i)
        nodes.append(sampleProfile(QStringLiteral("Node %1").arg(i), QStringLiteral("node-%1.test").arg(i)));
    const ResizeCount boxResizes(w.button("tessaron.node.0")->parentWidget());
    TessaronRosterResponse roster;
    roster.profiles = nodes;
    w.harness.pairing.setRoster(w.oslo.id, roster);
    track(session.pullRoster(w.oslo.id));
    w.harness.settle();
    QCoreApplication::sendPostedEvents();
    EXPECT_LE(boxResizes.count, 2);
    EXPECT_EQ(w.rowsFromTop().size(), nodes.size());
    EXPECT_FALSE(w.hidden(QStringLiteral("tessaron.node.41")));
}

TEST(NodeList, OneNodeHasNoAutoRowAndDuplicatesShowOnce) {
    HomeWorld w;
    auto twin = TessaronProfile::fromJSON(w.oslo.toJSON());
    twin.id = QUuid::createUuid();
    auto& session = w.startWithRoster({w.oslo, twin});
    w.show();
    EXPECT_EQ(session.summaries().size(), 2);
    EXPECT_TRUE(w.hidden("tessaron.node.auto"));
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.node.1")), nullptr);
    EXPECT_EQ(nodeRows(session).first().id, *session.selectedID());

    // A renamed node moves to its place among the rows; a dropped node's row goes.
    w.pullRoster({w.oslo, w.tokyo});
    EXPECT_EQ(w.rowsFromTop(), QStringList({"Oslo", "Tokyo"}));
    auto renamed = w.tokyo;
    renamed.name = QStringLiteral("Bergen");
    w.pullRoster({w.oslo, renamed});
    EXPECT_EQ(w.rowsFromTop(), QStringList({"Bergen", "Oslo"}));
    w.pullRoster({w.oslo});
    EXPECT_EQ(w.rowsFromTop(), QStringList({"Oslo"}));
}

TEST(NodeRowText, InUseAndHttpFallback) {
    const auto name = std::optional(QStringLiteral("Oslo"));
    const auto norway = std::optional(QStringLiteral("NO"));
    EXPECT_EQ(autoRowSubtitle(true, name, norway, TessaronTransport::xhttp, true),
              QString::fromUtf8("Using \U0001F1F3\U0001F1F4 Oslo \u00B7 HTTP fallback"));
    EXPECT_EQ(autoRowSubtitle(true, name, norway, TessaronTransport::xhttp, false),
              QString::fromUtf8("Using Oslo \u00B7 HTTP fallback"));
    EXPECT_EQ(autoRowSubtitle(true, std::nullopt, norway, TessaronTransport::tcp, true),
              "Picks the fastest node");
}

} // namespace
} // namespace tessaron::testing
