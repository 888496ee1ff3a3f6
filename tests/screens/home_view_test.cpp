#include "screens/accessible_traits.hpp"
#include "screens/button_styles.hpp"
#include "screens/connection_hero.hpp"
#include "screens/error_banner.hpp"
#include "screens/extension_status_card.hpp"
#include "screens/flow_ring.hpp"
#include "screens/globe/dot_layer.hpp"
#include "screens/globe/globe_geometry.hpp"
#include "screens/globe/globe_renderer.hpp"
#include "screens/globe/globe_state.hpp"
#include "screens/globe/globe_view.hpp"
#include "screens/globe/land_dots.hpp"
#include "screens/hero_geography.hpp"
#include "screens/home_fixture.hpp"
#include "screens/menu_bar_content.hpp"
#include "screens/move_to_applications.hpp"
#include "screens/node_list.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/screen_capture.hpp"
#include "screens/string_table.hpp"
#include "screens/tessaron_theme.hpp"
#include "screens/visual_state.hpp"
#include "session/system_extension_activator.hpp"
#include "support/fake_system_extension_requests.hpp"
#include "support/fake_workspace.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>

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
    ASSERT_TRUE(session.linkInFlight());
    w.click("tessaron.connectButton");
    EXPECT_EQ(session.lastError(), QStringLiteral("Wait for the current change to finish."));
    EXPECT_EQ(session.activeSheet(), std::nullopt);
    EXPECT_EQ(w.find<QLabel>("tessaron.errorMessage")->text(), *session.lastError());
    w.harness.advance(6s);
}

TEST(HomeView, AutoPicksANodeTheLinkGoesUpAndDownThenAManualPick) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    w.show();
    auto* primary = w.primary();
    // Phase, enabled, spinning, announced as animated, hero announced as animated.
    const auto state = [&] {
        return std::tuple{session.phase(), primary->isEnabled(), primary->showsSpinner(),
                          accessibleTraits(primary).animated,
                          accessibleTraits(w.find("tessaron.hero")).animated};
    };
    const auto rings = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w.view().findChildren<TessaronFlowRing*>(QStringLiteral("tessaron.node.flowRing"));
    };
    const auto timersRunning = [&] {
        const auto timers = w.view().findChildren<QTimer*>();
        return std::ranges::any_of(timers, [](const QTimer* timer) { return timer->isActive(); });
    };
    const auto selected = [&](const char* row) {
        return accessibleTraits(w.button(QStringLiteral("tessaron.node.") + row)).selected;
    };
    const auto subtitle = [&] {
        return w.find<QLabel>("tessaron.node.auto.subtitle")->text();
    };
    const auto name = [&](const char* row) {
        return w.button(QStringLiteral("tessaron.node.") + row)
            ->findChild<QLabel*>("tessaron.node.name")
            ->text();
    };
    EXPECT_EQ(primary->text(), QStringLiteral("Connect"));
    EXPECT_EQ(primary->accessibleDescription(), primaryHint(TessaronPrimaryIntent::connect));
    EXPECT_TRUE(w.hidden("tessaron.nodeList.footer"));
    // Auto picks Oslo; identifiers follow the position and names carry flags.
    ASSERT_TRUE(session.autoSelect());
    EXPECT_EQ(std::tuple(selected("auto"), selected("0"), selected("1")), std::tuple(true, false, false));
    EXPECT_EQ(subtitle(), QString::fromUtf8("Using \U0001F1F3\U0001F1F4 Oslo"));
    EXPECT_EQ(w.button("tessaron.node.auto")->accessibleName(), QStringLiteral("Auto, Using Oslo"));
    EXPECT_TRUE(w.button("tessaron.node.0")->accessibleName().startsWith(QStringLiteral("Oslo, in use, ")));
    EXPECT_EQ((QStringList{name("0"), name("1")}),
              (QStringList{QString::fromUtf8("\U0001F1F3\U0001F1F4 Oslo"),
                           QString::fromUtf8("\U0001F1EF\U0001F1F5 Tokyo")}));

    w.click("tessaron.connectButton");
    EXPECT_EQ(w.harness.activator.calls, 1);
    EXPECT_EQ(state(), std::tuple(Phase::connecting, true, true, true, true));
    // The rows lock while the link is on its way; the ring waits for the link.
    EXPECT_FALSE(w.hidden("tessaron.nodeList.footer"));
    EXPECT_FALSE(w.button("tessaron.node.0")->isEnabled());
    EXPECT_TRUE(rings().isEmpty());

    w.harness.tunnel().setStatus(VpnStatus::connected);
    w.harness.settle();
    EXPECT_EQ(state(), std::tuple(Phase::connected, true, false, false, false));
    ASSERT_EQ(rings().size(), 1);
    EXPECT_EQ(rings().first()->geometry().center(), w.button("tessaron.node.0")->geometry().center());
    const auto rows = nodeRows(session);
    EXPECT_EQ(std::pair(nodeRowOpacity(rows[0]), nodeRowOpacity(rows[1])), std::pair(1.0, 0.45));
    // The Auto row still answers while the link is up.
    EXPECT_TRUE(w.button("tessaron.node.auto")->isEnabled());

    // No timer runs while the view is hidden or still.
    EXPECT_TRUE(timersRunning());
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
    EXPECT_EQ(state(), std::tuple(Phase::disconnecting, false, true, true, false));
    w.harness.advance(1s);
    EXPECT_EQ(state(), std::tuple(Phase::disconnected, true, false, false, false));

    // With the link down a manual row switches Auto off.
    w.click("tessaron.node.1");
    EXPECT_FALSE(session.autoSelect());
    EXPECT_EQ(session.selectedID(), w.tokyo.id);
    EXPECT_EQ(std::tuple(selected("auto"), selected("0"), selected("1")), std::tuple(false, false, true));
    EXPECT_EQ(subtitle(), QStringLiteral("Picks the fastest node"));
}

