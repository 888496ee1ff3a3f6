#include "screens/fake_update_state.hpp"
#include "screens/sheet_host.hpp"
#include "session/session_harness.hpp"

#include <QDialog>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using Sheet = std::optional<TessaronSheet>;

// A real session on fakes, a window, and a host whose sheets are labelled with their case.
class SheetHostTest : public ::testing::Test {
protected:
    SheetHostTest() { window.resize(480, 600); }

    TessaronSheetHost& host() {
        if (!host_) {
            if (!harness.session)
                harness.start();
            host_ = new TessaronSheetHost(
                *harness.session, updates, window,
                [](TessaronSheet sheet, QWidget& window) {
                    return TessaronSheetHost::sheetDialog(window, [sheet](QDialog& dialog) {
                        return new QLabel(QString::number(static_cast<int>(sheet)), &dialog);
                    });
                },
                [](QWidget& window) { return new QWidget(&window); });
        }
        return *host_;
    }
    TessaronSession& session() {
        host();
        return *harness.session;
    }
    void assign(Sheet sheet) {
        session().setActiveSheet(sheet);
        harness.settle();
    }
    // The user's dismissal: Escape in the dialog.
    void escape() {
        ASSERT_NE(host().presentedDialog(), nullptr);
        QTest::keyClick(host().presentedDialog(), Qt::Key_Escape);
        harness.settle();
    }
    void require(bool required) {
        updates.setRequired(required ? std::optional(TessaronReleaseOffer{QStringLiteral("9.0"), {}})
                                     : std::nullopt);
        harness.settle();
    }

    SessionHarness harness;
    FakeUpdateState updates;
    QWidget window;
    TessaronSheetHost* host_ = nullptr;
};

TEST_F(SheetHostTest, SignInOverSettingsClosesBackToSettingsThenToNothing) {
    harness.grantConsent();
    assign(TessaronSheet::settings);
    EXPECT_EQ(host().presentedSheet(), TessaronSheet::settings);

    assign(TessaronSheet::signIn);
    // The host closed settings itself: nothing was written back over the sign-in.
    EXPECT_EQ(session().activeSheet(), TessaronSheet::signIn);
    EXPECT_EQ(host().presentedSheet(), TessaronSheet::signIn);

    escape();
    EXPECT_EQ(session().activeSheet(), TessaronSheet::settings);
    EXPECT_EQ(host().presentedSheet(), TessaronSheet::settings);
    escape();
    EXPECT_EQ(session().activeSheet(), std::nullopt);
    EXPECT_EQ(host().presentedDialog(), nullptr);
}

TEST_F(SheetHostTest, PrivacyIsOfferedOnceWhenConsentIsMissingAndNothingElseIsOpen) {
    struct Case {
        const char* name;
        bool consent;
        Sheet before;
        bool required;
        Sheet after;
    };
    const Case cases[] = {
        {"first launch", false, std::nullopt, false, TessaronSheet::privacy},
        {"consent given", true, std::nullopt, false, std::nullopt},
        {"sign-in already asked for", false, TessaronSheet::signIn, false, TessaronSheet::signIn},
        {"update required", false, TessaronSheet::settings, true, std::nullopt},
    };
    for (const auto& c : cases) {
        SessionHarness world;
        if (c.consent)
            world.grantConsent();
        auto& session = world.start();
        FakeUpdateState checker;
        if (c.required)
            checker.setRequired(TessaronReleaseOffer{QStringLiteral("9.0"), {}});
        QWidget frame;
        TessaronSheetHost offer(
            session, checker, frame, [](TessaronSheet, QWidget& w) { return new QDialog(&w); },
            [](QWidget& w) { return new QWidget(&w); });
        session.setActiveSheet(c.before);
        offer.offerPrivacy();
        EXPECT_EQ(session.activeSheet(), c.after) << c.name;
        session.setActiveSheet(std::nullopt);
        offer.offerPrivacy();
        EXPECT_EQ(session.activeSheet(), std::nullopt) << c.name << ": offered twice";
    }
}

TEST_F(SheetHostTest, RequirementClosesTheSheetCoversTheWindowAndDefersLaterSheets) {
    harness.grantConsent();
    assign(TessaronSheet::settings);
    require(true);
    EXPECT_EQ(host().presentedDialog(), nullptr);
    EXPECT_EQ(session().activeSheet(), std::nullopt);
    ASSERT_NE(host().cover(), nullptr);
    window.show();
    EXPECT_EQ(host().cover()->geometry(), window.rect());
    EXPECT_EQ(window.childAt(window.width() / 2, window.height() / 2), host().cover());

    assign(TessaronSheet::signIn);
    EXPECT_EQ(host().presentedDialog(), nullptr);

    require(false);
    EXPECT_EQ(host().cover(), nullptr);
    EXPECT_EQ(host().presentedSheet(), TessaronSheet::signIn);
}

} // namespace
} // namespace tessaron::testing
