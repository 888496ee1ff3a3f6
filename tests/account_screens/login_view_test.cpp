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

namespace tessaron::testing {
namespace {

class LoginViewTest : public ::testing::Test {
protected:
    TessaronLoginView& view() {
        if (!view_) {
            view_ = std::make_unique<TessaronLoginView>(model, harness.session.get(), harness.clock);
            view_->show();
        }
        return *view_;
    }
    QLineEdit* field(const QString& id) { return view().findChild<QLineEdit*>(id); }
    void onCodeStep(int resendRemaining = 0) {
        model.flowValue.step = TessaronLoginFlow::Step::code;
        model.flowValue.email = QStringLiteral(" User@Example.com ");
        model.flowValue.challengeID = QStringLiteral("c1");
        model.flowValue.resendRemaining = resendRemaining;
        model.publish();
    }
    // Types or pastes into the code field as the user would.
    void paste(const QString& text, bool replaceAll) {
        QLineEdit* code = field(QStringLiteral("tessaron.signIn.code"));
        if (replaceAll)
            code->selectAll();
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(code, Qt::Key_V, Qt::ControlModifier);
    }
    int verifications() const {
        return static_cast<int>(model.names().count(QStringLiteral("verifyEmailCode")));
    }

    SessionHarness harness;
    FakeAccountScreenModel model;
    std::unique_ptr<TessaronLoginView> view_;
};

TEST_F(LoginViewTest, ProviderButtonsFollowTheServiceButNeverApple) {
    struct Case {
        std::optional<TessaronProviders> providers;
        QStringList buttons;
    };
    const QList<Case> cases{
        {std::nullopt, {}},
        {TessaronProviders{.email = true, .apple = true, .google = true, .whop = true},
         {QStringLiteral("Continue with Google"), QStringLiteral("Continue with Whop")}},
        {TessaronProviders{.apple = true}, {}},
        {TessaronProviders{.whop = true}, {QStringLiteral("Continue with Whop")}},
    };
    for (const Case& c : cases) {
        model.providersValue = c.providers;
        model.publish();
        QStringList shown;
        for (const QString& text : visibleTexts(view()))
            if (text.startsWith(QStringLiteral("Continue with ")))
                shown.append(text);
        EXPECT_EQ(shown, c.buttons);
        EXPECT_TRUE(visibleTexts(view()).contains(QStringLiteral("Continue")));
    }
    click(qobject_cast<QAbstractButton*>(byId(view(), QStringLiteral("tessaron.signIn.whop"))));
    EXPECT_EQ(model.calls.last(), (FakeAccountScreenModel::Call{QStringLiteral("signIn(whop)"), nullptr}));
}

TEST_F(LoginViewTest, ContinueNeedsAPlausibleAddressAndAnIdleModel) {
    struct Case {
        QString typed;
        bool busy;
        bool enabled;
    };
    const QList<Case> cases{
        {QStringLiteral(" USER@Example.com "), false, true},
        {QStringLiteral("user@ "), false, false},
        {QStringLiteral("@x"), false, false},
        {QStringLiteral("user.example.com"), false, false},
        {QStringLiteral("user@example.com"), true, false},
    };
    for (const Case& c : cases) {
        model.busy = c.busy;
        QLineEdit* email = field(QStringLiteral("tessaron.signIn.email"));
        email->clear();
        QTest::keyClicks(email, c.typed);
        EXPECT_EQ(model.flowValue.email, c.typed);
        EXPECT_EQ(byId(view(), QStringLiteral("tessaron.signIn.continue"))->isEnabled(), c.enabled)
            << c.typed.toStdString();
    }
    QTest::keyClick(field(QStringLiteral("tessaron.signIn.email")), Qt::Key_Return);
    EXPECT_EQ(model.names(), (QStringList{QStringLiteral("refresh"), QStringLiteral("startEmailSignIn")}));
}

TEST_F(LoginViewTest, TheCodeFieldKeepsSixDigitsAndSubmitsOnceWhenTheyComplete) {
    struct Case {
        QString before;
        QString pasted;
        bool replaceAll;
        QString kept;
        int submits;
    };
    const QList<Case> cases{
        {{}, QStringLiteral("12 34 56"), false, QStringLiteral("123456"), 1},
        {{}, QStringLiteral("1234567"), false, QStringLiteral("123456"), 1},
        {{}, QStringLiteral("a1b2c3"), false, QStringLiteral("123"), 0},
        // Only the first 24 characters are read.
        {{}, QString(22, QLatin1Char(' ')) + QStringLiteral("123456"), false, QStringLiteral("12"), 0},
        {QStringLiteral("123456"), QStringLiteral("654321"), true, QStringLiteral("654321"), 0},
    };
    onCodeStep();
    for (const Case& c : cases) {
        model.flowValue.code = c.before;
        model.publish();
        const int before = verifications();
        paste(c.pasted, c.replaceAll);
        EXPECT_EQ(field(QStringLiteral("tessaron.signIn.code"))->text(), c.kept) << c.pasted.toStdString();
        EXPECT_EQ(verifications() - before, c.submits) << c.pasted.toStdString();
    }
    // Deleting a digit and typing it again submits, once.
    QLineEdit* code = field(QStringLiteral("tessaron.signIn.code"));
    code->setCursorPosition(6);
    const int before = verifications();
    QTest::keyClick(code, Qt::Key_Backspace);
    QTest::keyClicks(code, QStringLiteral("1x"));
    EXPECT_EQ(code->text(), QStringLiteral("654321"));
    EXPECT_EQ(verifications() - before, 1);
    EXPECT_EQ(model.calls.last().session, harness.session.get());
}

TEST_F(LoginViewTest, ResendCountsDownInVirtualTimeAndStopsWithTheView) {
    onCodeStep(30);
    view();
    const auto waitText = [&] {
        for (const QString& text : visibleTexts(view()))
            if (text.startsWith(QStringLiteral("Resend in")))
                return text;
        return QString();
    };
    EXPECT_EQ(waitText(), QStringLiteral("Resend in 30 s"));
    EXPECT_FALSE(visible(view(), QStringLiteral("tessaron.signIn.resend")));
    harness.clock.advance(1s);
    EXPECT_EQ(waitText(), QStringLiteral("Resend in 29 s"));
    harness.clock.advance(28s);
    EXPECT_EQ(waitText(), QStringLiteral("Resend in 1 s"));
    harness.clock.advance(1s);
    EXPECT_TRUE(visible(view(), QStringLiteral("tessaron.signIn.resend")));
    EXPECT_EQ(waitText(), QString());

    // A resend that issued a new code runs the count again.
    model.outcome = [&] {
        model.flowValue.resendRemaining = 5;
    };
    click(qobject_cast<QAbstractButton*>(byId(view(), QStringLiteral("tessaron.signIn.resend"))));
    harness.clock.advance(2s);
    EXPECT_EQ(waitText(), QStringLiteral("Resend in 3 s"));

    view().close();
    harness.clock.advance(10s);
    EXPECT_EQ(model.flowValue.resendRemaining, 3);
}

TEST_F(LoginViewTest, ClosesByItselfOnlyWhenAConnectionWasSelectedAsTheStepBecameDone) {
    struct Case {
        bool selectedBefore;
        bool closes;
    };
    for (const Case c : {Case{true, true}, Case{false, false}}) {
        SessionHarness world;
        if (c.selectedBefore)
            world.startSelected({sampleProfile(QStringLiteral("Oslo"))});
        else
            world.start();
        FakeAccountScreenModel account;
        account.flowValue.step = TessaronLoginFlow::Step::code;
        TessaronLoginView sheet(account, world.session.get(), world.clock);
        sheet.show();
        QSignalSpy accepted(&sheet, &QDialog::accepted);
        account.flowValue.step = TessaronLoginFlow::Step::done;
        account.publish();
        EXPECT_FALSE(visible(sheet, QStringLiteral("tessaron.signIn.cancel")));
        world.clock.advance(1199ms);
        EXPECT_EQ(accepted.count(), 0);
        world.clock.advance(1ms);
        EXPECT_EQ(accepted.count(), c.closes ? 1 : 0);
        EXPECT_EQ(sheet.isVisible(), !c.closes);
    }
}

TEST_F(LoginViewTest, TheDoneStepNamesTheAccountAndTheDevicesSignedOut) {
    model.flowValue.step = TessaronLoginFlow::Step::done;
    model.flowValue.email = QStringLiteral(" Typed@Example.com");
    model.publish();
    EXPECT_TRUE(visibleTexts(view()).contains(QStringLiteral("typed@example.com")));
    EXPECT_FALSE(visible(view(), QStringLiteral("tessaron.signIn.evicted")));

    model.accountValue = TessaronAccount();
    model.accountValue->email = QStringLiteral("stored@example.com");
    model.evicted = {QStringLiteral("Office Mac"), QStringLiteral("iPad")};
    model.publish();
    EXPECT_TRUE(visibleTexts(view()).contains(QStringLiteral("stored@example.com")));
    EXPECT_EQ(view().findChild<QLabel*>(QStringLiteral("tessaron.signIn.evicted"))->text(),
              QStringLiteral("Signed out on Office Mac, iPad."));
}

TEST_F(LoginViewTest, OnlyACallbackErrorCarriesItsIdentifierAndMarkupStaysText) {
    view();
    model.error = QStringLiteral("<b>Code expired</b>");
    model.publish();
    EXPECT_TRUE(visibleTexts(view()).contains(QStringLiteral("<b>Code expired</b>")));
    EXPECT_EQ(byId(view(), QStringLiteral("tessaron.signIn.oauthError")), nullptr);
    model.errorFromCallback = true;
    model.error = QStringLiteral("Sign-in was refused.");
    model.publish();
    EXPECT_TRUE(visible(view(), QStringLiteral("tessaron.signIn.oauthError")));
}

TEST_F(LoginViewTest, ClosingEndsAWaitingWebSignInButNothingElse) {
    model.providersValue = TessaronProviders{.google = true};
    model.publish();
    click(qobject_cast<QAbstractButton*>(byId(view(), QStringLiteral("tessaron.signIn.google"))));
    model.busy = true;
    model.publish();
    click(qobject_cast<QAbstractButton*>(byId(view(), QStringLiteral("tessaron.signIn.cancel"))));
    EXPECT_EQ(model.names().count(QStringLiteral("cancelWebSignIn")), 1);

    // A code request that is still running goes on.
    model.calls.clear();
    view().show();
    QTest::keyClick(field(QStringLiteral("tessaron.signIn.email")), Qt::Key_Escape);
    EXPECT_FALSE(view().isVisible());
    EXPECT_EQ(model.names().count(QStringLiteral("cancelWebSignIn")), 0);
}

TEST_F(LoginViewTest, ReduceMotionDropsTheStepFadeAndTheSpinners) {
    for (bool reduceMotion : {true, false}) {
        model.flowValue.step = TessaronLoginFlow::Step::email;
        model.busy = true;
        model.publish();
        view().setReduceMotion(reduceMotion);
        QWidget* spinner =
            byId(view(), QStringLiteral("tessaron.signIn.continue"))->findChild<TessaronSpinner*>();
        EXPECT_EQ(spinner->isVisibleTo(&view()), !reduceMotion);
        onCodeStep();
        EXPECT_EQ(byId(view(), QStringLiteral("tessaron.signIn.code"))->parentWidget()->graphicsEffect() !=
                      nullptr,
                  !reduceMotion);
    }
}

TEST_F(LoginViewTest, Screenshots) {
    view().setReduceMotion(true);
    model.providersValue = TessaronProviders{.google = true, .whop = true};
    model.flowValue.email = QStringLiteral("user@example.com");
    model.error = QStringLiteral("That code has expired. Ask for a new one.");
    model.publish();
    capture(view(), QSize(TessaronLoginView::width, 520), QStringLiteral("sign-in-email"));
    model.error.reset();
    onCodeStep(24);
    model.flowValue.code = QStringLiteral("1234");
    model.publish();
    capture(view(), QSize(TessaronLoginView::width, 520), QStringLiteral("sign-in-code"));
    model.flowValue.step = TessaronLoginFlow::Step::done;
    model.evicted = {QStringLiteral("Office Mac")};
    model.publish();
    capture(view(), QSize(TessaronLoginView::width, 520), QStringLiteral("sign-in-done"));
}

} // namespace
} // namespace tessaron::testing