TEST(HomeView, SignInPromptAccountLineAndSceneChanges) {
    HomeWorld w;
    w.harness.signIn.signedIn = false;
    w.show();
    const auto shown = [&] {
        return std::pair{!w.hidden("tessaron.signInPrompt"), !w.hidden("tessaron.accountEmail")};
    };
    EXPECT_EQ(shown(), std::pair(true, false));
    w.account.set(true, std::nullopt);
    EXPECT_EQ(shown(), std::pair(false, false));
    w.account.set(true, QStringLiteral("ada@example.org"));
    EXPECT_EQ(shown(), std::pair(false, true));
    EXPECT_EQ(w.find<QLabel>("tessaron.accountEmail")->text(), QStringLiteral("ada@example.org"));

    // Scene changes switch latency probing and never restart the account refresh.
    auto& session = *w.harness.session;
    EXPECT_TRUE(session.sceneIsActive());
    w.view().setScenePhase(ScenePhase::inactive);
    EXPECT_FALSE(session.sceneIsActive());
    w.view().setScenePhase(ScenePhase::active);
    EXPECT_TRUE(session.sceneIsActive());
    EXPECT_EQ(w.account.refreshes, 1);
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
    ASSERT_EQ(session.extensionApproval(), TessaronExtensionApproval::waiting);
    EXPECT_FALSE(w.primary()->showsSpinner());
    EXPECT_FALSE(accessibleTraits(w.primary()).animated);
    EXPECT_FALSE(w.hidden("tessaron.extensionCard"));

    const int opened = system.settingsOpened();
    w.click("tessaron.openExtensionSettings");
    EXPECT_EQ(system.settingsOpened(), opened + 1);
    w.click("tessaron.cancelExtensionApproval");
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
        capture(w.view(), {480, 760}, QString::fromLatin1(name));
    }
}

TEST(NodeChoiceMark, AutoRowAndNodeRows) {
    const QUuid a = QUuid::createUuid();
    using M = NodeChoiceMark;
    // The node rows' marks are driven through the view below.
    const std::tuple<bool, std::optional<QUuid>, std::optional<QUuid>, M> rows[] = {
        {true, a, std::nullopt, M::chosen},
        {false, a, std::nullopt, M::notChosen},
        {false, std::nullopt, a, M::notChosen},
        {true, std::nullopt, a, M::notChosen},
    };
    for (const auto& [autoSelect, selected, node, mark] : rows)
        EXPECT_EQ(nodeChoiceMark(autoSelect, selected, selected, node), mark);
}

TEST(NodeList, OneNodeHasNoAutoRowAndDuplicatesShowOnce) {
    HomeWorld w;
    auto twin = TessaronProfile::fromJSON(w.oslo.toJSON());
    twin.id = QUuid::createUuid();
    auto& session = w.startWithRoster({w.oslo, twin});
    w.show();
    EXPECT_EQ(session.summaries().size(), 2);
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.node.auto")), nullptr);
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.node.1")), nullptr);
    EXPECT_EQ(nodeRows(session).first().id, *session.selectedID());
}

TEST(NodeRowText, InUseAndHttpFallback) {
    TessaronNodeRowInputs row{{}, QStringLiteral("Oslo"), NodeLinkStatus::busy, false, false, true, false,
                              {}};
    EXPECT_EQ(nodeRowAccessibleLabel(row), QStringLiteral("Oslo, in use, ") + label(NodeLinkStatus::busy));
    row.inUse = false;
    EXPECT_EQ(nodeRowAccessibleLabel(row), QStringLiteral("Oslo, ") + label(NodeLinkStatus::busy));

    const auto name = std::optional(QStringLiteral("Oslo"));
    const auto norway = std::optional(QStringLiteral("NO"));
    EXPECT_EQ(autoRowSubtitle(true, name, norway, TessaronTransport::xhttp, true),
              QString::fromUtf8("Using \U0001F1F3\U0001F1F4 Oslo \u00B7 HTTP fallback"));
    EXPECT_EQ(autoRowSubtitle(true, name, norway, TessaronTransport::xhttp, false),
              QString::fromUtf8("Using Oslo \u00B7 HTTP fallback"));
    EXPECT_EQ(autoRowSubtitle(true, name, std::nullopt, TessaronTransport::tcp, true), "Using Oslo");
    EXPECT_EQ(autoRowSubtitle(true, std::nullopt, norway, TessaronTransport::tcp, true),
              "Picks the fastest node");
}

TEST(MenuBarTexts, EachPhaseHasItsTitleColourAndTooltip) {
    using enum TessaronLinkPhase;
    const std::tuple<TessaronLinkPhase, const char*, QColor> rows[] = {
        {disconnected, "Disconnected", TessaronTheme::textSecondary()},
        {connecting, "Connecting", TessaronTheme::warning()},
        {checking, "Checking", TessaronTheme::warning()},
        {connected, "Connected", TessaronTheme::success()},
        {checkFailed, "Connection check failed", TessaronTheme::danger()},
        {disconnecting, "Disconnecting", TessaronTheme::warning()},
    };
    for (const auto& [phase, title, colour] : rows) {
        SCOPED_TRACE(title);
        EXPECT_EQ(std::pair(phaseTitle(phase), phaseColor(phase)), std::pair(QString(title), colour));
        EXPECT_EQ(trayToolTip(phase, QStringLiteral("Oslo")),
                  phase == connected ? QStringLiteral("Connected \u2013 Oslo") : QString(title));
        EXPECT_EQ(trayToolTip(phase, std::nullopt), title);
    }
    for (const auto status : allNodeLinkStatuses())
        EXPECT_EQ(nodeLinkStatusFromRawValue(rawValue(status)), status);
    for (const char* other : {"Fast", "", "fast "})
        EXPECT_EQ(nodeLinkStatusFromRawValue(QString::fromLatin1(other)), std::nullopt) << other;
}

TEST(MenuBarTexts, PrimaryActionAndWhenItIsEnabled) {
    using enum TessaronPrimaryIntent;
    // Intent, primary action enabled, connect running: the sheet it opens and whether it is enabled. A
    // running connect and the privacy sheet are driven through the panel below.
    const std::tuple<TessaronPrimaryIntent, bool, bool, std::optional<TessaronSheet>, bool> rows[] = {
        {connect, false, false, std::nullopt, false},
        {stop, true, true, std::nullopt, true},
        {stop, false, false, std::nullopt, false},
        {importInvitation, false, false, TessaronSheet::importInvitation, true},
        {signIn, false, false, TessaronSheet::signIn, true},
    };
    for (const auto& [intent, primaryEnabled, connectRunning, sheet, enabled] : rows) {
        const auto primary = menuBarPrimary(intent, primaryEnabled, connectRunning);
        EXPECT_EQ(std::pair(primary.sheet, primary.enabled), std::pair(sheet, enabled))
            << static_cast<int>(intent) << primaryEnabled << connectRunning;
    }
}

