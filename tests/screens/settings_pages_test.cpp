#include "profiles/access_input.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/home_fixture.hpp"
#include "screens/invitation_import_sheet.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/screen_capture.hpp"
#include "screens/settings_pages.hpp"

#include <QAbstractButton>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// Each page opens over the form, with its own title, and Back returns to the form.
TEST(SettingsPagesTest, PagesOpenOverTheFormAndBackReturns) {
    HomeWorld world;
    world.harness.start();
    FakeUpdateState updates;
    TessaronSettingsPages pages(*world.harness.session, updates, {});
    capture(pages, {520, 560}, QStringLiteral("settings-form"));
    QWidget* root = pages.currentPage();
    const std::pair<const char*, const char*> links[] = {
        {"tessaron.settings.guideLink", "settings-guide"},
        {"tessaron.settings.privacyLink", "settings-privacy"},
        {"tessaron.connectionLog.link", "settings-log"}};
    for (const auto& [link, picture] : links) {
        pages.findChild<QAbstractButton*>(QString::fromLatin1(link))->click();
        ASSERT_NE(pages.currentPage(), root) << link;
        capture(pages, {520, 560}, QString::fromLatin1(picture));
        pages.currentPage()->findChild<QAbstractButton*>(QStringLiteral("tessaron.backButton"))->click();
        EXPECT_EQ(pages.currentPage(), root) << link;
    }
}

TEST(InvitationImportTest, PastedTextBecomesTheLinkTheSessionOpens) {
    const QString code(40, QLatin1Char('b'));
    const QString link = QStringLiteral("https://tessaron.app/connect#invite=") + code;
    EXPECT_EQ(invitationLinkFor(QStringLiteral("  ") + link + QStringLiteral("\n")), QUrl(link));
    const auto fromCode = invitationLinkFor(code);
    ASSERT_TRUE(fromCode);
    EXPECT_EQ(invitationCode(*fromCode), code);
    EXPECT_EQ(invitationLinkFor(QStringLiteral("hello")), std::nullopt);

    HomeWorld world;
    world.harness.start();
    TessaronInvitationImportSheet sheet(*world.harness.session, [] {});
    sheet.findChild<QLineEdit*>(QStringLiteral("tessaron.import.input"))->setText(QStringLiteral("hello"));
    sheet.findChild<QAbstractButton*>(QStringLiteral("tessaron.import.add"))->click();
    capture(sheet, {420, 420}, QStringLiteral("import-sheet"));
    EXPECT_TRUE(sheet.findChild<QWidget*>(QStringLiteral("tessaron.import.problem"))->isVisibleTo(&sheet));
    TessaronPrivacySheet privacy(*world.harness.session, [] {});
    capture(privacy, {420, 480}, QStringLiteral("privacy-sheet"));
}

} // namespace
} // namespace tessaron::testing
