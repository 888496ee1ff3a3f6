#include "account_screens/account_section.hpp"
#include "account_screens/code_field.hpp"
#include "account_screens/link_captions.hpp"
#include "account_screens/login_view.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "fake_account_screen_model.hpp"
#include "platform/reduce_motion_observer.hpp"
#include "platform/url_opener.hpp"
#include "screen_probe.hpp"
#include "screens/reader_view.hpp"
#include "screens/screen_capture.hpp"
#include "screens/support_links.hpp"
#include "session/session_harness.hpp"
#include "support/fake_workspace.hpp"
#include "support/manual_clock.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/sheet_dialog.hpp"
#include "widgets/spinner.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleHints>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace tessaron::testing {
namespace {

TessaronAccount sampleAccount(bool links = true) {
    TessaronAccount account;
    account.email = u"Ada@Example.com"_s;
    account.subscriptionLinks = links;
    return account;
}

const QUrl link(u"https://sub.tessaron.app/s/Yq3t9KcV2mLx7PzR4wNb8dJh"_s);

TessaronSubscriptionLinkStatus linkStatus(bool active, std::optional<QDateTime> createdAt = std::nullopt,
                                          std::optional<QDateTime> lastFetchedAt = std::nullopt) {
    return {.active = active, .deviceName = {}, .createdAt = createdAt, .lastFetchedAt = lastFetchedAt};
}

TEST(LinkCaptions, EachStatusFieldGetsItsEnglishCaption) {
    const QDateTime now = QDateTime::fromString(u"2025-03-07T15:00:00"_s, Qt::ISODate);
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    for (const auto& [status, captions] : std::initializer_list<std::pair<Status, QStringList>>{
             {std::nullopt, {u"Not used yet"_s}},
             {linkStatus(true, now.addSecs(-51 * 3600)), {u"Created Mar 5, 2025"_s, u"Not used yet"_s}},
             {linkStatus(true, std::nullopt, now.addSecs(-3 * 3600)), {u"Last used 3 hours ago"_s}},
             {linkStatus(true, std::nullopt, now.addDays(-1)), {u"Last used yesterday"_s}}})
        EXPECT_EQ(linkCaptions(status, now, QLocale(QLocale::English, QLocale::UnitedStates)), captions);
}

// The account screens over a fake model; each is made and shown on first use.
class AccountScreensTest : public ::testing::Test {
protected:
    TessaronAccountSection& section() {
        if (!section_) {
            window_.resize(480, 400);
            window_.show();
            section_ = new TessaronAccountSection(model, session, clock, workspace, &motion, &window_);
            section_->show();
        }
        return *section_;
    }
    TessaronLoginView& login() { return shown(login_, model, session, harness.clock, motionSource); }
    TessaronOtherDevicesView& devices() { return shown(devices_, model, clock, workspace, motionSource); }
    template <class View, class... Parts> View& shown(std::unique_ptr<View>& view, Parts&... parts) {
        if (!view) {
            view = std::make_unique<View>(parts...);
            view->show();
        }
        return *view;
    }

    QLineEdit* field(const QString& id) { return byId<QLineEdit>(login(), u"tessaron.signIn."_s + id); }
    TessaronCodeField* codeField() { return qobject_cast<TessaronCodeField*>(field(u"code"_s)); }
    QAbstractButton* button(const QString& id) { return byId<QAbstractButton>(login(), id); }
    QString resendWait() { return visibleTexts(login()).filter(u"Resend in"_s).join(u'|'); }
    QWidget* spinner() { return button(u"tessaron.signIn.continue"_s)->findChild<TessaronSpinner*>(); }
    void onCodeStep(int resendRemaining = 0) {
        model.flowValue.step = TessaronLoginFlow::Step::code;
        model.flowValue.email = u" User@Example.com "_s;
        model.flowValue.resendRemaining = resendRemaining;
        model.publish();
    }
    bool shows(const QString& text) { return visibleTexts(devices()).contains(text); }
    ManualClock clock;
    ReduceMotionObserver motion{QDBusConnection(u"none"_s)};
    const ReduceMotionObserver* motionSource = &motion;
    FakeWorkspace workspace;
    FakeAccountScreenModel model;
    SessionHarness harness;
    TessaronSession* session = &harness.start();
    QWidget window_;
    TessaronAccountSection* section_ = nullptr;
    std::unique_ptr<TessaronLoginView> login_;
    std::unique_ptr<TessaronOtherDevicesView> devices_;
};

TEST_F(AccountScreensTest, SectionPresenceAndRowsFollowTheModel) {
    const QStringList signedIn{u"ACCOUNT"_s, u"Email"_s, u"Ada@Example.com"_s, u"Devices"_s, u"0"_s};
    // Providers known, the account, busy: what the section shows, a disabled button in brackets.
    for (const auto& [providers, account, busy, texts] :
         std::initializer_list<std::tuple<bool, std::optional<TessaronAccount>, bool, QStringList>>{
             {false, std::nullopt, false, {}},
             {true, std::nullopt, true, {u"ACCOUNT"_s, u"Sign in"_s}},
             {false, sampleAccount(false), false,
              signedIn + QStringList{u"Sign out"_s, u"Delete account…"_s}},
             {true, sampleAccount(), true,
              signedIn + QStringList{u"[Sign out]"_s, u"[Delete account…]"_s, u"Windows / Android"_s}}}) {
        model.providersValue = providers ? std::optional(TessaronProviders{}) : std::nullopt;
        model.accountValue = account;
        model.busy = busy;
        model.publish();
        EXPECT_EQ(visibleTexts(section()), sorted(texts));
    }
    // The absent section started no refresh; the present ones did, once for this appearance.
    EXPECT_EQ(model.calls, QStringList{u"refresh"_s});
}

// Absent because its service has not answered yet (the application started offline), the section asks
// again, with the session, at each appearance, and shows the account once the service answers; with no
// service configured it asks nothing and stays absent.
TEST_F(AccountScreensTest, AnAbsentSectionAsksItsServiceAgainAtEachAppearanceUntilItAnswers) {
    const QStringList signedIn{u"ACCOUNT"_s, u"Email"_s,    u"Ada@Example.com"_s, u"Devices"_s,
                               u"0"_s,       u"Sign out"_s, u"Delete account…"_s};
    for (const auto& [configured, calls, texts] :
         std::initializer_list<std::tuple<bool, QStringList, QStringList>>{
             {false, {}, {}}, {true, {u"refresh"_s, u"refresh"_s}, signedIn}}) {
        FakeAccountScreenModel offline;
        offline.serviceConfigured = configured;
        QWidget window;
        auto* absent = new TessaronAccountSection(offline, session, clock, workspace, &motion, &window);
        window.show();
        EXPECT_TRUE(visibleTexts(*absent).isEmpty()) << "the service does not answer";
        window.hide();
        offline.outcome = [&offline] {
            offline.providersValue = TessaronProviders{};
            offline.accountValue = sampleAccount(false);
        };
        window.show();
        EXPECT_EQ(std::tuple(offline.calls, offline.lastSession, visibleTexts(*absent)),
                  std::tuple(calls, configured ? session : nullptr, sorted(texts)));
    }
}

// A long address wraps within its row, or is cut there: Settings never grows wider than its window for it.
TEST_F(AccountScreensTest, ALongAddressKeepsTheSectionWithinTheNarrowestWindow) {
    for (const QString& email :
         {u"lapsed-person-with-an-exceptionally-long-mailbox-name-for-testing@tessaron.test"_s,
          u"someone"_s.repeated(12) + u"@tessaron.test"_s}) {
        TessaronAccount account = sampleAccount();
        account.email = email;
        model.accountValue = account;
        model.publish();
        EXPECT_LE(section().minimumSizeHint().width(), 360 - 2 * 20) << email.toStdString();
        EXPECT_TRUE(visibleTexts(section()).contains(email));
    }
}

// Neither a refused deletion nor one that never reached the service may look like a success: the error
// stays under the rows until the next action or appearance.
TEST_F(AccountScreensTest, SectionConfirmationsStartTheirCallWithTheSessionAndADeletionErrorStays) {
    const QString refused = u"The account service refused the request."_s;
    const QString again = u"Please sign in again."_s;
    model.providersValue = TessaronProviders{};
    model.accountValue = sampleAccount();
    section();
    QString shown;
    // The row clicked (none: the section hides and shows again) and the answer; the calls made; the error the
    // call leaves, shown until the next step; whether the call signed out.
    for (const auto& [row, reply, calls, error, signsOut] :
         std::initializer_list<std::tuple<QString, QString, QStringList, QString, bool>>{
             {u"Delete account…"_s, u"Cancel"_s, {}, {}, false},
             {u"Delete account…"_s, u"Delete"_s, {u"deleteAccount"_s}, refused, false},
             {u"Sign out"_s, u"Cancel"_s, {}, {}, false},
             {u"Delete account…"_s, u"Delete"_s, {u"deleteAccount"_s}, refused, false},
             {{}, {}, {u"refresh"_s}, {}, false},
             // No stored token: the model signed out locally and asks to sign in again.
             {u"Delete account…"_s, u"Delete"_s, {u"deleteAccount"_s}, again, true},
             {u"Sign out"_s, u"Sign out"_s, {u"signOut"_s}, {}, false}}) {
        SCOPED_TRACE((row + u" / "_s + reply).toStdString());
        model.accountValue = sampleAccount();
        model.error.reset();
        model.publish();
        EXPECT_TRUE(visibleTexts(section()).contains(shown) || shown.isEmpty()) << "kept through a redraw";
        shown = error;
        model.calls.clear();
        model.lastSession = nullptr;
        model.outcome = [&, signsOut = signsOut] {
            model.error = shown.isEmpty() ? std::nullopt : std::optional(shown);
            if (signsOut)
                model.accountValue.reset();
        };
        if (row.isEmpty()) {
            section().hide();
            section().show();
        } else {
            click(showing(section(), row));
            answer(section(), row == u"Sign out"_s ? u"Sign out?"_s : u"Delete your Tessaron account?"_s,
                   reply);
        }
        EXPECT_EQ(model.calls, calls);
        EXPECT_EQ(model.lastSession, calls.isEmpty() ? nullptr : session);
        const QStringList texts = visibleTexts(section());
        EXPECT_EQ(texts.contains(refused) || texts.contains(again), !shown.isEmpty());
        EXPECT_TRUE(texts.contains(shown) || shown.isEmpty());
        if (shown == refused) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const auto top = [&](QWidget* widget) {
                return widget ? widget->mapTo(&section(), QPoint()).y() : -1;
            };
            EXPECT_GT(top(showing<QLabel>(section(), refused)),
                      top(showing(section(), u"Delete account…"_s)));
        }
    }
}