// The panel over a real session with one saved, selected connection.
TEST(MenuBarPanel, ConnectStartsOnceAndCheckAgainRunsANewCheckAfterAFailedOne) {
    HomeWorld world;
    auto& harness = world.harness;
    auto& session = harness.startSelected({world.oslo});
    MenuBarContentView panel(session, world.sharedPower);
    panel.show();
    harness.settle();
    auto* primary = panel.findChild<QAbstractButton*>("tessaron.menuBar.primary");
    auto* checkAgain = panel.findChild<QAbstractButton*>("tessaron.menuBar.checkAgain");
    EXPECT_FALSE(checkAgain->isVisibleTo(&panel));
    harness.activator.holdNext();
    ASSERT_TRUE(primary->isEnabled());
    primary->click();
    harness.settle();
    EXPECT_EQ(session.phase(), Phase::disconnected);
    EXPECT_FALSE(primary->isEnabled()) << "the first connect is still starting";
    primary->click();
    harness.activator.release(TessaronExtensionActivation::Kind::activated);
    harness.settle();
    EXPECT_EQ(harness.activator.calls, 1);
    ASSERT_EQ(session.phase(), Phase::connecting);

    harness.reachability.answer(FakeReachability::failure());
    harness.tunnel().setStatus(VpnStatus::connected);
    harness.advance(30s);
    ASSERT_EQ(session.phase(), Phase::checkFailed);
    EXPECT_EQ(panel.findChild<QLabel*>("tessaron.menuBar.title")->accessibleName(),
              "Connection check failed");
    EXPECT_TRUE(checkAgain->isVisibleTo(&panel));
    capture(panel, {MenuBarContentView::panelWidth, panel.sizeHint().height()}, "menu-bar-panel");
    harness.reachability.answer(FakeReachability::success());
    checkAgain->click();
    harness.advance(1s);
    EXPECT_EQ(session.phase(), Phase::connected);
    EXPECT_FALSE(checkAgain->isVisibleTo(&panel));
}

TEST(MenuBarPanel, SheetIntentsSetTheSheetBeforeTheMainWindowIsAskedFor) {
    HomeWorld world;
    auto& session = world.harness.start();
    MenuBarContentView panel(session, world.sharedPower);
    std::optional<TessaronSheet> sheetWhenAsked;
    QObject::connect(&panel, &MenuBarContentView::openMainWindowRequested, &panel,
                     [&] { sheetWhenAsked = session.activeSheet(); });
    panel.findChild<QAbstractButton*>("tessaron.menuBar.primary")->click();
    EXPECT_EQ(sheetWhenAsked, TessaronSheet::privacy);
}

// Folders by path, each with the version of the program it holds.
class FakeMoveFileSystem final : public TessaronMoveFileSystem {
public:
    bool fileExists(const QString& path) const override { return items.contains(path); }
    bool isWritableFile(const QString& path) const override { return !readOnly.contains(path); }
    QString canonicalPath(const QString& path) const override {
        const QString resolved = aliases.value(path, path);
        return items.contains(resolved) ? resolved : QString();
    }
    bool copyRecursively(const QString& source, const QString& destination) override {
        if (failCopy || !items.contains(source))
            return false;
        items.insert(destination, items.value(source));
        return true;
    }
    bool rename(const QString& from, const QString& to) override {
        if (failRenameTo.remove(to) || !items.contains(from))
            return false;
        items.insert(to, items.take(from));
        return true;
    }
    bool removeRecursively(const QString& path) override {
        items.remove(path);
        return true;
    }

    QHash<QString, QString> items;
    QHash<QString, QString> aliases;
    QSet<QString> readOnly;
    // Each path here refuses the next rename onto it, once.
    QSet<QString> failRenameTo;
    bool failCopy = false;
};

const QString applications = QStringLiteral("/opt/apps");
const QString installed = QStringLiteral("/opt/apps/Tessaron.app");
const QString downloaded = QStringLiteral("/home/ada/Downloads/Tessaron.app");

TEST(MoveDecision, WritableDestinationsAreCopiedOthersRevealed) {
    using A = TessaronMoveDecision::Action;
    struct Row {
        bool exists, writable;
        A action;
        bool replaces;
    };
    for (const auto& row :
         {Row{false, true, A::copyAndRelaunch, false}, Row{false, false, A::revealAndInstruct, false},
          Row{true, true, A::copyAndRelaunch, true}, Row{true, false, A::revealAndInstruct, false}}) {
        FakeMoveFileSystem files;
        if (row.exists)
            files.items.insert(installed, QStringLiteral("old"));
        if (!row.writable)
            files.readOnly = {applications, installed};
        const auto decision = TessaronMoveDecision::evaluate(downloaded, applications, files);
        EXPECT_EQ(decision.action, row.action) << row.exists << row.writable;
        EXPECT_EQ(decision.replacesExisting, row.replaces) << row.exists << row.writable;
        EXPECT_EQ(decision.destinationPath, installed);
        EXPECT_FALSE(decision.translocated);
    }
    FakeMoveFileSystem files;
    EXPECT_TRUE(TessaronMoveDecision::evaluate(
                    QStringLiteral("/private/var/AppTranslocation/X/d/Tessaron.app"), applications, files)
                    .translocated);
}

// The success path is walked on the real file system below.
TEST(InstallByCopy, SwapsInOnlyACompleteCopyAndRefusesTheDestinationAsSource) {
    FakeMoveFileSystem files;
    const QString link = QStringLiteral("/home/ada/link-to-apps/Tessaron.app");
    files.items = {{downloaded, QStringLiteral("new")}, {installed, QStringLiteral("old")}};
    files.aliases.insert(link, installed);
    EXPECT_FALSE(installByCopy(files, installed, installed, true));
    EXPECT_FALSE(installByCopy(files, link, installed, true));
    files.failCopy = true;
    EXPECT_FALSE(installByCopy(files, downloaded, installed, true));
    files.failCopy = false;
    files.failRenameTo.insert(installed);
    EXPECT_FALSE(installByCopy(files, downloaded, installed, true));
    EXPECT_EQ(files.items.value(installed), QStringLiteral("old")) << "failures leave the installed copy";
    EXPECT_EQ(files.items.size(), 2) << "nothing left over beside it";
}

