#include "screens/home_fixture.hpp"
#include "screens/home_view.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/motion.hpp"

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

} // namespace
} // namespace tessaron