// The sheets the section opens follow the desktop's reduce-motion setting as it changes: no step fade,
// no spinner on "Create link".
TEST_F(AccountScreensTest, SectionSheetsFollowReduceMotionAsItChanges) {
    model.providersValue = TessaronProviders{};
    model.publish();
    showing(section(), u"Sign in"_s)->click();
    model.accountValue = sampleAccount();
    model.linkBusy = true;
    model.publish();
    showing(section(), u"Windows / Android"_s)->click();
    for (const bool reduce : {true, false, true}) {
        setReduceMotion(motion, reduce);
        model.flowValue.step = reduce ? TessaronLoginFlow::Step::code : TessaronLoginFlow::Step::email;
        model.publish();
        auto* step =
            byId(*section().signInSheet(), reduce ? u"tessaron.signIn.code"_s : u"tessaron.signIn.email"_s);
        auto* create = section().otherDevicesSheet()->findChild<TessaronPrimaryButton*>();
        EXPECT_EQ(std::pair(step->parentWidget()->graphicsEffect() != nullptr, create->showsSpinner()),
                  std::pair(!reduce, !reduce));
    }
}

TEST_F(AccountScreensTest, LoginEmailStep) {
    using Providers = std::optional<TessaronProviders>;
    for (const auto& [providers, buttons] : std::initializer_list<std::pair<Providers, QStringList>>{
             {std::nullopt, {}},
             {TessaronProviders{.email = true, .apple = true, .google = true, .whop = true},
              {u"Continue with Google"_s, u"Continue with Whop"_s}},
             {TessaronProviders{.apple = true}, {}},
             {TessaronProviders{.whop = true}, {u"Continue with Whop"_s}}}) {
        model.providersValue = providers;
        model.publish();
        EXPECT_EQ(visibleTexts(login()).filter(QRegularExpression(u"^Continue with "_s)), buttons);
        EXPECT_TRUE(visible(login(), u"tessaron.signIn.or"_s)) << "the divider shows, also with no provider";
    }

    // Only an error from the web sign-in's callback carries its identifier.
    model.error = u"That code has expired. Ask for a new one."_s;
    model.publish();
    EXPECT_TRUE(visibleTexts(login()).contains(*model.error));
    EXPECT_EQ(byId(login(), u"tessaron.signIn.oauthError"_s), nullptr);
    // Only the user's close ends a web sign-in that still waits: a minimise leaves it waiting.
    model.errorFromCallback = true;
    for (const auto& [close, cancels] : std::initializer_list<std::pair<std::function<void()>, int>>{
             {[&] { login().setWindowState(Qt::WindowMinimized); }, 0},
             {[&] { click(button(u"tessaron.signIn.cancel"_s)); }, 1},
             {[&] { QTest::keyClick(&login(), Qt::Key_Escape); }, 1},
             {[&] { login().close(); }, 1}}) {
        model.busy = false;
        model.publish();
        model.calls.clear();
        click(button(u"tessaron.signIn.whop"_s));
        model.busy = true;
        model.publish();
        EXPECT_TRUE(visible(login(), u"tessaron.signIn.oauthError"_s));
        close();
        EXPECT_EQ(model.calls, QStringList{u"signIn(whop)"_s} + QStringList(cancels, u"cancelWebSignIn"_s));
        login().setWindowState(Qt::WindowNoState);
        login().show();
    }

    // "Continue" needs a plausible address and an idle model; Return starts the request.
    for (const auto& [typed, busy, enabled] :
         std::initializer_list<std::tuple<QString, bool, bool>>{{u" USER@Example.com "_s, false, true},
                                                                {u"user@ "_s, false, false},
                                                                {u"user@example.com"_s, true, false}}) {
        model.busy = busy;
        field(u"email"_s)->clear();
        QTest::keyClicks(field(u"email"_s), typed);
        EXPECT_EQ(button(u"tessaron.signIn.continue"_s)->isEnabled(), enabled) << typed.toStdString();
        EXPECT_EQ(spinner()->isVisibleTo(&login()), busy) << "spins while busy";
    }
    // Return runs the field's action alone: no button of the sheet is a default one, and the sheet stays.
    model.calls.clear();
    QTest::keyClick(field(u"email"_s), Qt::Key_Return);
    EXPECT_EQ(model.calls, QStringList{u"startEmailSignIn"_s});
    EXPECT_EQ(std::pair(login().isVisible(), field(u"email"_s)->text()),
              std::pair(true, u"user@example.com"_s));
    for (auto* frameButton : login().findChildren<QPushButton*>())
        EXPECT_FALSE(frameButton->isDefault() || frameButton->autoDefault())
            << frameButton->text().toStdString();
    QTest::keyClick(field(u"email"_s), Qt::Key_Escape);
    EXPECT_FALSE(login().isVisible());
}