TEST(LocalMoveFileSystem, CopiesFoldersWithTheirLinksAndSwapsThemIn) {
    QTemporaryDir root;
    const QString source = root.filePath("Downloads/Tessaron.app");
    const QString destination = root.filePath("apps/Tessaron.app");
    QDir().mkpath(source + "/lib");
    QDir().mkpath(destination);
    QFile program(source + "/tessaron");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly) && program.write("new") == 3);
    program.close();
    ASSERT_TRUE(QFile::link("../tessaron", source + "/lib/current"));
    ASSERT_TRUE(QFile(destination + "/stale").open(QIODevice::WriteOnly));

    LocalMoveFileSystem files;
    ASSERT_TRUE(installByCopy(files, source, destination, true));
    EXPECT_TRUE(QFileInfo(destination + "/lib/current").isSymLink());
    EXPECT_EQ(QFileInfo(destination + "/lib/current").symLinkTarget(), destination + "/tessaron");
    EXPECT_FALSE(QFileInfo::exists(destination + "/stale"));
    EXPECT_EQ(QDir(root.filePath("apps")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tessaron.app"});
}

TEST(ApplicationMover, ASuccessfulCopyStartsItAndQuitsFailuresRevealTheRunningCopy) {
    FakeMoveFileSystem files;
    files.items.insert(downloaded, QStringLiteral("new"));
    FakeWorkspace workspace;
    TessaronApplicationMover mover{files, workspace, applications, QStringLiteral("tessaron")};
    int followUps = 0;
    const auto move = [&] {
        QSignalSpy finished(&mover, &TessaronApplicationMover::finished);
        mover.moveOrReveal(downloaded, [&] { ++followUps; });
        EXPECT_TRUE(mover.moveInProgress());
        // A second click while the copy runs does nothing.
        mover.moveOrReveal(downloaded, [&] { ++followUps; });
        EXPECT_TRUE(finished.wait(5000));
        return std::pair(finished.value(0).value(0).toBool(), mover.moveInProgress());
    };
    files.failCopy = true;
    EXPECT_EQ(move(), std::pair(false, false));
    EXPECT_EQ(workspace.revealed, QStringList{downloaded});
    EXPECT_EQ(followUps, 1);

    files.failCopy = false;
    workspace.launchSucceeds = false;
    EXPECT_EQ(move(), std::pair(true, false));
    EXPECT_EQ(std::pair(workspace.quits, followUps), std::pair(0, 2));

    workspace.launchSucceeds = true;
    EXPECT_TRUE(move().first);
    EXPECT_EQ(workspace.launched.last(), installed + QStringLiteral("/tessaron"));
    EXPECT_EQ(std::pair(workspace.quits, followUps), std::pair(1, 2));
}

using namespace TessaronGlobeGeometry;
using V = TessaronVisualState;

const TessaronGeoPoint berlin{52.5, 13.4, QStringLiteral("Berlin"), QStringLiteral("DE")};
const TessaronGeoPoint tokyo{35.7, 139.7, QStringLiteral("Tokyo"), QStringLiteral("JP")};
const QString de = QString::fromUtf8("\U0001F1E9\U0001F1EA");
const QString jp = QString::fromUtf8("\U0001F1EF\U0001F1F5");

TEST(VisualState, FollowsTheLinkPhaseRoundTripsExactlyAndNamesEachState) {
    using enum TessaronLinkPhase;
    const std::pair<TessaronLinkPhase, V> table[] = {
        {disconnected, V::idle}, {connecting, V::connecting}, {checking, V::checking},
        {connected, V::online},  {checkFailed, V::failed},    {disconnecting, V::idle},
    };
    for (const auto& [phase, state] : table)
        EXPECT_EQ(visualState(phase), state) << static_cast<int>(phase);
    for (const auto state : allVisualStates())
        EXPECT_EQ(visualState(rawValue(state)), state);
    for (const char* raw : {"Online", "ONLINE", " online", "online ", "", "disconnected"})
        EXPECT_EQ(visualState(QString::fromLatin1(raw)), std::nullopt) << raw;

    // Failed shares the Connect button but keeps its own status.
    // Status title, button title, tint, busy.
    const std::tuple<V, QString, QString, QColor, bool> rows[] = {
        {V::idle, "Not connected", "Connect", TessaronTheme::textSecondary(), false},
        {V::connecting, "Connecting", "Cancel", TessaronTheme::textPrimary(), true},
        {V::checking, "Checking", "Cancel", TessaronTheme::warning(), true},
        {V::online, "Online", "Disconnect", TessaronTheme::success(), false},
        {V::failed, "Failed", "Connect", TessaronTheme::danger(), false},
    };
    for (const auto& row : rows) {
        const V state = std::get<0>(row);
        EXPECT_EQ(
            std::tuple(state, statusTitle(state), primaryButtonTitle(state), tint(state), isBusy(state)),
            row);
        EXPECT_TRUE(accessibilitySummary(state).startsWith(statusTitle(state)));
    }
    EXPECT_EQ(primaryButtonHint(V::failed), primaryButtonHint(V::idle));
    EXPECT_NE(primaryButtonHint(V::connecting), primaryButtonHint(V::checking));
}

TEST(NodeStatusLabels, ComeFromTheStringTableNotTheKeys) {
    ASSERT_TRUE(installStringTable(*qApp));
    const std::pair<NodeLinkStatus, const char*> rows[] = {
        {NodeLinkStatus::fast, "Fast"},         {NodeLinkStatus::online, "Online"},
        {NodeLinkStatus::offline, "Offline"},   {NodeLinkStatus::busy, "Busy"},
        {NodeLinkStatus::checking, "Checking"}, {NodeLinkStatus::paused, "Paused"},
    };
    for (const auto& [status, text] : rows)
        EXPECT_EQ(label(status), QString::fromLatin1(text));
    EXPECT_EQ(dotColor(NodeLinkStatus::online), TessaronTheme::textSecondary());
    EXPECT_NE(dotColor(NodeLinkStatus::fast), dotColor(NodeLinkStatus::online));
}

TEST(HeroRules, GlobeAnimationAndPrimaryTitle) {
    // Animates (the view's own), reduce motion (override), reduce motion (system): animates.
    const std::tuple<std::optional<bool>, std::optional<bool>, bool, bool> rows[] = {
        {std::nullopt, std::nullopt, false, true}, {std::nullopt, std::nullopt, true, false},
        {std::nullopt, true, false, false},        {std::nullopt, false, true, false},
        {false, std::nullopt, false, false},       {true, true, true, true},
    };
    for (const auto& [animates, reduceOverride, system, expected] : rows)
        EXPECT_EQ(heroGlobeAnimates(animates, reduceOverride, system), expected);

    EXPECT_EQ(heroPrimaryTitle(V::online, QStringLiteral(" \n\t")), QStringLiteral("Disconnect"));
    EXPECT_EQ(heroPrimaryHint(V::online, QStringLiteral(" \n\t")), primaryButtonHint(V::online));
    EXPECT_EQ(heroPrimaryTitle(V::online, QStringLiteral("  Stop now \n")), QStringLiteral("Stop now"));
    EXPECT_EQ(heroPrimaryHint(V::online, QStringLiteral("  Stop now \n")), QString());
}

TEST(ConnectionHeroView, ShowsPillOnlyWithAStatusAndNoButtonWithoutAnAction) {
    ConnectionHero hero;
    hero.setAnimatesOverride(false);
    testing::render(hero, {480, 400});
    auto* pill = hero.findChild<NodeStatusPill*>(QStringLiteral("tessaron.nodeStatusPill"));
    auto* button = hero.findChild<QWidget*>(QStringLiteral("tessaron.heroPrimaryButton"));
    EXPECT_EQ(std::pair(pill->isHidden(), button->isHidden()), std::pair(true, true));
    hero.setNodeStatus(NodeLinkStatus::fast);
    hero.setPrimaryAction([] {});
    testing::render(hero, {480, 400});
    EXPECT_EQ(std::pair(pill->isHidden(), button->isHidden()), std::pair(false, false));
    EXPECT_EQ(pill->accessibleName(), label(NodeLinkStatus::fast));
}

TEST(HeroGeography, UserAndExitNeedTheirCoordinatesAndANameOrRegion) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto city = [](const char* country, std::optional<QString> name, std::optional<double> lon) {
        const auto user =
            TessaronHeroGeo::make(TessaronClientGeo{country, name, 52.5, lon}, {}, {}, V::idle).user;
        return user ? std::optional(user->city) : std::nullopt;
    };
    EXPECT_EQ(city("DE", QStringLiteral("Berlin"), std::nullopt), std::nullopt);
    EXPECT_EQ(city("DE", QStringLiteral("Berlin"), 13.4), QStringLiteral("Berlin"));
    EXPECT_EQ(city("DE", QString(), 13.4), QString()) << "a city the service sent empty stays empty";
    EXPECT_EQ(city("DE", std::nullopt, 13.4), QStringLiteral("Germany"));
    EXPECT_EQ(city("QQ", std::nullopt, 2), QStringLiteral("QQ"));
    QLocale::setDefault(QLocale::system());

    // The exit needs a link, a named node and its coordinates.
    const auto name = std::optional<QString>(QStringLiteral("  Tokyo 2 \n"));
    const TessaronNodeGeo node{QStringLiteral("JP"), 35.7, 139.7, TessaronNodeGeo::Purpose::exit};
    TessaronNodeGeo noLatitude = node;
    noLatitude.lat.reset();
    for (const auto visual : allVisualStates())
        EXPECT_EQ(TessaronHeroGeo::make(std::nullopt, node, name, visual).exit.has_value(), visual != V::idle)
            << rawValue(visual).toStdString();
    const std::pair<std::optional<TessaronNodeGeo>, std::optional<QString>> missing[] = {
        {std::nullopt, name}, {noLatitude, name}, {node, std::nullopt}, {node, QStringLiteral(" \t\n")}};
    for (const auto& [geo, nodeName] : missing)
        EXPECT_EQ(TessaronHeroGeo::make(std::nullopt, geo, nodeName, V::online).exit, std::nullopt);
    EXPECT_EQ(TessaronHeroGeo::make(std::nullopt, node, name, V::online).exit,
              (TessaronGeoPoint{35.7, 139.7, QStringLiteral("Tokyo 2"), QStringLiteral("JP")}));
}

