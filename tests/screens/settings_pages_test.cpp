#include "screens/fake_update_state.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/home_fixture.hpp"
#include "screens/invitation_import_sheet.hpp"
#include "screens/invitation_input_section.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/screen_capture.hpp"
#include "screens/settings_pages.hpp"
#include "support/fake_workspace.hpp"

#include <QAbstractButton>
#include <QLineEdit>

#include <string_view>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// Each page opens over the form, with its own title, and Back returns to the form.
TEST(SettingsPagesTest, PagesOpenOverTheFormAndBackReturns) {
    HomeWorld world;
    world.harness.start();
    FakeUpdateState updates;
    FakeWorkspace workspace;
    TessaronSettingsPages pages(*world.harness.session, updates, {}, workspace);
    capture(pages, {520, 560}, QStringLiteral("settings-form"));
    QWidget* root = pages.currentPage();
    const std::pair<const char*, const char*> links[] = {
        {"tessaron.settings.guideLink", "settings-guide"},
        {"tessaron.settings.privacyLink", "settings-privacy"},
        {"tessaron.connectionLog.link", "settings-log"}};
    for (const auto& [link, picture] : links) {
        pages.findChild<QAbstractButton*>(QString::fromLatin1(link))->click();
        ASSERT_NE(pages.currentPage(), root) << link;
        EXPECT_EQ(pages.currentPage()->findChild<TessaronGuideView*>() != nullptr,
                  std::string_view(link) == "tessaron.settings.guideLink")
            << "the guide is shown in the application: " << link;
        capture(pages, {520, 560}, QString::fromLatin1(picture));
        pages.currentPage()->findChild<QAbstractButton*>(QStringLiteral("tessaron.backButton"))->click();
        EXPECT_EQ(pages.currentPage(), root) << link;
    }
}

// The sheet is the home screens' input section under a bar: bad text stays with an error, Cancel and a
// taken invitation both dismiss.
TEST(InvitationImportTest, TheSheetHoldsTheInputSectionAndClosesWhenTheLinkIsTaken) {
    HomeWorld world;
    world.harness.grantConsent();
    world.harness.launch();
    int dismissals = 0;
    TessaronInvitationImportSheet sheet(*world.harness.session, QUrl(QStringLiteral("https://pair.example")),
                                        [&dismissals] { ++dismissals; });
    auto* field = sheet.findChild<QLineEdit*>(QStringLiteral("tessaron.accessKeyField"));
    ASSERT_NE(field, nullptr);
    field->setText(QStringLiteral("hello"));
    sheet.section().submit();
    capture(sheet, {420, 420}, QStringLiteral("import-sheet"));
    EXPECT_TRUE(sheet.findChild<QWidget*>(QStringLiteral("tessaron.accessInputError"))->isVisibleTo(&sheet));
    EXPECT_EQ(dismissals, 0);

    sheet.findChild<QAbstractButton*>(QStringLiteral("tessaron.import.cancel"))->click();
    EXPECT_EQ(dismissals, 1);

    world.harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
    field->setText(QStringLiteral("https://tessaron.app/connect#invite=") + QString(40, QLatin1Char('b')));
    sheet.section().submit();
    world.harness.settle();
    EXPECT_EQ(world.harness.session->lastError(), std::nullopt);
    EXPECT_EQ(dismissals, 2);

    TessaronPrivacySheet privacy(*world.harness.session, [] {});
    capture(privacy, {420, 480}, QStringLiteral("privacy-sheet"));
}

} // namespace
} // namespace tessaron::testing