TEST_F(AccountScreensTest, LoginCodeFieldSubmitsOnceWhenCompleteAndResendCountsDownInVirtualTime) {
    login();
    onCodeStep(30);
    // A paste replaces what the field held; it shows what the flow keeps, and a completed code submits.
    QLineEdit* code = field(u"code"_s);
    for (const auto& [pasted, kept, submits] : std::initializer_list<std::tuple<QString, QString, qsizetype>>{
             {u"a1b2c3"_s, u"123"_s, 0}, {u"12 34 56"_s, u"123456"_s, 1}}) {
        code->selectAll();
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(code, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(code->text(), kept);
        EXPECT_EQ(model.calls.count(u"verifyEmailCode"_s), submits) << pasted.toStdString();
    }
    // Deleting a digit and typing it again submits, once; so does Return, and the sheet stays.
    QTest::keyClick(code, Qt::Key_Backspace);
    QTest::keyClicks(code, u"6x"_s);
    EXPECT_EQ(code->text(), u"123456"_s);
    EXPECT_EQ(model.calls.count(u"verifyEmailCode"_s), 2);
    QTest::keyClick(code, Qt::Key_Return);
    EXPECT_EQ(std::pair(model.calls.count(u"verifyEmailCode"_s), login().isVisible()),
              std::pair(qsizetype(3), true));
    EXPECT_EQ(model.lastSession, session);
    // The field is underlined by the theme's hairline, which a screen reader skips.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const auto* line = code->parentWidget()->findChild<TessaronHairline*>();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(std::tuple(line->y(), line->width(), line->height(), accessibleTraits(line).invisible),
              std::tuple(code->geometry().bottom() + 1, code->width(), 1, true));

    // The resend waits, counting down, and stops with the view.
    for (const auto& [elapsed, shown] : {std::pair(0s, u"Resend in 30 s"_s),
                                         {1s, u"Resend in 29 s"_s},
                                         {28s, u"Resend in 1 s"_s},
                                         {1s, QString()}}) {
        harness.clock.advance(elapsed);
        EXPECT_EQ(resendWait(), shown);
        EXPECT_EQ(visible(login(), u"tessaron.signIn.resend"_s), shown.isEmpty());
    }

    // A resend that issued a new code runs the count again.
    model.outcome = [&] {
        model.flowValue.resendRemaining = 5;
    };
    click(button(u"tessaron.signIn.resend"_s));
    harness.clock.advance(2s);
    EXPECT_EQ(resendWait(), u"Resend in 3 s"_s);
    login().close();
    harness.clock.advance(10s);
    EXPECT_EQ(model.flowValue.resendRemaining, 3);
}

// The sheet opens with the focus in the field its step asks for and brings it back there after a wrong
// code; Return presses the focused button.
TEST_F(AccountScreensTest, LoginFocusIsWhereTheStepAsksAndReturnPressesTheFocusedButton) {
    model.providersValue = TessaronProviders{.google = true};
    model.publish();
    login().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&login()));
    EXPECT_EQ(QApplication::focusWidget(), field(u"email"_s));
    // Return on an address the model refuses changes nothing in the sheet: the dimmed "Continue" is the cue.
    QTest::keyClicks(QApplication::focusWidget(), u"ann"_s);
    const QStringList before = visibleTexts(login());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(visibleTexts(login()), before);
    EXPECT_FALSE(button(u"tessaron.signIn.continue"_s)->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), field(u"email"_s));
    QTest::keyClicks(QApplication::focusWidget(), u"@example.com"_s);
    EXPECT_EQ(model.flowValue.email, u"ann@example.com"_s);

    // Tab goes round named controls only, never onto the unnamed column that holds them.
    QStringList unnamed;
    for (int step = 0; step < 8; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* reader = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
        if (reader->text(QAccessible::Name).isEmpty())
            unnamed.append(QString::fromLatin1(QApplication::focusWidget()->metaObject()->className()));
    }
    EXPECT_EQ(unnamed, QStringList());

    // Return on a button presses it; in a field it stays the field's own.
    model.calls.clear();
    button(u"tessaron.signIn.google"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(model.calls, QStringList{u"signIn(google)"_s});
    model.busy = false;
    model.publish();

    onCodeStep(30);
    EXPECT_EQ(QApplication::focusWidget(), field(u"code"_s));
    // A wrong code: the field turns off while the model works and takes the focus back with the answer.
    QTest::keyClicks(QApplication::focusWidget(), u"123456"_s);
    model.busy = true;
    model.publish();
    // A Return typed after the code while it is checked presses nothing (Cancel least of all).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(login().isVisible());
    model.busy = false;
    model.flowValue.code.clear();
    model.error = u"That code is not right. 2 attempts left."_s;
    model.publish();
    EXPECT_EQ(QApplication::focusWidget(), field(u"code"_s));

    model.calls.clear();
    button(u"tessaron.signIn.differentEmail"_s)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    EXPECT_EQ(model.calls, QStringList{u"resetLoginFlow"_s});

    // A Return still meant for the code does not close the done step unread; Tab reaches Done.
    field(u"code"_s)->setFocus();
    model.flowValue.step = TessaronLoginFlow::Step::done;
    model.publish();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(login().isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button(u"tessaron.signIn.done"_s));
}

// Readers meet the sheet by its name and its title as a heading, each field by its name and an error line by
// its words.
TEST_F(AccountScreensTest, LoginReadsAsANamedSheetWithNamedFieldsAndErrorLine) {
    const auto name = [](QObject* object) {
        return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
    };
    model.error = u"Tessaron could not reach the account service."_s;
    model.publish();
    QLabel* error = showing<QLabel>(login(), *model.error);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(QStringList({name(&login()), name(field(u"email"_s)), name(field(u"code"_s)), name(error)}),
              QStringList({u"Sign in"_s, u"Email"_s, u"Code"_s, *model.error}));
    // The sheet's title heads it, as a heading.
    QLabel* title = showing<QLabel>(login(), u"Sign in"_s);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(std::pair(QAccessible::queryAccessibleInterface(title)->role(), name(title)),
              std::pair(QAccessible::Heading, u"Sign in"_s));
    // A busy button reads as its words alone: its spinner is hidden from readers.
    model.providersValue = TessaronProviders{.google = true};
    model.busy = true;
    model.publish();
    for (const QString& id : {u"tessaron.signIn.continue"_s, u"tessaron.signIn.google"_s}) {
        auto* reader = QAccessible::queryAccessibleInterface(button(id));
        EXPECT_EQ(reader->text(QAccessible::Name), button(id)->text());
        for (int index = 0; index < reader->childCount(); ++index)
            EXPECT_TRUE(reader->child(index)->state().invisible) << id.toStdString();
    }
    EXPECT_EQ(QFontInfo(codeField()->shownFont()).family(), u"Quicksand"_s) << "fonts-quicksand";
}