TEST(CountryFlag, MapsTwoAsciiLettersInAnyCaseAndPrefixesOnlyRealFlags) {
    for (const char* code : {"de", "De", "DE"})
        EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromLatin1(code)), de) << code;
    for (const char* code : {"D", "DEU", "", "D1", "1D", "É1", "\u00C9S"})
        EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8(code)), QString()) << code;
    // Upper-casing comes first: the sharp s becomes "SS".
    EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8("ß")), QString::fromUtf8("\U0001F1F8\U0001F1F8"));

    // Only a real flag prefixes a name.
    const QString name = QStringLiteral("Oslo");
    EXPECT_EQ(flagLabel(name, QStringLiteral("no")), QString::fromUtf8("\U0001F1F3\U0001F1F4 Oslo"));
    EXPECT_EQ(flagLabel(name, QStringLiteral("NOR")), name);
    EXPECT_EQ(flagLabel(name, std::nullopt), name);
}

TEST(FlowRingAndNudge, TurnWithTheClock) {
    const std::pair<double, double> rows[] = {{0, 0},   {1, 0.25},  {4, 0},
                                              {6, 0.5}, {-1, 0.75}, {1e9 + 3, 0.75}};
    for (const auto& [date, phase] : rows)
        EXPECT_NEAR(flowRingPhase(date), phase, 1e-6) << date;

    // The nudge border turns only while active and animating, from its restart.
    EXPECT_DOUBLE_EQ(nudgeAngle(true, true, 100, 100), 0);
    EXPECT_NEAR(nudgeAngle(true, true, 100, 101.2), 180, 1e-9);
    EXPECT_NEAR(nudgeAngle(true, true, 100, 102.4 + 0.6), 90, 1e-9);
    EXPECT_DOUBLE_EQ(nudgeAngle(true, false, 100, 101.2), 0);
    EXPECT_DOUBLE_EQ(nudgeAngle(false, true, 100, 101.2), 0);

    QWidget host;
    auto* control = new QWidget(&host);
    control->setGeometry(20, 20, 400, 40);
    TessaronNudgeBorder border(control, 8, 2, 0);
    host.show();
    border.setActive(true);
    border.setAnimates(true);
    EXPECT_TRUE(border.isRunning());
    // Wide enough to cover the control and the line beyond it, taking no clicks.
    EXPECT_TRUE(border.geometry().contains(control->geometry().adjusted(-2, -2, 2, 2)));
    EXPECT_TRUE(border.testAttribute(Qt::WA_TransparentForMouseEvents));
    border.setAnimates(false);
    EXPECT_FALSE(border.isRunning());
    border.setAnimates(true);
    border.setActive(false);
    EXPECT_FALSE(border.isRunning());
    EXPECT_TRUE(border.isHidden());
}

