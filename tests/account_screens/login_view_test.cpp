#include "account_screens/login_view.hpp"
#include "fake_account_screen_model.hpp"
#include "screen_probe.hpp"
#include "screens/screen_capture.hpp"
#include "screens/spinner.hpp"
#include "session/session_harness.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace tessaron::testing {
namespace {

class LoginViewTest : public ::testing::Test {
protected:
    TessaronLoginView& view() {
        if (!view_) {
            view_ = std::make_unique<TessaronLoginView>(model, session, harness.clock);
            view_->show();
        }
        return *view_;
    }
    QLineEdit* field(const QString& id) { return byId<QLineEdit>(view(), u"tessaron.signIn."_s + id); }
    QAbstractButton* button(const QString& id) { return byId<QAbstractButton>(view(), id); }
    QString resendWait() { return visibleTexts(view()).filter(u"Resend in"_s).join(u'|'); }
    QWidget* spinner() { return button(u"tessaron.signIn.continue"_s)->findChild<TessaronSpinner*>(); }
    void onCodeStep(int resendRemaining = 0) {
        model.flowValue.step = TessaronLoginFlow::Step::code;
        model.flowValue.email = u" User@Example.com "_s;
        model.flowValue.resendRemaining = resendRemaining;
        model.publish();
    }