// Each step of the sheet reads from its bar down as it stands on the screen, and every element read has a
// name: nothing empty is left in the bar beside Cancel, where the column heads the sheet.
TEST_F(AccountScreensTest, EachSignInStepReadsInScreenOrderWithEveryElementNamed) {
    model.providersValue = TessaronProviders{.google = true, .whop = true};
    model.flowValue.email = u"ada.lovelace.countess.of.lovelace.analyticaengine@mathematics-club.org"_s;
    model.publish();
    login().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&login()));
    // The step, and the message shown on it.
    const std::pair<TessaronLoginFlow::Step, std::optional<QString>> steps[] = {
        {TessaronLoginFlow::Step::email, std::nullopt},
        {TessaronLoginFlow::Step::code, u"That code is not right. 2 attempts left."_s},
        {TessaronLoginFlow::Step::done, std::nullopt},
    };
    for (const auto& [step, error] : steps) {
        model.flowValue.step = step;
        model.error = error;
        model.publish();
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents();
        const auto read = readElements(login());
        EXPECT_EQ(std::pair(readWithoutName(read), readAgainstScreenOrder(read)),
                  std::pair(QStringList(), QStringList()))
            << int(step);
        // Tab goes round the step's controls, never onto the column.
        EXPECT_EQ(containerStops(tabRound(login())), QStringList()) << int(step);
    }
}

// The code's digits are Quicksand's, each centred in a cell of one width, so a code of ones stands as wide as
// one of zeros. Under them the line edit keeps the mouse, the selection, the caret and the readers' text.
TEST_F(AccountScreensTest, CodeDigitsStandInCellsOfOneWidth) {
    setReduceMotion(motion, true);
    login();
    onCodeStep();
    TessaronCodeField* code = codeField();
    ASSERT_NE(code, nullptr);
    const auto picture = [&] {
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents();
        return login().grab(QRect(code->mapTo(&login(), QPoint()), code->size())).toImage();
    };
    // Where each digit's ink starts, from where the first one's does.
    const auto inkStarts = [&](const QString& digits) {
        model.flowValue.code = digits;
        model.publish();
        const QImage shown = picture();
        QList<int> starts;
        for (int x = 0, inInk = false; x < shown.width(); ++x) {
            bool ink = false;
            for (int y = 0; y < shown.height() && !ink; ++y)
                ink = qGray(shown.pixel(x, y)) > 128;
            if (ink && !inInk)
                starts.append(x);
            inInk = ink;
        }
        const int first = starts.value(0);
        for (int& start : starts)
            start -= first;
        return starts;
    };
    // Without the caret.
    picture();
    code->clearFocus();
    const QList<int> ones = inkStarts(u"111111"_s), zeros = inkStarts(u"000000"_s);
    ASSERT_EQ(std::pair(ones.size(), zeros.size()), std::pair(qsizetype(6), qsizetype(6)));
    for (int index = 1; index < 6; ++index)
        EXPECT_NEAR(ones[index], zeros[index], 1) << "digit " << index;

    // The person works in the field: the window takes the keyboard, and the step gives the field the focus.
    model.flowValue.code = u"012345"_s;
    model.publish();
    login().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&login()));
    const auto at = [&](int index, qreal across) {
        const QRectF cell = code->cell(index);
        return QPoint(qRound(cell.left() + cell.width() * across), qRound(cell.center().y()));
    };
    // A click puts the caret on the nearer side of the digit; a drag selects the digits it passes.
    QTest::mouseClick(code, Qt::LeftButton, {}, at(4, 0.2));
    EXPECT_EQ(code->cursorPosition(), 4);
    QTest::mouseClick(code, Qt::LeftButton, {}, at(4, 0.8));
    EXPECT_EQ(code->cursorPosition(), 5);
    // The caret blinks at the cell's left edge: the pictures differ there alone.
    const auto flash = std::chrono::milliseconds(QGuiApplication::styleHints()->cursorFlashTime() / 2);
    QList<QImage> blinks{picture()};
    for (int turn = 0; turn < 2; ++turn) {
        harness.clock.advance(flash);
        blinks.append(picture());
    }
    QRect changed;
    for (int y = 0; y < blinks[0].height(); ++y) {
        for (int x = 0; x < blinks[0].width(); ++x)
            changed |= blinks[0].pixel(x, y) != blinks[1].pixel(x, y) ? QRect(x, y, 1, 1) : QRect();
    }
    const QRectF caretCell = code->cell(5);
    EXPECT_EQ(std::tuple(blinks[0] == blinks[2], changed.left(), changed.height() >= caretCell.height() - 1),
              std::tuple(true, qFloor(caretCell.left()), true));
    QTest::mousePress(code, Qt::LeftButton, {}, at(1, 0.1));
    QTest::mouseMove(code, at(4, 0.1));
    QTest::mouseRelease(code, Qt::LeftButton, {}, at(4, 0.1));
    EXPECT_EQ(code->selectedText(), u"123"_s);
    const QImage selected = picture();
    const QColor highlight = QApplication::palette(code).color(QPalette::Highlight);
    QList<bool> highlighted;
    for (int index = 0; index < 6; ++index) {
        const QRectF cell = code->cell(index);
        highlighted.append(selected.pixelColor(qRound(cell.left()) + 1, qRound(cell.bottom()) - 2) ==
                           highlight);
    }
    EXPECT_EQ(highlighted, QList<bool>({false, true, true, true, false, false}));
    auto* reader = QAccessible::queryAccessibleInterface(code);
    EXPECT_EQ(std::pair(reader->role(), reader->textInterface()->text(0, 6)),
              std::pair(QAccessible::EditableText, u"012345"_s));
}

// Which columns of a picture hold ink, in device pixels.
QList<bool> inkColumns(const QImage& picture) {
    QList<bool> ink(picture.width(), false);
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height() && !ink[x]; ++y)
            ink[x] = qGray(picture.pixel(x, y)) > 100;
    return ink;
}

// The runs of ink columns, first and last, in logical pixels.
QList<std::pair<qreal, qreal>> inkRuns(const QList<bool>& ink, qreal ratio) {
    QList<std::pair<qreal, qreal>> runs;
    for (int x = 0; x < ink.size(); ++x) {
        if (ink[x] && (x == 0 || !ink[x - 1]))
            runs.append({x / ratio, x / ratio});
        if (ink[x])
            runs.last().second = (x + 1) / ratio;
    }
    return runs;
}