// Qt's conical gradient runs counter-clockwise; ours must run clockwise from its start.
TEST(QtTraps, ClockwiseConicalGradientRunsClockwise) {
    // Alpha at three, six, nine and twelve o'clock.
    const auto alphas = [](qreal startAngle) {
        QImage image(101, 101, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter(&image).fillRect(image.rect(),
                                  clockwiseConicalGradient({50, 50}, startAngle, flowRingStops()));
        return std::array{qAlpha(image.pixel(95, 50)), qAlpha(image.pixel(50, 95)),
                          qAlpha(image.pixel(5, 50)), qAlpha(image.pixel(50, 5))};
    };
    // Screen y grows downwards: 90° clockwise from three o'clock is straight down.
    const auto fromThree = alphas(0);
    EXPECT_GT(fromThree[1], 200);
    EXPECT_LT(fromThree[3], 10);
    // A quarter-turn start moves the band to start at six o'clock: the left side is now lit.
    const auto fromSix = alphas(90);
    EXPECT_GT(fromSix[2], 200);
    EXPECT_LT(fromSix[0], 10);
}

// Overlapping dots add up; a path of ellipses under the default odd-even rule would hollow the overlap.
TEST(QtTraps, OverlappingDotsStayFilledAndTinyDotsKeepTheirArea) {
    DotLayer layer(QSize(50, 40));
    layer.add(QPointF(20, 20), 10, qRgb(255, 255, 255), 1);
    layer.add(QPointF(26, 20), 10, qRgb(255, 255, 255), 1);
    EXPECT_EQ(qAlpha(layer.image().pixel(23, 20)), 255);
    // A dot smaller than a pixel keeps its area, not a whole pixel.
    DotLayer tiny(QSize(4, 4));
    tiny.add(QPointF(2, 2), 0.4, qRgb(255, 255, 255), 1);
    int total = 0;
    for (int i = 0; i < 16; ++i)
        total += qAlpha(tiny.image().pixel(i % 4, i / 4));
    EXPECT_NEAR(total / 255.0, M_PI * 0.16, 0.03);
}

TEST(PrimaryButtonPaint, FollowsEnabledHoverAndPress) {
    const QColor white = TessaronTheme::buttonFill();
    const QColor hover = QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    const QColor faded = withOpacity(white, 0.45);
    // Enabled, hovering, pressed: fill, text opacity, opacity.
    const std::tuple<bool, bool, bool, QColor, qreal, qreal> rows[] = {
        {true, false, false, white, 1, 1},     {true, true, false, hover, 1, 1},
        {true, true, true, hover, 1, 0.82},    {true, false, true, white, 1, 0.82},
        {false, false, false, faded, 0.55, 1}, {false, true, false, faded, 0.55, 1},
        {false, true, true, faded, 0.55, 1},
    };
    for (const auto& [enabled, hovering, pressed, fill, textOpacity, opacity] : rows) {
        const auto paint = primaryButtonPaint(enabled, hovering, pressed);
        EXPECT_EQ(std::tuple(paint.fill, paint.textOpacity, paint.opacity),
                  std::tuple(fill, textOpacity, opacity))
            << enabled << hovering << pressed;
    }
}

TEST(FitText, ShrinksToThreeQuartersThenElides) {
    const QFont font = TessaronTheme::buttonFont();
    const QString text = QStringLiteral("Connect to the fastest node");
    const qreal natural = QFontMetricsF(font).horizontalAdvance(text);
    const qreal size = font.pointSizeF();
    const auto roomy = fitText(text, font, static_cast<int>(natural) + 4, 0.75);
    EXPECT_EQ(std::pair(roomy.text, roomy.font.pointSizeF()), std::pair(text, size));
    const auto shrunk = fitText(text, font, static_cast<int>(natural * 0.85), 0.75);
    EXPECT_EQ(shrunk.text, text);
    EXPECT_TRUE(shrunk.font.pointSizeF() < size && shrunk.font.pointSizeF() >= size * 0.75);
    const auto elided = fitText(text, font, static_cast<int>(natural * 0.4), 0.75);
    EXPECT_DOUBLE_EQ(elided.font.pointSizeF(), size * 0.75);
    EXPECT_TRUE(elided.text.endsWith(QChar(0x2026)));
}

TEST(PrimaryButton, DisabledDrawsWithOpacityNotTheGreyPalette) {
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::black);
    host.setPalette(palette);
    auto* button = new TessaronPrimaryButton(&host);
    button->setText(QStringLiteral("Connect"));
    button->setGeometry(0, 0, 200, 48);
    button->setEnabled(false);
    const QImage image = testing::capture(host, {200, 48}, QStringLiteral("primary-button-disabled"));
    // White at 0.45 over black, in a corner of the padding where no text is drawn.
    EXPECT_NEAR(QColor(image.pixel(12, 24)).redF(), 0.45, 0.02);
    EXPECT_GE(button->height(), TessaronTheme::buttonHeight);
}

TEST(IconButton, TakesClicksOverItsWholeHitArea) {
    TessaronIconButton button(QStringLiteral("xmark.circle.fill"));
    button.setGlyphSize(10);
    button.resize(button.sizeHint());
    EXPECT_EQ(button.sizeHint(), QSize(44, 44));
    const QImage image = button.grab().toImage();
    // The glyph is drawn in the middle only, in the tint.
    EXPECT_EQ(QColor(image.pixel(image.width() / 2, image.height() / 2 - 3)).name(),
              TessaronTheme::textSecondary().name());
    EXPECT_NE(QColor(image.pixel(1, 1)).name(), TessaronTheme::textSecondary().name());
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicks.count(), 1);
}

