#include "screens/menu_bar_content.hpp"

#include "screens/home_fixture.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/screen_capture.hpp"
#include "screens/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QLabel>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

TEST(MenuBarTextsTest, EachPhaseHasItsTitleColourAndTooltip) {
    using enum TessaronLinkPhase;
    struct Case {
        TessaronLinkPhase phase;
        const char* title;
        QColor colour;
    };
    const Case cases[] = {
        {disconnected, "Disconnected", TessaronTheme::textSecondary()},
        {connecting, "Connecting", TessaronTheme::warning()},
        {checking, "Checking", TessaronTheme::warning()},
        {connected, "Connected", TessaronTheme::success()},
        {checkFailed, "Connection check failed", TessaronTheme::danger()},
        {disconnecting, "Disconnecting", TessaronTheme::warning()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(phaseTitle(c.phase), c.title);
        EXPECT_EQ(phaseColor(c.phase), c.colour) << c.title;
        const QString withName = trayToolTip(c.phase, QStringLiteral("Oslo"));
        EXPECT_EQ(withName,
                  c.phase == connected ? QStringLiteral("Connected \u2013 Oslo") : QString(c.title));
        EXPECT_EQ(trayToolTip(c.phase, std::nullopt), c.title);
    }
}

TEST(MenuBarTextsTest, RawValuesNameEachStatusExactly) {
    for (const auto status : allNodeLinkStatuses())
        EXPECT_EQ(nodeLinkStatusFromRawValue(rawValue(status)), status);
    for (const char* other : {"Fast", "", "fast "})
        EXPECT_EQ(nodeLinkStatusFromRawValue(QString::fromLatin1(other)), std::nullopt) << other;
}

TEST(MenuBarTextsTest, PrimaryActionAndWhenItIsEnabled) {
    using enum TessaronPrimaryIntent;
    struct Case {
        TessaronPrimaryIntent intent;
        bool primaryEnabled, connectRunning;
        std::optional<TessaronSheet> sheet;
        bool enabled;
    };
    const Case cases[] = {
        {connect, true, false, std::nullopt, true},
        {connect, true, true, std::nullopt, false},
        {connect, false, false, std::nullopt, false},
        {stop, true, true, std::nullopt, true},
        {stop, false, false, std::nullopt, false},
        {reviewPrivacy, false, true, TessaronSheet::privacy, true},
        {importInvitation, false, false, TessaronSheet::importInvitation, true},
        {signIn, false, false, TessaronSheet::signIn, true},
    };
    for (const auto& c : cases) {
        const auto primary = menuBarPrimary(c.intent, c.primaryEnabled, c.connectRunning);
        EXPECT_EQ(primary.sheet, c.sheet) << static_cast<int>(c.intent);
        EXPECT_EQ(primary.enabled, c.enabled)
            << static_cast<int>(c.intent) << c.primaryEnabled << c.connectRunning;
    }
}

// The panel over a real session with one saved, selected connection.
class MenuBarTest : public ::testing::Test {
protected:
    MenuBarContentView& panel() {
        if (!panel_) {
            panel_ = std::make_unique<MenuBarContentView>(*world.harness.session, world.sharedPower);
            panel_->show();
            world.harness.settle();
        }
        return *panel_;
    }
    QAbstractButton* button(const char* name) {
        return panel().findChild<QAbstractButton*>(QString::fromLatin1(name));
    }

    HomeWorld world;
    const TessaronProfile oslo = sampleProfile(QStringLiteral("Oslo"));
    std::unique_ptr<MenuBarContentView> panel_;
};

TEST_F(MenuBarTest, ConnectCannotStartTwiceWhileTheFirstIsStillDisconnected) {
    world.harness.startSelected({oslo});
    world.harness.activator.holdNext();
    auto* primary = button("tessaron.menuBar.primary");
    ASSERT_TRUE(primary->isEnabled());
    primary->click();
    world.harness.settle();
    EXPECT_EQ(world.harness.session->phase(), TessaronLinkPhase::disconnected);
    EXPECT_FALSE(primary->isEnabled());
    primary->click();
    world.harness.activator.release(TessaronExtensionActivation::Kind::activated);
    world.harness.settle();
    EXPECT_EQ(world.harness.activator.calls, 1);
    EXPECT_EQ(world.harness.session->phase(), TessaronLinkPhase::connecting);
}

TEST_F(MenuBarTest, CheckAgainAppearsAfterAFailedCheckAndRunsANewOne) {
    world.harness.startSelected({oslo});
    auto* checkAgain = button("tessaron.menuBar.checkAgain");
    EXPECT_FALSE(checkAgain->isVisibleTo(&panel()));
    world.harness.reachability.answer(FakeReachability::failure());
    world.harness.connectFully();
    world.harness.advance(30s);
    ASSERT_EQ(world.harness.session->phase(), TessaronLinkPhase::checkFailed);
    EXPECT_EQ(panel().findChild<QLabel*>(QStringLiteral("tessaron.menuBar.title"))->accessibleName(),
              "Connection check failed");
    EXPECT_TRUE(checkAgain->isVisibleTo(&panel()));
    capture(panel(), {MenuBarContentView::panelWidth, panel().sizeHint().height()},
            QStringLiteral("menu-bar-panel"));

    world.harness.reachability.answer(FakeReachability::success());
    checkAgain->click();
    world.harness.advance(1s);
    EXPECT_EQ(world.harness.session->phase(), TessaronLinkPhase::connected);
    EXPECT_FALSE(checkAgain->isVisibleTo(&panel()));
}

TEST_F(MenuBarTest, SheetIntentsSetTheSheetBeforeTheMainWindowIsAskedFor) {
    world.harness.start();
    std::optional<TessaronSheet> sheetWhenAsked;
    QObject::connect(&panel(), &MenuBarContentView::openMainWindowRequested, &panel(),
                     [&] { sheetWhenAsked = world.harness.session->activeSheet(); });
    button("tessaron.menuBar.primary")->click();
    EXPECT_EQ(sheetWhenAsked, TessaronSheet::privacy);
}

} // namespace
} // namespace tessaron::testing