// The first column lit in `shown` that is dark in `without`, in logical pixels: the caret.
qreal caretColumn(const QImage& shown, const QImage& without, qreal ratio) {
    const QList<bool> lit = inkColumns(shown), before = inkColumns(without);
    for (int x = 0; x < lit.size(); ++x)
        if (lit[x] && !before[x])
            return x / ratio;
    return -1;
}

// At every width of the field, the digits, the caret and a click agree to the pixel with the line edit's own
// layout: the caret stands where the line edit tells input methods it is, in the middle of the gap before the
// digit it precedes; the digits stay put as the caret moves; a click on the left of a digit puts the cursor
// before it, on its right after it. Empty, the placeholder shows whole with the caret before it.
TEST_F(AccountScreensTest, CodeDigitsTheCaretAndClicksAgreeAtEveryWidth) {
    setReduceMotion(motion, true);
    login();
    onCodeStep();
    TessaronCodeField* code = codeField();
    ASSERT_NE(code, nullptr);
    login().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&login()));
    const qreal ratio = login().devicePixelRatioF();
    const auto picture = [&] {
        QCoreApplication::sendPostedEvents();
        return login().grab(QRect(code->mapTo(&login(), QPoint()), code->size())).toImage();
    };
    const auto shownWith = [&](const QString& digits, std::optional<int> caret) {
        model.flowValue.code = digits;
        model.publish();
        if (!caret) {
            code->clearFocus();
            return picture();
        }
        code->setFocus();
        code->setCursorPosition(*caret);
        return picture();
    };
    for (const int width : {220, 221, 301, 344}) {
        code->setFixedWidth(width);
        login().layout()->activate();
        const QString zeros = u"000000"_s;
        const QImage still = shownWith(zeros, std::nullopt);
        const auto digits = inkRuns(inkColumns(still), ratio);
        ASSERT_EQ(digits.size(), 6) << width;
        // Where the caret is drawn against where the line edit has it, and against the middle of its gap;
        // whether the digits stood still.
        QList<qreal> offLineEdit, offGap;
        QList<bool> digitsStill;
        for (int at = 0; at <= 6; ++at) {
            const QImage shown = shownWith(zeros, at);
            const qreal caret = caretColumn(shown, still, ratio);
            offLineEdit.append(caret - code->inputMethodQuery(Qt::ImCursorRectangle).toRectF().center().x());
            if (at > 0 && at < 6)
                offGap.append(caret + 0.5 - (digits[at - 1].second + digits[at].first) / 2);
            const auto runs = inkRuns(inkColumns(shown), ratio);
            digitsStill.append(runs.size() == 7 && std::ranges::all_of(digits, [&](const auto& run) {
                                   return runs.contains(run);
                               }));
        }
        QList<int> clicked, expected;
        for (int index = 0; index < 6; ++index) {
            for (const qreal across : {0.25, 0.75}) {
                const auto [left, right] = digits[index];
                QTest::mouseClick(code, Qt::LeftButton, {},
                                  QPoint(qRound(left + (right - left) * across), code->height() / 2));
                clicked.append(code->cursorPosition());
                expected.append(index + (across > 0.5 ? 1 : 0));
            }
        }
        const auto within = [](const QList<qreal>& offs, qreal limit) {
            return std::ranges::all_of(offs, [limit](qreal off) { return std::abs(off) <= limit; });
        };
        EXPECT_EQ(std::tuple(within(offLineEdit, 0.5), within(offGap, 1), digitsStill, clicked),
                  std::tuple(true, true, QList<bool>(7, true), expected))
            << width << ": caret off the line edit's " << ::testing::PrintToString(offLineEdit)
            << ", off its gap " << ::testing::PrintToString(offGap);

        // Empty: the caret before the whole placeholder, in the middle of a tracking's gap.
        const QImage placeholder = shownWith({}, std::nullopt);
        const QImage focused = shownWith({}, 0);
        const auto letters = inkRuns(inkColumns(placeholder), ratio);
        ASSERT_FALSE(letters.isEmpty()) << width;
        const qreal caret = caretColumn(focused, placeholder, ratio);
        EXPECT_EQ(std::tuple(caret < letters.first().first, letters.first().first - caret <= 8,
                             inkRuns(inkColumns(focused), ratio).mid(1) == letters),
                  std::tuple(true, true, true))
            << width << ": caret " << caret << ", placeholder from " << letters.first().first;
    }
}

// Each step is saved as a picture, with motion reduced. The done step names the account and the devices
// signed out, and stays open when no connection is selected.
// A sheet is shown at the height of its content: the window manager frames it at that size. Its column is
// measured at the width it has by then, not at the width it had before it was laid out, which would give
// the bar and a strip of the column with the e-mail field out of sight, and nothing might measure again
// (the sign-in sheet of a model that knows everything changes nothing after it shows).
TEST_F(AccountScreensTest, ASheetIsShownAtTheHeightOfItsContent) {
    model.providersValue = TessaronProviders{.google = true, .whop = true};
    model.publish();
    window_.resize(480, 600);
    window_.show();
    // Over a window, measured first as the sheet host does; and on its own.
    for (QWidget* over : {&window_, static_cast<QWidget*>(nullptr)}) {
        TessaronLoginView sheet(model, session, harness.clock, motionSource, over);
        if (over)
            sheet.adjustSize();
        sheet.show();
        const int shown = sheet.height();
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents();
        auto* scroll = sheet.findChild<QScrollArea*>();
        auto* email = byId<QLineEdit>(sheet, u"tessaron.signIn.email"_s);
        const QRect view(scroll->viewport()->mapToGlobal(QPoint()), scroll->viewport()->size());
        EXPECT_EQ(std::tuple(shown, scroll->verticalScrollBar()->isVisible(),
                             view.contains(QRect(email->mapToGlobal(QPoint()), email->size()))),
                  std::tuple(sheet.height(), false, true))
            << (over ? "over a window" : "on its own");
        EXPECT_GT(shown, 300);
    }
}