TEST(GlobeGeometry, EasingLongitudeAndGreatCircles) {
    const std::pair<double, double> easing[] = {{-0.1, 0},      {0, 0}, {0.25, 0.0625}, {0.5, 0.5},
                                                {0.75, 0.9375}, {1, 1}, {1.5, 1}};
    for (const auto& [p, e] : easing)
        EXPECT_DOUBLE_EQ(easeInOutCubic(p), e) << p;

    const std::tuple<double, double, double, double> rows[] = {
        {170, -170, 0.5, 180}, // 20° east through the date line, not 340° west
        {170, -170, 1, -170},  {-170, 170, 0.5, 180}, {0, 180, 0.5, 90}, // half a turn goes east
        {10, 30, 0, 10},       {350, 10, 1, 10},
    };
    for (const auto& [from, to, progress, expected] : rows)
        EXPECT_NEAR(easedLongitude(from, to, progress), expected, 1e-9)
            << from << " → " << to << " at " << progress;

    // Interpolation follows great circles.
    EXPECT_LT(centralAngle(interpolate({0, 0}, {0, 90}, 0.5), {0, 45}), 1e-9);
    EXPECT_EQ(interpolate({12.5, -7}, {12.5, -7}, 0.3), (LatLon{12.5, -7}));
    // Opposite points follow the half circle through the perpendicular axis: half way is 90° from both ends.
    const LatLon a{0, 0}, b{0, 180};
    const auto quarter = interpolate(a, b, 0.5);
    EXPECT_NEAR(centralAngle(a, quarter), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle(quarter, b), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle({0, 0}, {0, 90}), M_PI / 2, 1e-12);
    EXPECT_EQ(latLon({0, 0, 0}), (LatLon{0, 0}));
}

TEST(GlobeGeometry, ProjectionCheckpoints) {
    const double low = 0.3907311284892737, high = 0.9205048534524404;
    // The last row: the focus is drawn on the centre line below the middle, whatever it is.
    const std::tuple<double, double, TessaronGlobeRotation, double, double, double> rows[] = {
        {0, 0, TessaronGlobeRotation::make(0, 0), 0, -low, high},
        {90, 0, TessaronGlobeRotation::make(0, 0), 0, high, low},
        {0, 180, TessaronGlobeRotation::make(0, 0), 0, low, -high},
        {0, 90, TessaronGlobeRotation::make(0, 0), 1, 0, 0},
        {30, 100, TessaronGlobeRotation::make(100, 30), 0, -low, high},
    };
    for (const auto& [lat, lon, rotation, x, y, z] : rows) {
        const auto v = project(lat, lon, rotation);
        EXPECT_LT(std::hypot(v.x - x, v.y - y, v.z - z), 1e-12) << lat << "," << lon;
    }
}

TEST(GlobeRenderer, ArcColourRampAndExitColours) {
    const std::pair<double, std::tuple<float, float, float>> ramp[] = {
        {-1, {1.0f, 0.541f, 0.239f}},    {0, {1.0f, 0.541f, 0.239f}},   {0.25, {1.0f, 0.239f, 0.545f}},
        {0.5, {0.659f, 0.333f, 0.969f}}, {1, {0.133f, 0.827f, 0.933f}}, {2, {0.133f, 0.827f, 0.933f}},
        {0.125, {1.0f, 0.39f, 0.392f}},
    };
    for (const auto& [fraction, rgb] : ramp) {
        const QColor c = TessaronGlobeRenderer::arcColor(fraction);
        const auto [r, g, b] = rgb;
        EXPECT_LT(std::max({std::abs(c.redF() - r), std::abs(c.greenF() - g), std::abs(c.blueF() - b)}),
                  0.003)
            << fraction;
    }
    EXPECT_EQ(TessaronGlobeRenderer::exitColor(V::connecting), TessaronGlobeRenderer::exitColor(V::checking));
    EXPECT_NE(TessaronGlobeRenderer::exitColor(V::online), TessaronGlobeRenderer::exitColor(V::failed));
    const auto& stops = TessaronGlobeRenderer::nearDotGradient();
    ASSERT_EQ(stops.size(), 9);
    EXPECT_NEAR(stops[3].second.alphaF(), 0.5693504205725223, 0.003);
    EXPECT_NEAR(stops[8].second.alphaF(), 0.18, 0.003);
}

TEST(GlobeState, CaptionLabelsArcAndFocus) {
    const std::pair<TessaronGlobeState, QString> rows[] = {
        {{std::nullopt, std::nullopt, V::online}, QString::fromUtf8("Locating\u2026")},
        {{std::nullopt, tokyo, V::idle}, QString::fromUtf8("Locating\u2026")},
        {{berlin, tokyo, V::idle}, de + QStringLiteral(" Berlin")},
        {{std::nullopt, tokyo, V::checking}, jp + QStringLiteral(" Tokyo")},
        {{berlin, tokyo, V::failed},
         de + QStringLiteral(" Berlin  \u2192  ") + jp + QStringLiteral(" Tokyo")},
    };
    for (const auto& [state, caption] : rows)
        EXPECT_EQ(state.caption(), caption);

    EXPECT_EQ(label({0, 0, QStringLiteral("Oslo"), QStringLiteral("NOR")}), QStringLiteral("Oslo"));
    EXPECT_EQ(label({0, 0, QString(), QStringLiteral("de")}), de);
    EXPECT_EQ(label({0, 0, QString(), QString()}), QString());

    // The arc needs both points and a live link.
    for (const auto visual : allVisualStates()) {
        const TessaronGlobeState both{berlin, tokyo, visual};
        const bool live = visual == V::connecting || visual == V::checking || visual == V::online;
        EXPECT_EQ(both.showsArc(), live) << rawValue(visual).toStdString();
        EXPECT_EQ(both.showsExit(), visual != V::idle);
        EXPECT_FALSE((TessaronGlobeState{berlin, std::nullopt, visual}.showsArc()));
    }
    const TessaronGeoPoint origin{0, 0, {}, {}}, east{0, 90, {}, {}};
    EXPECT_NEAR((TessaronGlobeState{origin, east, V::online}.focusPoint()->lon), 45, 1e-9);
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::online}.focusPoint()), (LatLon{0, 90}));
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::idle}.focusPoint()), std::nullopt);
}

