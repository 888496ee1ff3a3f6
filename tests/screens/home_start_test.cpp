#include "screens/home_fixture.hpp"
#include "screens/home_scroll_bar.hpp"
#include "screens/home_view.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/motion.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron {
namespace {

using testing::HomeWorld;

// A sign-in state that arrives before the view's first picture changes the button's title at once: nobody
// saw the title it would fade from, and the fade would only hold up the picture. Once the button is on
// screen, a change crossfades.
TEST(HomeStart, TheButtonTitleCrossfadesOnlyFromATitleOnScreen) {
    HomeWorld w;
    w.harness.signIn.signedIn = false;
    w.show();
    auto* fade = w.primary()->findChild<TessaronCrossfade*>();
    ASSERT_NE(fade, nullptr);
    const QString signInTitle = w.primary()->text();
    w.account.set(true, std::nullopt);
    const QString signedInTitle = w.primary()->text();
    EXPECT_EQ(std::pair(signedInTitle != signInTitle, fade->isVisible()), std::pair(true, false));

    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.view()));
    w.view().repaint();
    w.account.set(false, std::nullopt);
    EXPECT_EQ(std::pair(w.primary()->text(), fade->isVisible()), std::pair(signInTitle, true));
}

// A start opens at the top, also when it starts offline: a message that comes before the person acts (the
// link that dropped while the application was closed, the service away) waits below the nodes, and the
// heading stays in sight with the focus on the button. Once the person has acted, a new message is brought
// into view.
TEST(HomeStart, AnOfflineStartOpensAtTheTopUntilThePersonActs) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    w.show();
    w.view().resize(480, 420);
    QCoreApplication::sendPostedEvents();
    auto* viewport = w.view().findChild<QScrollArea*>()->viewport();
    const auto inSight = [&](const char* name) {
        QCoreApplication::sendPostedEvents();
        const QWidget* widget = w.find(QString::fromLatin1(name));
        return viewport->rect().contains(QRect(widget->mapTo(viewport, QPoint()), widget->size()));
    };
    const auto seen = [&] {
        return std::tuple(inSight("tessaron.hero.header"), inSight("tessaron.errorBanner"),
                          w.view().focusWidget() == w.primary());
    };
    session.setLastError(QStringLiteral("This network cannot reach the Tessaron server."));
    EXPECT_EQ(seen(), std::tuple(true, false, true));
    EXPECT_EQ(w.view().findChild<QScrollArea*>()->verticalScrollBar()->value(), 0);

    QTest::mouseClick(w.find("tessaron.globe"), Qt::LeftButton);
    session.setLastError(QStringLiteral("That node did not answer."));
    EXPECT_EQ(std::get<1>(seen()), true);
}

// The home page's scroll bar once took a style sheet; its own style must draw what the sheet drew, the handle
// at the same place and length (its share of the page, at least 24 points) with the same rounded ends.
TEST(HomeStart, TheScrollBarDrawsAsItsStyleSheetDid) {
    QScrollBar sheet(Qt::Vertical);
    sheet.setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: %1; width: 8px; margin: 0; }"
                       "QScrollBar::handle:vertical { background: %2; border-radius: 4px; min-height: 24px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }")
            .arg(TessaronTheme::background().name(), TessaronTheme::stroke().name()));
    QScrollBar own(Qt::Vertical);
    own.setStyle(&TessaronThinScrollBarStyle::shared());
    EXPECT_EQ(own.sizeHint().width(), sheet.sizeHint().width());
    // Length, page, largest value, value.
    const std::tuple<int, int, int, int> rows[] = {
        {300, 300, 600, 0},     {300, 300, 600, 300}, {300, 300, 600, 600}, {300, 300, 4700, 2350},
        {300, 300, 4700, 4700}, {301, 300, 1, 1},     {300, 300, 0, 0},     {57, 10, 30, 17},
    };
    for (const auto& [length, page, maximum, value] : rows) {
        for (QScrollBar* bar : {&sheet, &own}) {
            bar->resize(8, length);
            bar->setRange(0, maximum);
            bar->setPageStep(page);
            bar->setValue(value);
        }
        EXPECT_EQ(own.grab().toImage(), sheet.grab().toImage()) << length << " " << maximum << " " << value;
    }
}

} // namespace
} // namespace tessaron