TEST_F(AccountScreensTest, LoginStepsAsShownAndTheDoneStepClosesOnlyOverASelectedConnection) {
    const auto size = [&] {
        // Layouts, and the scroll bar shown or hidden a turn later.
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents();
        return login().size();
    };
    setReduceMotion(motion, true);
    model.flowValue.email = u"user@example.com"_s;
    model.error = u"That code has expired. Ask for a new one."_s;
    model.publish();
    capture(login(), size(), u"sign-in-email-alone"_s);
    model.providersValue = TessaronProviders{.google = true, .whop = true};
    model.publish();
    capture(login(), size(), u"sign-in-email"_s);
    // The sheet is as tall as its content, and scrolls only what the screen cannot hold.
    auto* scroll = login().findChild<QScrollArea*>();
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "Continue with Whop shows whole";
    model.error = QStringList(80, *model.error).join(u'\n');
    model.publish();
    size();
    const QRect frame = login().frameGeometry(), screen = login().screen()->availableGeometry();
    EXPECT_EQ(std::pair(frame.top(), frame.bottom()), std::pair(screen.top(), screen.bottom()));
    EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
    // Reduce motion stills the steps, not the work: the spinners still tell that something goes on.
    model.busy = true;
    model.publish();
    EXPECT_TRUE(spinner()->isVisibleTo(&login()));
    EXPECT_TRUE(
        byId(login(), u"tessaron.signIn.whop"_s)->findChild<TessaronSpinner*>()->isVisibleTo(&login()));
    model.error.reset();
    model.busy = false;
    model.flowValue.code = u"1234"_s;
    onCodeStep(24);
    capture(login(), size(), u"sign-in-code"_s);

    // Over a session with a connection selected as the step becomes done, the sheet closes by itself 1.2 s
    // later; a connection selected only afterwards (grant recovery right after sign-in) leaves it open.
    for (const bool selectedFirst : {true, false}) {
        SessionHarness world;
        world.grantConsent();
        const TessaronProfile oslo = sampleProfile(u"Oslo"_s);
        world.save(oslo);
        TessaronSession& later = world.launch();
        if (selectedFirst)
            later.select(oslo.id);
        TessaronLoginView view(model, &later, world.clock, nullptr);
        view.show();
        QSignalSpy accepted(&view, &QDialog::accepted);
        model.flowValue.step = TessaronLoginFlow::Step::done;
        model.publish();
        if (!selectedFirst)
            later.select(oslo.id);
        world.clock.advance(1199ms);
        EXPECT_EQ(accepted.count(), 0);
        world.clock.advance(1ms);
        EXPECT_EQ(std::pair(accepted.count(), view.isVisible()),
                  std::pair(qsizetype(selectedFirst), !selectedFirst));
    }
    EXPECT_TRUE(visibleTexts(login()).contains(u"user@example.com"_s));
    EXPECT_FALSE(visible(login(), u"tessaron.signIn.evicted"_s) ||
                 visible(login(), u"tessaron.signIn.cancel"_s));
    model.accountValue.emplace().email = u"stored@example.com"_s;
    model.evicted = {u"Office Mac"_s, u"iPad"_s};
    model.publish();
    EXPECT_TRUE(visibleTexts(login()).contains(u"stored@example.com"_s));
    EXPECT_TRUE(visibleTexts(login()).contains(u"Signed out on Office Mac, iPad."_s));
    QTest::keyClick(&login(), Qt::Key_Escape);
    EXPECT_TRUE(login().isVisible()) << "the done step has no Cancel";
    capture(login(), size(), u"sign-in-done"_s);
    harness.clock.advance(2s);
    EXPECT_TRUE(login().isVisible());
}

// The page follows the link's status and the URL held here; busy disables its actions but not the guide or
// "Close". The pages with and without a link are saved as pictures.
TEST_F(AccountScreensTest, OtherDevicesPagesAndTheirActions) {
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    const QStringList linkRows{u"Copy link"_s, u"Reset link"_s, u"Remove link"_s};
    const QStringList busyRows{u"[Copy link]"_s, u"[Reset link]"_s, u"[Remove link]"_s};
    // Status, URL held here, unavailable, busy: the buttons shown besides "Close".
    for (const auto& [status, url, unavailable, busy, buttons] :
         std::initializer_list<std::tuple<Status, std::optional<QUrl>, bool, bool, QStringList>>{
             {std::nullopt, std::nullopt, false, true, {u"[Create link]"_s, u"How to set up"_s}},
             {std::nullopt, link, false, true, busyRows},
             {linkStatus(true), std::nullopt, false, true, {u"[Reset link]"_s, u"[Remove link]"_s}},
             {linkStatus(true), link, false, true, busyRows},
             // An inactive status hides the URL.
             {linkStatus(false), link, false, true, {u"[Create link]"_s, u"How to set up"_s}},
             {linkStatus(true), link, true, false, {}},
             {linkStatus(true), link, false, false, linkRows}}) {
        model.status = status;
        model.localURL = url;
        model.unavailable = unavailable;
        model.linkBusy = busy;
        model.publish();
        EXPECT_EQ(buttonTexts(devices()), sorted(buttons + QStringList{u"Close"_s}));
        const QString shown = buttons.size() == 3 ? link.toString() : QString();
        EXPECT_EQ(devices().findChild<TessaronSubscriptionQRCode*>()->value(), shown);
        EXPECT_EQ(shows(link.toString()), !shown.isEmpty());
        if ((!status && !url) || buttons == linkRows)
            capture(devices(), QSize(440, 600), url ? u"other-devices-link"_s : u"other-devices-no-link"_s);
    }
    EXPECT_EQ(model.calls, QStringList{u"refreshSubscriptionLink"_s});
    model.linkError = u"Too many attempts. Try again later."_s;
    model.publish();
    EXPECT_TRUE(shows(*model.linkError));
    click(byId<QAbstractButton>(devices(), u"tessaron.otherDevices.guide"_s));
    EXPECT_EQ(workspace.opened, QList<QUrl>{TessaronSupportLinks::windowsGuide()});

    // "Copy link" puts exactly the URL on the clipboard and says so for 1.5 s.
    QGuiApplication::clipboard()->setText(u"something else"_s);
    click(byId<QAbstractButton>(devices(), u"tessaron.otherDevices.copy"_s));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), link.toString());
    clock.advance(1499ms);
    EXPECT_TRUE(shows(u"Copied"_s));
    EXPECT_EQ(byId<QAbstractButton>(devices(), u"tessaron.otherDevices.copy"_s), nullptr);
    clock.advance(1ms);
    EXPECT_TRUE(shows(u"Copy link"_s));

    // Closing within the 1.5 s cancels the reset; the next presentation starts with "Copy link".
    click(showing(devices(), u"Copy link"_s));
    devices().close();
    EXPECT_EQ(clock.pendingCount(), 0u);
    devices().show();
    EXPECT_TRUE(shows(u"Copy link"_s));
}

TEST_F(AccountScreensTest, OtherDevicesSheetFitsItsContentInACentredColumn) {
    model.linkBusy = false;
    model.publish();
    auto& sheet = devices();
    QCoreApplication::sendPostedEvents();
    // At least 560 tall, as far as the screen holds it, and nothing to scroll for the short page.
    auto* scroll = sheet.findChild<QScrollArea*>();
    const int room =
        sheet.screen()->availableGeometry().height() - assumedFrame().top() - assumedFrame().bottom();
    EXPECT_EQ(sheet.height(), std::min(560, room));
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    // In a wide sheet the column stays at most 560 wide, centred.
    sheet.resize(1000, sheet.height());
    QCoreApplication::sendPostedEvents();
    auto* guide = byId<QAbstractButton>(sheet, u"tessaron.otherDevices.guide"_s);
    QWidget* row = guide->parentWidget();
    const QRect column(row->mapTo(&sheet, QPoint()), row->size());
    EXPECT_LE(column.width(), 560 - 2 * 24);
    EXPECT_NEAR(column.center().x(), sheet.width() / 2, 12);
    // The row is drawn full width, but only the words "How to set up" take the click.
    const QPoint words = guide->mapTo(row, guide->rect().center());
    for (const auto& [where, opens] :
         {std::pair(QPoint(row->width() - 4, row->height() / 2), false),
          std::pair(QPoint(4, row->height() / 2), false), std::pair(words, true)}) {
        workspace.opened.clear();
        QWidget* hit = row->childAt(where);
        QTest::mouseClick(hit ? hit : row, Qt::LeftButton, {}, hit ? hit->mapFrom(row, where) : where);
        EXPECT_EQ(workspace.opened.size(), opens ? 1 : 0) << where.x();
    }
}