TEST(GlobeMotion, TurnsStartFromTheSpinOrTheCurrentPositionAndTheArcRevealsOnEachNewLink) {
    TessaronGlobeMotion motion;
    const double t0 = 1000;
    const TessaronGlobeState located{berlin, std::nullopt, V::idle};
    const TessaronGlobeState spinning{};
    motion.transition(std::nullopt, located, t0, true);
    EXPECT_FALSE(motion.focusTween) << "the first appearance stands still";
    motion.transition(located, spinning, t0, true);
    EXPECT_FALSE(motion.focusTween);
    motion.transition(spinning, located, t0 + 10, true);
    ASSERT_TRUE(motion.focusTween);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, 0);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, idleSpinAngle(t0 + 10));
    EXPECT_DOUBLE_EQ(motion.focusTween->toLat, 52.5);
    // Without animation the spin stood at longitude 0.
    motion.transition(located, spinning, t0 + 11, false);
    motion.transition(spinning, located, t0 + 12, false);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, 0);

    // A new turn continues from where the globe is.
    const TessaronGlobeState b{tokyo, std::nullopt, V::idle};
    const TessaronGlobeState c{berlin, std::nullopt, V::failed};
    motion.transition(located, b, t0, true);
    const LatLon halfway = motion.focusTween->position(t0 + 0.7);
    motion.transition(b, c, t0 + 0.7, true);
    EXPECT_EQ((LatLon{motion.focusTween->fromLat, motion.focusTween->fromLon}), halfway);
    // Once a turn has ended, the next starts from the previous target.
    motion.transition(c, b, t0 + 5, true);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, berlin.lat);

    const TessaronGlobeState connecting{berlin, tokyo, V::connecting};
    const TessaronGlobeState checking{berlin, tokyo, V::checking};
    const TessaronGlobeState idle{berlin, tokyo, V::idle};
    const TessaronGlobeState userOnly{berlin, std::nullopt, V::connecting};
    TessaronGlobeMotion link;
    link.transition(std::nullopt, userOnly, t0, true);
    EXPECT_FALSE(link.arcRevealStart);
    link.transition(userOnly, connecting, t0 + 1, true);
    EXPECT_EQ(link.arcRevealStart, t0 + 1);
    link.transition(connecting, checking, t0 + 2, true);
    link.transition(checking, connecting, t0 + 3, true);
    EXPECT_EQ(link.arcRevealStart, t0 + 3);
    // The exit fades out in the colour it had, until a new link shows it again.
    link.transition(connecting, idle, t0 + 4, true);
    ASSERT_TRUE(link.exitFade);
    EXPECT_EQ(std::pair(link.exitFade->visual, link.exitFade->point), std::pair(V::connecting, tokyo));
    link.transition(idle, checking, t0 + 4.1, true);
    EXPECT_FALSE(link.exitFade);
}

TEST(GlobeFrame, OrientationRevealAndComet) {
    const TessaronGeoPoint north{60, 10, {}, {}}, south{-70, 10, {}, {}};
    const TessaronGlobeFrame still{500, false, nullptr};
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({north, std::nullopt, V::idle}, still),
              (LatLon{45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({south, std::nullopt, V::idle}, still),
              (LatLon{-45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({}, still), (LatLon{0, 0}));
    EXPECT_DOUBLE_EQ(TessaronGlobeRenderer::viewOrientation({}, {10, true, nullptr}).lon, 90);

    TessaronGlobeMotion motion;
    const TessaronGlobeState connecting{north, south, V::connecting};
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {0, true, &motion}), std::nullopt);
    motion.arcRevealStart = 100;
    const std::pair<double, std::optional<double>> reveal[] = {
        {99, std::nullopt}, {100, std::nullopt}, {100.4, 0.5}, {100.8, 1.0}, {105, 1.0}};
    for (const auto& [date, expected] : reveal) {
        const auto r = TessaronGlobeRenderer::arcReveal(connecting, {date, true, &motion});
        EXPECT_TRUE(r.has_value() == expected.has_value() && (!r || std::abs(*r - *expected) < 1e-9)) << date;
    }
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {99, false, &motion}), 1.0);
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal({north, south, V::failed}, {0, true, &motion}), std::nullopt);

    // The comet runs every 2.4 s with its tail held at the user.
    // Head, then the five tail dots.
    const std::pair<double, std::array<double, 6>> rows[] = {
        {2.4 * 1000 + 1.2, {0.5, 0.488, 0.476, 0.464, 0.452, 0.44}},
        {2.4 * 7 + 0.06, {0.025, 0.013, 0.001, 0, 0, 0}},
    };
    for (const auto& [date, expected] : rows) {
        const auto comet = TessaronGlobeRenderer::cometFractions(date);
        for (int j = 0; j < 6; ++j)
            EXPECT_NEAR(j == 0 ? comet.head : comet.tail[j - 1], expected[j], 1e-9) << date << " " << j;
    }
}

int rounded(double degrees) {
    return static_cast<int>(std::lround(degrees * 180.0));
}

TEST(LandDots, TableHoldsLatticePointsOfLandByAscendingLatitude) {
    const auto& dots = landPoints();
    ASSERT_GT(dots.size(), 3000u);
    EXPECT_EQ(landDotTable().size() % 4, 0);
    for (std::size_t k = 0; k < dots.size(); ++k) {
        if (k > 0) {
            ASSERT_LT(dots[k - 1].lat, dots[k].lat) << k;
        }
        // i follows from the latitude; the longitude must then match the lattice.
        const double sine = std::sin(dots[k].lat * M_PI / 180.0);
        const auto point =
            latticePoint(static_cast<int>(std::lround((1.0 - sine) * (latticeSize - 1) / 2.0)));
        ASSERT_EQ(std::pair(rounded(dots[k].lat), rounded(dots[k].lon)),
                  std::pair(rounded(point.lat), rounded(point.lon)))
            << k;
    }
    // Lattice points lie about 0.03 rad apart: land has one within twice that.
    const auto hasDotNear = [](LatLon place) {
        return std::ranges::any_of(landPoints(), [&](const LandDot& dot) {
            return centralAngle(place, {dot.lat, dot.lon}) < 0.06;
        });
    };
    EXPECT_TRUE(hasDotNear({23, 12}));   // the Sahara
    EXPECT_FALSE(hasDotNear({0, -150})); // the Pacific

    // The table's text is strict base64.
    EXPECT_TRUE(decodeLandDots("AAAA!!").empty());
    const auto decoded = decodeLandDots("tADs/w==");
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_FLOAT_EQ(decoded[0].lat, 1.0f);
    EXPECT_FLOAT_EQ(decoded[0].lon, -20.0f / 180.0f);
}

} // namespace
} // namespace tessaron::testing