    SessionHarness harness;
    TessaronSession* session = &harness.start();
    FakeAccountScreenModel model;
    std::unique_ptr<TessaronLoginView> view_;
};

TEST_F(LoginViewTest, TheEmailStep) {
    using Providers = std::optional<TessaronProviders>;
    for (const auto& [providers, buttons] : std::initializer_list<std::pair<Providers, QStringList>>{
             {std::nullopt, {}},
             {TessaronProviders{.email = true, .apple = true, .google = true, .whop = true},
              {u"Continue with Google"_s, u"Continue with Whop"_s}},
             {TessaronProviders{.apple = true}, {}},
             {TessaronProviders{.whop = true}, {u"Continue with Whop"_s}}}) {
        model.providersValue = providers;
        model.publish();
        EXPECT_EQ(visibleTexts(view()).filter(QRegularExpression(u"^Continue with "_s)), buttons);
        EXPECT_EQ(visible(view(), u"tessaron.signIn.or"_s), !buttons.isEmpty())
            << "the divider leads to them";
    }

    // Only an error from the web sign-in's callback carries its identifier.
    model.busy = false;
    model.error = u"That code has expired. Ask for a new one."_s;
    model.publish();
    EXPECT_TRUE(visibleTexts(view()).contains(*model.error));
    EXPECT_EQ(byId(view(), u"tessaron.signIn.oauthError"_s), nullptr);
    click(button(u"tessaron.signIn.whop"_s));
    EXPECT_EQ(model.calls.last(), u"signIn(whop)"_s);
    model.errorFromCallback = true;
    model.busy = true;
    model.publish();
    EXPECT_TRUE(visible(view(), u"tessaron.signIn.oauthError"_s));

    // Closing ends a web sign-in that still waits, and no other running operation.
    click(button(u"tessaron.signIn.cancel"_s));
    EXPECT_EQ(model.calls.count(u"cancelWebSignIn"_s), 1);
    view().show();

    // "Continue" needs a plausible address and an idle model; Return starts the request.
    for (const auto& [typed, busy, enabled] :
         std::initializer_list<std::tuple<QString, bool, bool>>{{u" USER@Example.com "_s, false, true},
                                                                {u"user@ "_s, false, false},
                                                                {u"@x"_s, false, false},
                                                                {u"user.example.com"_s, false, false},
                                                                {u"user@example.com"_s, true, false}}) {
        model.busy = busy;
        field(u"email"_s)->clear();
        QTest::keyClicks(field(u"email"_s), typed);
        EXPECT_EQ(button(u"tessaron.signIn.continue"_s)->isEnabled(), enabled) << typed.toStdString();
        EXPECT_EQ(spinner()->isVisibleTo(&view()), busy) << "spins while busy";
    }
    QTest::keyClick(field(u"email"_s), Qt::Key_Return);
    EXPECT_EQ(model.calls, (QStringList{u"refresh"_s, u"signIn(whop)"_s, u"cancelWebSignIn"_s, u"refresh"_s,
                                        u"startEmailSignIn"_s}));
    QTest::keyClick(field(u"email"_s), Qt::Key_Escape);
    EXPECT_FALSE(view().isVisible());
    EXPECT_EQ(model.calls.count(u"cancelWebSignIn"_s), 1);
}

TEST_F(LoginViewTest, TheCodeFieldKeepsSixDigitsAndSubmitsOnceWhenTheyComplete) {
    view();
    onCodeStep();
    EXPECT_NE(field(u"code"_s)->parentWidget()->graphicsEffect(), nullptr) << "the new step fades in";
    QLineEdit* code = field(u"code"_s);
    // Pasted over what the field held (all of it selected), what it keeps and how often that submits.
    for (const auto& [before, pasted, kept, submits] :
         std::initializer_list<std::tuple<QString, QString, QString, qsizetype>>{
             {{}, u"12 34 56"_s, u"123456"_s, 1},
             {{}, u"1234567"_s, u"123456"_s, 1},
             {{}, u"a1b2c3"_s, u"123"_s, 0},
             {{}, QString(22, u' ') + u"123456"_s, u"12"_s, 0}, // only the first 24 characters are read
             {u"123456"_s, u"654321"_s, u"654321"_s, 0}}) {
        model.flowValue.code = before;
        model.publish();
        const qsizetype verifications = model.calls.count(u"verifyEmailCode"_s);
        code->selectAll();
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(code, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(code->text(), kept) << pasted.toStdString();
        EXPECT_EQ(model.calls.count(u"verifyEmailCode"_s) - verifications, submits) << pasted.toStdString();
    }
    // Deleting a digit and typing it again submits, once.
    code->setCursorPosition(6);
    QTest::keyClick(code, Qt::Key_Backspace);
    QTest::keyClicks(code, u"1x"_s);
    EXPECT_EQ(code->text(), u"654321"_s);
    EXPECT_EQ(model.calls.count(u"verifyEmailCode"_s), 3);
    EXPECT_EQ(model.lastSession, session);
}

TEST_F(LoginViewTest, ResendCountsDownInVirtualTimeAndStopsWithTheView) {
    onCodeStep(30);
    for (const auto& [elapsed, shown] : {std::pair(0s, u"Resend in 30 s"_s),
                                         {1s, u"Resend in 29 s"_s},
                                         {28s, u"Resend in 1 s"_s},
                                         {1s, QString()}}) {
        harness.clock.advance(elapsed);
        EXPECT_EQ(resendWait(), shown);
        EXPECT_EQ(visible(view(), u"tessaron.signIn.resend"_s), shown.isEmpty());
    }

    // A resend that issued a new code runs the count again.
    model.outcome = [&] {
        model.flowValue.resendRemaining = 5;
    };
    click(button(u"tessaron.signIn.resend"_s));
    harness.clock.advance(2s);
    EXPECT_EQ(resendWait(), u"Resend in 3 s"_s);
    view().close();
    harness.clock.advance(10s);
    EXPECT_EQ(model.flowValue.resendRemaining, 3);
}

TEST_F(LoginViewTest, ClosesByItselfWhenAConnectionWasSelectedAsTheStepBecameDone) {
    SessionHarness world;
    FakeAccountScreenModel account;
    TessaronLoginView sheet(account, &world.startSelected({sampleProfile(u"Oslo"_s)}), world.clock);
    sheet.show();
    QSignalSpy accepted(&sheet, &QDialog::accepted);
    account.flowValue.step = TessaronLoginFlow::Step::done;
    account.publish();
    world.clock.advance(1199ms);
    EXPECT_EQ(accepted.count(), 0);
    world.clock.advance(1ms);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(sheet.isVisible());
}

// Each step is saved as a picture, with motion reduced. The done step names the account and the devices
// signed out, and stays open: no connection is selected.
TEST_F(LoginViewTest, StepsAsShown) {
    const QSize size(TessaronLoginView::width, 520);
    view().setReduceMotion(true);
    model.flowValue.email = u"user@example.com"_s;
    model.error = u"That code has expired. Ask for a new one."_s;
    model.publish();
    capture(view(), size, u"sign-in-email-alone"_s);
    model.providersValue = TessaronProviders{.google = true, .whop = true};
    model.publish();
    capture(view(), size, u"sign-in-email"_s);
    model.busy = true;
    model.publish();
    EXPECT_FALSE(spinner()->isVisibleTo(&view()));
    model.error.reset();
    model.busy = false;
    onCodeStep(24);
    model.flowValue.code = u"1234"_s;
    model.publish();
    EXPECT_EQ(field(u"code"_s)->parentWidget()->graphicsEffect(), nullptr);
    capture(view(), size, u"sign-in-code"_s);

    model.flowValue.step = TessaronLoginFlow::Step::done;
    model.publish();
    EXPECT_TRUE(visibleTexts(view()).contains(u"user@example.com"_s));
    EXPECT_FALSE(visible(view(), u"tessaron.signIn.evicted"_s) ||
                 visible(view(), u"tessaron.signIn.cancel"_s));
    model.accountValue.emplace().email = u"stored@example.com"_s;
    model.evicted = {u"Office Mac"_s, u"iPad"_s};
    model.publish();
    EXPECT_TRUE(visibleTexts(view()).contains(u"stored@example.com"_s));
    EXPECT_TRUE(visibleTexts(view()).contains(u"Signed out on Office Mac, iPad."_s));
    capture(view(), size, u"sign-in-done"_s);
    harness.clock.advance(2s);
    EXPECT_TRUE(view().isVisible());
}

} // namespace
} // namespace tessaron::testing