// The sheet opens with the focus on its page's main action, not on Close; a busy one takes it once it works,
// and a new page hands it to its own.
TEST_F(AccountScreensTest, OtherDevicesFocusIsOnThePagesMainAction) {
    model.linkBusy = true;
    model.publish();
    devices().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&devices()));
    // The button the sheet's focus is on; none while it waits for one to work.
    const auto focused = [this] {
        const auto* button = qobject_cast<const QAbstractButton*>(devices().focusWidget());
        return button ? button->text() : QString();
    };
    EXPECT_EQ(focused(), QString());
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    // Status, URL held here, busy: the button with the focus.
    for (const auto& [status, url, busy, expected] :
         std::initializer_list<std::tuple<Status, std::optional<QUrl>, bool, QString>>{
             {std::nullopt, std::nullopt, false, u"Create link"_s},
             {linkStatus(true), link, false, u"Copy link"_s},
             {linkStatus(true), std::nullopt, false, u"Reset link"_s},
             {linkStatus(true), std::nullopt, true, QString()},
             {linkStatus(true), std::nullopt, false, u"Reset link"_s},
             {std::nullopt, std::nullopt, true, QString()},
             {std::nullopt, std::nullopt, false, u"Create link"_s}}) {
        model.status = status;
        model.localURL = url;
        model.linkBusy = busy;
        model.publish();
        EXPECT_EQ(focused(), expected) << expected.toStdString();
    }
    // A person who moved on keeps their place when the sheet is done working.
    byId<QAbstractButton>(devices(), u"tessaron.otherDevices.guide"_s)->setFocus();
    model.linkBusy = true;
    model.publish();
    model.linkBusy = false;
    model.publish();
    EXPECT_EQ(focused(), u"How to set up"_s);
    devices().hide();
    devices().show();
    EXPECT_EQ(focused(), u"Create link"_s);
}

// A window restored from a minimise shows again spontaneously: no new appearance. The section and the sheet
// ask the model nothing new, and "Copied" keeps its 1.5 s; hiding and showing them is a new appearance.
TEST_F(AccountScreensTest, ARestoredWindowIsNoNewAppearance) {
    model.providersValue = TessaronProviders{};
    model.accountValue = sampleAccount();
    model.status = linkStatus(true);
    model.localURL = link;
    model.publish();
    section();
    devices();
    click(byId<QAbstractButton>(devices(), u"tessaron.otherDevices.copy"_s));
    model.calls.clear();
    clock.advance(1s);
    // What brings a window back, and the calls that follow.
    for (const auto& [bringBack, calls] :
         std::initializer_list<std::pair<std::function<void(QWidget&)>, QStringList>>{
             {[](QWidget& window) {
                  window.setWindowState(Qt::WindowMinimized);
                  window.setWindowState(Qt::WindowNoState);
              },
              {}},
             {[](QWidget& window) {
                  window.hide();
                  window.show();
              },
              {u"refresh"_s, u"refreshSubscriptionLink"_s}}}) {
        bringBack(window_);
        bringBack(devices());
        EXPECT_EQ(sorted(model.calls), calls);
        model.calls.clear();
    }
    EXPECT_TRUE(shows(u"Copy link"_s)) << "the next appearance starts afresh";
    click(byId<QAbstractButton>(devices(), u"tessaron.otherDevices.copy"_s));
    clock.advance(1s);
    devices().setWindowState(Qt::WindowMinimized);
    devices().setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(shows(u"Copied"_s)) << "a restore keeps the time";
    clock.advance(500ms);
    EXPECT_TRUE(shows(u"Copy link"_s));
}

// Every widget of `sheet` that shows lies inside it, and its column scrolls no way but down.
QStringList outsideOf(QDialog& sheet) {
    // Each wrap that changes a height asks for another layout pass.
    for (int pass = 0; pass < 10; ++pass)
        QCoreApplication::sendPostedEvents();
    QStringList outside;
    for (auto* widget : sheet.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&sheet) || widget->isWindow())
            continue;
        // Clipped by a scrolling viewport only vertically: its sides must still be inside.
        const int left = widget->mapTo(&sheet, QPoint()).x();
        if (left < 0 || left + widget->width() > sheet.width())
            outside.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                           widget->objectName());
    }
    auto* scroll = sheet.findChild<QScrollArea*>();
    if (scroll->horizontalScrollBar()->maximum() > 0 ||
        scroll->widget()->width() > scroll->viewport()->width())
        outside.append(u"the column scrolls sideways"_s);
    return outside;
}

// An address of 70 characters wraps inside the sign-in sheet's 400 points on the code and the done step,
// whole and selectable, and inside Settings' row; nothing reaches past a side or scrolls sideways. One with
// a hyphen may break after it; one without must break inside a run of letters.
TEST_F(AccountScreensTest, ASeventyCharacterAddressWrapsInsideTheSheetAndTheRow) {
    setReduceMotion(motion, true);
    for (const QString& address :
         {u"ada.lovelace.countess.of.lovelace.analyticaengine@mathematics-club.org"_s,
          u"ada.lovelace.countess.of.lovelace.analyticalengine@mathematicsclub.org"_s}) {
        SCOPED_TRACE(address.toStdString());
        ASSERT_EQ(address.size(), 70);
        model.accountValue.reset();
        model.flowValue.email = address;
        for (const auto step : {TessaronLoginFlow::Step::code, TessaronLoginFlow::Step::done}) {
            model.flowValue.step = step;
            model.publish();
            SCOPED_TRACE(step == TessaronLoginFlow::Step::code ? "code step" : "done step");
            EXPECT_EQ(outsideOf(login()), QStringList());
            EXPECT_EQ(login().QWidget::width(), TessaronLoginView::width);
            auto* shown = showingText(login(), address);
            ASSERT_NE(shown, nullptr);
            EXPECT_GE(shown->height(), 2 * shown->fontMetrics().lineSpacing()) << "wrapped over two lines";
            EXPECT_EQ(QAccessible::queryAccessibleInterface(shown)->text(QAccessible::Name), address);
            capture(login(), login().size(),
                    step == TessaronLoginFlow::Step::code ? u"sign-in-long-code"_s : u"sign-in-long-done"_s);
        }
        TessaronAccount account = sampleAccount();
        account.email = address;
        model.accountValue = account;
        model.publish();
        window_.resize(360, 400);
        // As the settings form lays it out: as tall as it asks at its width, once its rows have wrapped.
        for (int pass = 0; pass < 4; ++pass) {
            section().resize(320,
                             std::max(section().heightForWidth(320), section().minimumSizeHint().height()));
            QCoreApplication::sendPostedEvents();
        }
        auto* row = showingText(section(), address);
        ASSERT_NE(row, nullptr);
        EXPECT_LE(row->mapTo(&section(), QPoint(row->width(), 0)).x(), section().width());
        EXPECT_GE(row->height(), 2 * row->fontMetrics().lineSpacing());
        const QLabel* devicesLabel = showing<QLabel>(section(), u"Devices"_s);
        ASSERT_NE(devicesLabel, nullptr);
        EXPECT_LE(row->mapTo(&section(), QPoint(0, row->height())).y(),
                  devicesLabel->mapTo(&section(), QPoint()).y())
            << "the wrapped address pushes the next row down";
        capture(section(), section().size(), u"settings-account-long-address"_s);
    }
}

