#include "screens/home_fixture.hpp"
#include "screens/menu_bar_content.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/screen_capture.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>

#include <algorithm>
#include <functional>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

using Phase = TessaronLinkPhase;

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
    // Intent and whether the session enables its action: the sheet it opens and whether it is enabled.
    // Connect is always enabled: the session refuses a second one (driven through the panel below, as is the
    // privacy sheet).
    const std::tuple<TessaronPrimaryIntent, bool, std::optional<TessaronSheet>, bool> rows[] = {
        {connect, false, std::nullopt, true},
        {connect, true, std::nullopt, true},
        {stop, true, std::nullopt, true},
        {stop, false, std::nullopt, false},
        {importInvitation, false, TessaronSheet::importInvitation, true},
        {signIn, false, TessaronSheet::signIn, true},
    };
    for (const auto& [intent, primaryEnabled, sheet, enabled] : rows) {
        const auto primary = menuBarPrimary(intent, primaryEnabled);
        EXPECT_EQ(std::pair(primary.sheet, primary.enabled), std::pair(sheet, enabled))
            << static_cast<int>(intent) << primaryEnabled;
    }
}

// The panel over a real session with one saved, selected connection.
TEST(MenuBarPanel, ConnectStartsOnceAndCheckAgainRunsANewCheckAfterAFailedOne) {
    HomeWorld world;
    auto& harness = world.harness;
    auto& session = harness.startSelected({world.oslo});
    MenuBarContentView panel(session, world.account, world.sharedPower);
    panel.show();
    harness.settle();
    auto* primary = panel.findChild<QAbstractButton*>("tessaron.menuBar.primary");
    auto* checkAgain = panel.findChild<QAbstractButton*>("tessaron.menuBar.checkAgain");
    EXPECT_FALSE(checkAgain->isVisibleTo(&panel));
    // An account that ends (a refresh answered 401) changes nothing of the session but the button.
    world.account.set(false, std::nullopt);
    EXPECT_EQ(primary->text(), "Sign in");
    world.account.set(true, std::nullopt);
    EXPECT_EQ(primary->text(), "Connect");
    harness.activator.holdNext();
    primary->click();
    harness.settle();
    EXPECT_EQ(session.phase(), Phase::disconnected);
    EXPECT_TRUE(primary->isEnabled()) << "the first connect is still starting, and a second tap is refused";
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
    // The header reads as one element, the title with the pill's words; its dot is only a colour.
    auto* header =
        QAccessible::queryAccessibleInterface(panel.findChild<QWidget*>("tessaron.menuBar.header"));
    const auto* pill = panel.findChild<NodeStatusPill*>();
    EXPECT_EQ(
        std::tuple(header->text(QAccessible::Name), header->childCount(),
                   QAccessible::queryAccessibleInterface(panel.findChild<QWidget*>("tessaron.menuBar.dot"))
                       ->state()
                       .invisible),
        std::tuple("Connection check failed, " + pill->accessibleName(), 0, true));
    EXPECT_TRUE(checkAgain->isVisibleTo(&panel));
    capture(panel, {MenuBarContentView::panelWidth, panel.sizeHint().height()}, "menu-bar-panel");
    // Long beside the pill: it keeps to one line, shrunk and then cut, and reads whole.
    const auto* title = panel.findChild<TessaronFittedLabel*>("tessaron.menuBar.title");
    const auto fitted = title->fitted();
    EXPECT_EQ(
        std::tuple(title->text(), fitted.lines.size(), title->height() < 2 * title->fontMetrics().height()),
        std::tuple("Connection check failed", 1, true));
    EXPECT_LT(fitted.scale, 1);
    harness.reachability.answer(FakeReachability::success());
    checkAgain->click();
    harness.advance(1s);
    EXPECT_EQ(session.phase(), Phase::connected);
    EXPECT_FALSE(checkAgain->isVisibleTo(&panel));
}

// A reader goes through the panel as the eye does, top to bottom: the state, the list, the action and the
// ways out, every element it names below (or beside) the one before.
TEST(MenuBarPanel, ReadersMeetItsPartsInTheOrderTheyStand) {
    HomeWorld world;
    auto& session = world.startWithRoster({world.oslo, world.tokyo});
    MenuBarContentView panel(session, world.account, world.sharedPower);
    panel.show();
    world.harness.settle();
    // At its full height, as its window gives it, every row in view.
    panel.adjustSize();
    world.harness.settle();
    QStringList read;
    QList<int> tops;
    const std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* element) {
        const QString name = element->text(QAccessible::Name);
        if (!name.isEmpty() && !element->state().invisible && element->object() != &panel) {
            read.append(name);
            tops.append(element->rect().top());
        }
        for (int index = 0; index < element->childCount(); ++index)
            visit(element->child(index));
    };
    visit(QAccessible::queryAccessibleInterface(&panel));
    EXPECT_TRUE(std::ranges::is_sorted(tops))
        << read.join(" | ").toStdString()
        << ::testing::PrintToString(std::vector<int>(tops.begin(), tops.end()));
    const auto at = [&read](const QString& start) {
        return std::ranges::find_if(read, [&](const QString& name) { return name.startsWith(start); }) -
               read.begin();
    };
    EXPECT_LT(at("Disconnected"), at("Nodes"));
    EXPECT_LT(at("Nodes"), at("Connect"));
    EXPECT_LT(at("Connect"), at("Quit Tessaron"));
}

TEST(MenuBarPanel, SheetIntentsSetTheSheetBeforeTheMainWindowIsAskedFor) {
    HomeWorld world;
    auto& session = world.harness.start();
    MenuBarContentView panel(session, world.account, world.sharedPower);
    std::optional<TessaronSheet> sheetWhenAsked;
    QObject::connect(&panel, &MenuBarContentView::openMainWindowRequested, &panel,
                     [&] { sheetWhenAsked = session.activeSheet(); });
    panel.findChild<QAbstractButton*>("tessaron.menuBar.primary")->click();
    EXPECT_EQ(sheetWhenAsked, TessaronSheet::privacy);
}

} // namespace
} // namespace tessaron::testing