// The sheet lands, visibly, on its page's main action, also when a refresh turns it off before the window
// is active: Qt then hands the focus on silently, which is no person's choice.
TEST_F(AccountScreensTest, OtherDevicesFocusLandsVisiblyOnTheMainActionAfterTheOpeningRefresh) {
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    for (const auto& [status, url, main] :
         std::initializer_list<std::tuple<Status, std::optional<QUrl>, QString>>{
             {std::nullopt, std::nullopt, u"Create link"_s}, {linkStatus(true), link, u"Copy link"_s}}) {
        model.status = status;
        model.localURL = url;
        model.linkBusy = false;
        model.publish();
        TessaronOtherDevicesView sheet(model, clock, workspace, nullptr);
        sheet.show();
        model.linkBusy = true;
        model.publish();
        model.linkBusy = false;
        model.publish();
        sheet.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
        auto* focus = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        ASSERT_NE(focus, nullptr) << main.toStdString();
        EXPECT_EQ(focus->text(), main);
        // Drawn with its ring in the focus colour.
        const QImage drawn = focus->grab().toImage();
        EXPECT_EQ(drawn.pixelColor(drawn.width() / 2, 1).name(), TessaronTheme::flowBlue().name())
            << main.toStdString();
    }
}

// The suite runs this once more at twice the scale, where the screen holds half as much and the link's page
// scrolls: the main action that takes the focus, as the sheet opens or a new page comes, is scrolled into
// view, so the ring a person looks for and the button Return presses are on screen.
TEST_F(AccountScreensTest, OtherDevicesFocusedMainActionIsInView) {
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    TessaronOtherDevicesView sheet(model, clock, workspace, nullptr);
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    auto* viewport = sheet.findChild<QScrollArea*>()->viewport();
    // The page the model publishes, and the button then focused in view.
    for (const auto& [status, url, main] :
         std::initializer_list<std::tuple<Status, std::optional<QUrl>, QString>>{
             {linkStatus(true), link, u"Copy link"_s},
             {std::nullopt, std::nullopt, u"Create link"_s},
             {linkStatus(true), link, u"Copy link"_s}}) {
        model.status = status;
        model.localURL = url;
        model.publish();
        for (int pass = 0; pass < 4; ++pass)
            QCoreApplication::sendPostedEvents();
        auto* focus = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        ASSERT_NE(focus, nullptr) << main.toStdString();
        const QRect shown(viewport->mapToGlobal(QPoint()), viewport->size());
        EXPECT_EQ(
            std::pair(focus->text(), shown.contains(QRect(focus->mapToGlobal(QPoint()), focus->size()))),
            std::pair(main, true))
            << "at " << focus->mapTo(viewport, QPoint()).y() << " in a view " << viewport->height()
            << " high";
    }
}

// "How to set up" with no browser says so under it, whether the desktop refuses the address at once or
// its opener gives up later; another address failing says nothing here.
TEST_F(AccountScreensTest, OtherDevicesGuideWithNoBrowserSaysSo) {
    const QUrl guide = TessaronSupportLinks::windowsGuide();
    const QString said = u"No web browser could open "_s + guide.toString() + u'.';
    for (const auto& [refusedAtOnce, failing, shown] : std::initializer_list<std::tuple<bool, QUrl, bool>>{
             {true, QUrl(), true}, {false, QUrl(u"https://other.test"_s), false}, {false, guide, true}}) {
        workspace.refused = refusedAtOnce ? QList<QUrl>{guide} : QList<QUrl>{};
        click(byId<QAbstractButton>(devices(), u"tessaron.otherDevices.guide"_s));
        if (!failing.isEmpty())
            Q_EMIT UrlOpener::shared().failed(failing);
        EXPECT_EQ(shows(said), shown) << failing.toString().toStdString();
        EXPECT_EQ(outsideOf(devices()), QStringList());
    }
}

// A sheet opens centred on the window it covers and inside that window's screen, title bar included, the
// link page as tall as the screen too, wherever the window stands.
TEST_F(AccountScreensTest, ASheetOpensCentredOnItsWindowAndInsideTheScreen) {
    model.status = linkStatus(true);
    model.localURL = link;
    model.publish();
    const QRect area = window_.screen()->availableGeometry();
    window_.resize(480, 400);
    window_.show();
    // Where the window stands; whether the sheet has the room to stand centred on it.
    // A window off the screen's middle with room around it: a sheet centred on the screen, or at a wrong
    // offset, stands off the window's middle.
    for (const auto& [where, centred] :
         {std::pair(area.center() - QPoint(240, 200), true),
          std::pair(area.center() - QPoint(340, 200), true),
          std::pair(area.center() - QPoint(150, 200), true), std::pair(area.topLeft(), false),
          std::pair(area.bottomRight() - QPoint(100, 60), false)}) {
        window_.move(where);
        TessaronOtherDevicesView sheet(model, clock, workspace, nullptr, &window_);
        sheet.show();
        for (int pass = 0; pass < 3; ++pass)
            QCoreApplication::sendPostedEvents();
        const QRect frame = sheet.frameGeometry();
        EXPECT_TRUE(area.contains(frame)) << QDebug::toString(frame).toStdString();
        if (centred)
            EXPECT_NEAR(frame.center().x(), window_.frameGeometry().center().x(), 1);
        // The window manager putting it past the screen's end, or its title bar above the top, is undone.
        for (const QPoint moved : {QPoint(frame.x(), area.bottom() - 200), QPoint(area.left() - 30, -10)}) {
            sheet.move(moved);
            QCoreApplication::sendPostedEvents();
            EXPECT_TRUE(area.contains(sheet.frameGeometry()))
                << QDebug::toString(sheet.frameGeometry()).toStdString();
        }
    }
}

// The code as shown in its 240 × 240 frame: a real decoder reads back the exact link from crisp modules
// (only pure black and white), an empty value leaves no stale modules, and a long link still reads.
TEST(SubscriptionQRCode, TheDecoderReadsBackTheExactLinkFromCrispModules) {
    TessaronSubscriptionQRCode code;
    code.resize(240, 240);
    const auto colours = [&] {
        QImage image(code.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        code.render(&image, {}, {}, QWidget::DrawChildren);
        QSet<QRgb> used;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                used.insert(image.pixel(x, y));
        return std::pair(image, used);
    };
    code.setValue(link.toString());
    EXPECT_EQ(decodeQR(colours().first), link.toString());
    EXPECT_EQ(colours().second, (QSet<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    code.setValue(QString());
    EXPECT_EQ(colours().second, QSet<QRgb>{qRgb(255, 255, 255)});

    const QString longLink = u"https://sub.tessaron.app/s/"_s + QString(273, u'k') + u"?n=Windows%20PC"_s;
    const QImage big = TessaronSubscriptionQRCode::makeImage(longLink);
    EXPECT_EQ(decodeQR(big), longLink);
    EXPECT_EQ(TessaronSubscriptionQRCode::makeImage(longLink), big);
}

} // namespace
} // namespace tessaron::testing
