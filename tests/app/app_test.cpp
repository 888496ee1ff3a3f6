#include "account/account_model_fixture.hpp"
#include "account_screens/account_section.hpp"
#include "account_screens/fake_account_screen_model.hpp"
#include "account_screens/login_view.hpp"
#include "account_screens/screen_probe.hpp"
#include "app/application_look.hpp"
#include "app/application_updates.hpp"
#include "app/foreground_invitation_recovery.hpp"
#include "app/instance_forwarder.hpp"
#include "app/launch_arguments.hpp"
#include "app/main_window.hpp"
#include "app/model_home_account.hpp"
#include "app/opened_url_router.hpp"
#include "app/sheet_contents.hpp"
#include "app/tray_icon.hpp"
#include "platform/reduce_motion_observer.hpp"
#include "platform/system_log.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/flow_ring.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/home_fixture.hpp"
#include "screens/menu_bar_content.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/settings_sheet.hpp"
#include "screens/sheet_host.hpp"
#include "screens/update_required_view.hpp"
#include "session/session_harness.hpp"
#include "support/fake_browser.hpp"
#include "support/fake_power_state.hpp"
#include "support/fake_workspace.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"
#include "support/virtual_frames.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/frame_clock.hpp"
#include "widgets/sheet_dialog.hpp"
#include "widgets/string_table.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

namespace tessaron::testing {
namespace {

// The application's look, made once per test process as the application makes it.
ApplicationLook& applicationLook() {
    static ApplicationLook look;
    return look;
}

// The share of an image's pixels that `accepts`.
double share(const QImage& image, const std::function<bool(const QColor&)>& accepts) {
    qsizetype count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += accepts(image.pixelColor(x, y));
    return double(count) / double(image.width() * image.height());
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        applicationLook();
        harness.start();
    }
    // A window a test leaves open goes before the session it shows, as the application closes them.
    ~MainWindowTest() override {
        for (const auto& window : opened)
            delete window.data();
    }

    MainWindowServices services(TessaronUpdateState& state, TessaronSheetHost::CoverFactory cover) {
        return {*harness.session, account, accountScreens, power, state, harness.activator, workspace, cover};
    }
    QPointer<TessaronMainWindow> open() {
        QPointer window = new TessaronMainWindow(
            [this] { return services(updates, [](QWidget& w) { return new QWidget(&w); }); });
        QObject::connect(window, &TessaronMainWindow::contentPresented, window, [this, window] {
            const auto onScreen = window->screen()->grabWindow(window->winId());
            presentedWhitePixels.append(
                whitePixels(onScreen.toImage().convertToFormat(QImage::Format_RGB32)));
        });
        opened.append(window);
        window->show();
        EXPECT_EQ(window->home(), nullptr) << "the content waits for the window to be on screen";
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.data()));
        harness.settle();
        EXPECT_NE(window->home(), nullptr);
        return window;
    }
    qsizetype configurationLoads() const {
        return std::ranges::count_if(harness.tunnels.calls(), [](const auto& call) {
            return call.operation == FakeTunnelManagers::Operation::loadAll;
        });
    }
    static QAction* action(QWidget& window, const char* name) {
        auto* found = window.findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    static qsizetype whitePixels(const QImage& image) {
        qsizetype white = 0;
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            white += std::count(line, line + image.width(), qRgb(255, 255, 255));
        }
        return white;
    }

    SessionHarness harness;
    // How much of the picture handed to the window system was white (the primary button) each time the
    // window said its content was presented.
    QList<qsizetype> presentedWhitePixels;
    FakeHomeAccount account{harness.signIn};
    FakeAccountScreenModel accountScreens;
    FakeWorkspace workspace;
    FakePowerState power;
    FakeUpdateState updates;
    QList<QPointer<TessaronMainWindow>> opened;
};

// The suite runs this once more at twice the scale, where the screen holds half as much.
TEST_F(MainWindowTest, WindowsFitTheScreenAtAnyScale) {
    auto window = open();
    const QRect area = window->screen()->availableGeometry();
    window->move(area.topLeft());
    EXPECT_TRUE(area.contains(window->frameGeometry())) << window->height() << " of " << area.height();
    // The sheets it shows, the privacy offer first.
    for (const auto sheet : {TessaronSheet::privacy, TessaronSheet::settings}) {
        harness.session->setActiveSheet(sheet);
        harness.settle();
        auto* dialog = window->sheetHost()->presentedDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(area.contains(dialog->frameGeometry()))
            << static_cast<int>(sheet) << ": " << dialog->width() << "x" << dialog->height() << " in "
            << area.width() << "x" << area.height();
    }
    QWidget settings(nullptr, Qt::Window);
    settings.setFixedSize(boundedByScreen(settings, {520, 560}));
    settings.show();
    settings.move(area.topLeft());
    EXPECT_TRUE(area.contains(settings.frameGeometry())) << settings.height() << " of " << area.height();
}

// What waits for the first picture starts once the home view, its primary button included, is drawn.
TEST_F(MainWindowTest, EachWindowLifePresentsItsPictureBootstrapsOffersPrivacyOnceAndItsMenuAndSheetsAnswer) {
    const auto before = configurationLoads();
    auto first = open();
    ASSERT_EQ(presentedWhitePixels.size(), 1);
    EXPECT_GT(presentedWhitePixels[0], 5000);
    EXPECT_EQ(configurationLoads(), before + 1);
    EXPECT_EQ(harness.session->activeSheet(), TessaronSheet::privacy);
    harness.session->setActiveSheet(std::nullopt);
    first->hide();
    first->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(first.data()));
    harness.settle();
    EXPECT_EQ(configurationLoads(), before + 1);
    EXPECT_EQ(harness.session->activeSheet(), std::nullopt);

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull()) << "closing destroys the window";
    auto window = open();
    EXPECT_EQ(presentedWhitePixels.size(), 2);
    EXPECT_EQ(configurationLoads(), before + 2);
    EXPECT_EQ(harness.session->activeSheet(), TessaronSheet::privacy);
    harness.session->setActiveSheet(std::nullopt);
    harness.settle();

    // The menu checks for updates when it can and asks for settings and quit. Sign-in is the account
    // screens' own dialog; closing it from settings returns there, and Done closes settings.
    auto* check = action(*window, "tessaron.menu.checkForUpdates");
    EXPECT_EQ(check->text(), "Check for Updates\u2026");
    EXPECT_FALSE(check->isEnabled());
    updates.setCanCheck(true);
    EXPECT_TRUE(check->isEnabled());
    check->trigger();
    EXPECT_EQ(updates.checks, 1);
    QSignalSpy settings(window.data(), &TessaronMainWindow::settingsRequested);
    QSignalSpy quit(window.data(), &TessaronMainWindow::quitRequested);
    auto* settingsAction = action(*window, "tessaron.menu.settings");
    EXPECT_EQ(settingsAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settingsAction->trigger();
    action(*window, "tessaron.menu.quit")->trigger();
    EXPECT_EQ(QList({settings.size(), quit.size()}), QList<qsizetype>({1, 1}));
    // The About box has room for its whole title beside a window's buttons.
    action(*window, "tessaron.menu.about")->trigger();
    auto* about = window->findChild<QMessageBox*>(QStringLiteral("tessaron.about"));
    ASSERT_TRUE(about && QTest::qWaitForWindowExposed(about));
    EXPECT_GE(about->width(), about->fontMetrics().horizontalAdvance(QStringLiteral("About Tessaron")) + 120);
    about->accept();

    harness.session->setActiveSheet(TessaronSheet::settings);
    harness.settle();
    EXPECT_NE(window->sheetHost()->presentedDialog()->findChild<TessaronAccountSection*>(), nullptr);
    harness.session->setActiveSheet(TessaronSheet::signIn);
    harness.settle();
    auto* login = qobject_cast<TessaronLoginView*>(window->sheetHost()->presentedDialog());
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(login->isVisible());
    EXPECT_EQ(login->parentWidget(), window.data());
    // The window's shortcuts answer in its sheets.
    login->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(login));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(QList({settings.size(), quit.size()}), QList<qsizetype>({2, 2}));
    login->reject();
    harness.settle();
    EXPECT_EQ(harness.session->activeSheet(), TessaronSheet::settings);
    auto* done = window->sheetHost()->presentedDialog()->findChild<QAbstractButton*>(
        QStringLiteral("tessaron.doneButton"));
    ASSERT_NE(done, nullptr);
    done->click();
    harness.settle();
    EXPECT_EQ(harness.session->activeSheet(), std::nullopt);
    EXPECT_EQ(window->sheetHost()->presentedDialog(), nullptr);
    delete window;
}

// Back in the foreground, the window asks an account service that has not answered in this run once more,
// with the session; one that answered, or none configured, is asked nothing.
TEST_F(MainWindowTest, TheForegroundAsksAnAccountServiceThatHasNotAnsweredYetAgain) {
    auto window = open();
    harness.session->setActiveSheet(std::nullopt);
    harness.settle();
    ASSERT_EQ(window->scenePhase(), ScenePhase::active);
    for (const auto& [configured, answered, calls] :
         std::initializer_list<std::tuple<bool, bool, QStringList>>{
             {true, false, {QStringLiteral("refresh")}}, {true, true, {}}, {false, false, {}}}) {
        accountScreens.serviceConfigured = configured;
        accountScreens.providersValue = answered ? std::optional(TessaronProviders{}) : std::nullopt;
        accountScreens.calls.clear();
        accountScreens.lastSession = nullptr;
        window->setWindowState(Qt::WindowMinimized);
        window->setWindowState(Qt::WindowNoState);
        harness.settle();
        EXPECT_EQ(std::tuple(window->scenePhase(), accountScreens.calls, accountScreens.lastSession),
                  std::tuple(ScenePhase::active, calls, calls.isEmpty() ? nullptr : harness.session.get()));
    }
    delete window;
}

// A window closed while its bootstrap waits for the keyring takes the bootstrap with it: the configuration is
// not loaded behind the closed window, and the next window's bootstrap does the whole restore.
TEST_F(MainWindowTest, ClosingTheWindowCancelsABootstrapStillRunning) {
    const auto before = configurationLoads();
    harness.keychain.hold();
    auto first = open();
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(first.isNull());
    harness.keychain.release();
    harness.settle();
    EXPECT_EQ(configurationLoads(), before);
    auto window = open();
    EXPECT_EQ(configurationLoads(), before + 1);
    delete window;
}

// Agreeing to the first privacy offer hands the window's focus to its primary button, not to the page; also
// when the button was still off (the stored sign-in not read yet) as the window was built.
class FirstFocusTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FirstFocusTest, AgreeingToTheFirstPrivacyOfferFocusesThePrimaryButton) {
    harness.signIn.known = GetParam();
    auto window = open();
    harness.signIn.known = true;
    account.set(true, std::nullopt);
    auto* sheet = window->sheetHost()->presentedDialog();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    auto* agree = sheet->findChild<QAbstractButton*>(QStringLiteral("tessaron.agreeButton"));
    ASSERT_NE(agree, nullptr);
    agree->click();
    harness.settle();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.data()));
    harness.settle();
    const QWidget* focus = QApplication::focusWidget();
    EXPECT_EQ(focus ? focus->objectName() : QString(), QStringLiteral("tessaron.connectButton"));
    delete window;
}

INSTANTIATE_TEST_SUITE_P(SignInKnownAtStart, FirstFocusTest, ::testing::Bool());

// A person who tabs to a button in the main window presses it with Return, as in a sheet; a switch keeps
// Space alone.
TEST_F(MainWindowTest, ReturnPressesTheFocusedButtonOfTheWindowButNoSwitch) {
    auto window = open();
    harness.session->setActiveSheet(std::nullopt);
    harness.settle();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.data()));
    auto* primary = window->findChild<QAbstractButton*>(QStringLiteral("tessaron.connectButton"));
    ASSERT_NE(primary, nullptr);
    auto* toggle = new QCheckBox(QStringLiteral("Connect on demand"), window->home());
    for (const auto& [button, clicks] :
         {std::pair{primary, 1}, std::pair<QAbstractButton*, int>{toggle, 0}}) {
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
        EXPECT_EQ(clicked.size(), clicks) << button->objectName().toStdString();
    }
    EXPECT_FALSE(toggle->isChecked());
    delete window;
}

// The home view's refresh is the model's, and the account record it brings is announced and read.
TEST_F(AccountModelTest, TheHomeAccountReadsTheModelsRecordAfterItsRefresh) {
    storeToken("tok-1");
    build();
    harness.settle();
    ModelHomeAccount home(*model);
    QSignalSpy changed(&home, &TessaronHomeAccount::changed);
    EXPECT_TRUE(home.isSignedIn());
    EXPECT_EQ(home.accountEmail(), std::nullopt) << "no account record yet";
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
    run(home.refresh(&session(), {}));
    EXPECT_EQ(home.accountEmail(), QStringLiteral("ann@example.com"));
    EXPECT_EQ(changed.size(), 1);
}

// The start as the application composes it (the model built without a launch refresh, the session over it,
// the home view's held refresh and startAccountAfterFirstPaint) on a keyring that answers after 1.5 s. The
// invitation a signed-in user opens meanwhile is redeemed without a sign-in sheet, and the account is
// fetched once, with the stored token.
TEST_F(AccountModelTest, ALinkOpenedBeforeALateKeyringAnswersIsRedeemedForTheSignedInUser) {
    using namespace std::chrono_literals;
    const auto oslo = sampleProfile(QStringLiteral("Oslo"));
    storeToken("tok-1");
    harness.grantConsent();
    harness.pairing.enqueueRedeem(oslo);
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
    harness.keychain.hold();
    track(releaseAfter(&harness.keychain, &harness.clock, 1500ms));
    build();
    harness.account = model.get();
    auto& started = harness.start();
    track(started.bootstrap());
    track(started.openInvitationLink(SessionHarness::invitationLink()));
    ModelHomeAccount home(*model);
    home.hold();
    track(home.refresh(&started, {}));
    startAccountAfterFirstPaint(home, *model, true);
    harness.advance(1400ms);
    // Neither the home view nor the primary button offers the signed-in user a sign-in; the button waits.
    EXPECT_EQ(std::tuple(started.activeSheet(), model->isSignInStateKnown(), service.sent.size(),
                         home.isSignedIn(), home.accountEmail(), started.primaryIntent(),
                         started.isPrimaryActionEnabled()),
              std::tuple(std::nullopt, false, 0, true, std::nullopt, TessaronPrimaryIntent::importInvitation,
                         false))
        << "nothing is decided before the keyring answers";

    harness.advance(100ms);
    const auto account = service.sentTo(QStringLiteral("GET /v1/account"));
    EXPECT_EQ(std::tuple(started.activeSheet(), started.selectedID(), model->isSignedIn(), account.size(),
                         harness.pairing.sent(TessaronPairingClient::redeemPath).size(),
                         started.isPrimaryActionEnabled()),
              std::tuple(std::nullopt, oslo.id, true, 1, 1, true));
    EXPECT_EQ(account.value(0).bearer, "tok-1");
    harness.session.reset();
}

// The main window over the real update checker, its release feed served over HTTPS on loopback. Installed
// is 1.0; the feed offers 2.0 with the minimum the test sets. The stores outlive a relaunch.
class UpdateCoverIntegrationTest : public MainWindowTest {
protected:
    UpdateCoverIntegrationTest() {
        static const bool installed = installStringTable(*QCoreApplication::instance());
        EXPECT_TRUE(installed);
        server.on("GET", "/releases/mac/latest.json", [this](const HttpsTestServer::Request&) {
            while (feedHeld)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return HttpsTestServer::Reply{.status = feedStatus,
                                          .body = R"({"version":"2.0","build":20,"url":"https://x.test/get",)"
                                                  R"("minimumVersion":")" +
                                                  QByteArray(feedMinimum) + R"("})"};
        });
        harness.grantConsent();
        harness.restart();
    }
    ~UpdateCoverIntegrationTest() override { delete window; }

    // Starts the updates and the main window anew, as a relaunch would.
    void relaunch() {
        delete window;
        application.reset();
        ProgramLocations locations = ProgramLocations::builtIn();
        locations.releaseFeed = server.url(QStringLiteral("/releases/mac/latest.json"));
        locations.downloadPage = downloadPage;
        application = std::make_unique<ApplicationUpdates>(UpdateSurroundings{
            .bundle = BundleInfo({{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0")}},
                                 locations),
            .transport = {.trustedAuthorities = server.caCertificates()},
            .defaults = defaults,
            .gate = gate,
        });
        application->checker().start();
        window = new TessaronMainWindow([this] {
            return services(application->state(), [this](QWidget& w) {
                return makeUpdateCover(application->checker(), workspace, w);
            });
        });
        window->show();
    }
    TessaronUpdateRequiredView* cover() const {
        auto* host = window->sheetHost();
        return host ? qobject_cast<TessaronUpdateRequiredView*>(host->cover()) : nullptr;
    }
    static bool eventually(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }

    HttpsTestServer server;
    const QUrl downloadPage = server.url(QStringLiteral("/download/mac"));
    std::atomic<const char*> feedMinimum = "2.0";
    // While held, the feed answers nothing yet.
    std::atomic<bool> feedHeld = false;
    std::atomic<int> feedStatus = 200;
    MemoryPreferences defaults, gatePreferences;
    TessaronServerUpgradeGate gate{gatePreferences};
    std::unique_ptr<ApplicationUpdates> application;
    QPointer<TessaronMainWindow> window;
};

TEST_F(UpdateCoverIntegrationTest, AMinimumAboveTheInstalledVersionCoversTheWindowUntilItIsMet) {
    FakeBrowser browser;
    relaunch();
    ASSERT_TRUE(eventually([this] { return cover() != nullptr; }))
        << "the feed's minimum 2.0 is above the installed 1.0";
    EXPECT_EQ(cover()->findChildren<QLabel*>().last()->text(), QStringLiteral("Version 1.0 installed"));
    QPointer primary = cover()->findChild<TessaronPrimaryButton*>();
    ASSERT_NE(primary, nullptr);
    // Readers of the window find the cover's button and nothing of the home view beneath it.
    QList<QObject*> read;
    const std::function<void(QAccessibleInterface*)> readAll = [&read, &readAll](QAccessibleInterface* node) {
        read.append(node->object());
        for (int index = 0; index < node->childCount(); ++index)
            readAll(node->child(index));
    };
    readAll(QAccessible::queryAccessibleInterface(window.data()));
    EXPECT_EQ(std::pair(read.contains(primary.data()), read.contains(window->home())),
              std::pair(true, false));
    ASSERT_TRUE(eventually([this] { return application->state().canCheckForUpdates(); }));
    EXPECT_EQ(server.requests().size(), 1) << "a start asks the feed once, though what it finds is required";

    // A click while a check runs (the user's, from the menu: a background check asks the feed nothing)
    // shows that it works, waits for that check and then checks; the failure of each check is shown.
    feedHeld = true;
    const auto fetched = server.requests().size();
    application->state().checkForUpdates();
    ASSERT_TRUE(eventually([&] { return server.requests().size() == fetched + 1; }));
    primary->click();
    EXPECT_EQ(std::pair(primary->isEnabled(), primary->text()),
              std::pair(false, QStringLiteral("Checking for updates…")));
    // Each failed fetch leaves the floor's release required, and the cover names it anew.
    feedStatus = 500;
    feedHeld = false;
    ASSERT_TRUE(eventually([&] { return server.requests().size() == fetched + 2; }))
        << "the running check, then the user's";
    QStringList shown;
    EXPECT_TRUE(eventually([&shown] {
        for (auto* window : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox*>(window) && window->isVisible() && window->close())
                shown.append(window->windowTitle());
        }
        return shown.size() >= 2;
    }));
    EXPECT_EQ(shown, QStringList(2, QStringLiteral("Update check failed")));
    primary = cover()->findChild<TessaronPrimaryButton*>();
    ASSERT_NE(primary, nullptr);
    EXPECT_TRUE(primary->isEnabled());

    feedStatus = 200;
    browser.opened.clear();
    primary->click();
    ASSERT_TRUE(eventually([&] { return !browser.opened.isEmpty(); }));
    EXPECT_EQ(browser.opened, QList{downloadPage});

    feedMinimum = "1.0";
    relaunch();
    ASSERT_TRUE(eventually([this] { return application->state().available().has_value(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(cover(), nullptr) << "a met minimum lifts the cover";
    // An offer carries the feed's own address.
    EXPECT_EQ(application->state().available(),
              (TessaronReleaseOffer{QStringLiteral("2.0"), QUrl(QStringLiteral("https://x.test/get"))}));
}

// The cover's button waits for the running check before it checks: the window may go while it waits, and
// the wait, the check it then starts and the framework it watched outlive it unharmed (under the
// sanitizers, a guard freed early shows as a use after free at the window's deletion or later).
TEST_F(UpdateCoverIntegrationTest, AWindowClosedWhileItsCoverWaitsForACheckLeavesTheChecksWorking) {
    relaunch();
    ASSERT_TRUE(eventually([this] { return cover() != nullptr; }));
    ASSERT_TRUE(eventually([this] { return application->state().canCheckForUpdates(); }));
    feedHeld = true;
    const auto fetched = server.requests().size();
    application->state().checkForUpdates();
    ASSERT_TRUE(eventually([&] { return server.requests().size() == fetched + 1; }));
    cover()->findChild<TessaronPrimaryButton*>()->click();

    delete window;
    feedHeld = false;
    ASSERT_TRUE(eventually([&] { return server.requests().size() == fetched + 2; }))
        << "the check the button asked for still runs after the running one";
    ASSERT_TRUE(eventually([this] { return application->state().canCheckForUpdates(); }));
    for (auto* shown : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(shown))
            shown->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    relaunch();
    EXPECT_TRUE(eventually([this] { return cover() != nullptr; })) << "a new window is covered again";
}

// Standard windows the application shows over its dark pages: each is dark, with light text, a message
// box holds its whole text and title, and the guide's links are the theme's white, not the default blue.
TEST(ApplicationLookTest, StandardWindowsAreDarkWithLightTextAndWhiteLinks) {
    applicationLook();
    FakeWorkspace workspace;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Update available"),
                    QStringLiteral("Tessaron 2.0 is available. You have version 1.0."));
    QMenu menu;
    menu.addAction(QStringLiteral("Check for Updates\u2026"));
    TessaronGuideView guide(
        {TessaronGuideBlock::paragraph(QStringLiteral("Read [the guide](https://g.example)."))}, workspace);
    const auto darkWithLightText = [](QWidget* shown) {
        SCOPED_TRACE(shown->metaObject()->className());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(shown));
        const QImage picture = shown->grab().toImage();
        EXPECT_GT(share(picture, [](const QColor& c) { return c.lightnessF() < 0.2; }), 0.6);
        EXPECT_GT(share(picture, [](const QColor& c) { return c.lightnessF() > 0.7; }), 0.004);
    };
    box.show();
    darkWithLightText(&box);
    const auto* text = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    EXPECT_GE(text->width(), text->fontMetrics().horizontalAdvance(text->text()));
    guide.show();
    darkWithLightText(&guide);
    menu.popup(QPoint(40, 40));
    darkWithLightText(&menu);
    QToolTip::showText(QPoint(40, 40), QStringLiteral("Connected \u2013 Oslo"));
    const auto windows = QApplication::topLevelWidgets();
    darkWithLightText(*std::ranges::find_if(windows, [](auto* w) { return w->inherits("QTipLabel"); }));
    EXPECT_EQ(share(guide.grab().toImage(),
                    [](const QColor& c) { return c.blue() - std::max(c.red(), c.green()) > 80; }),
              0);
}

// Tabbing rings the focused control, whatever draws it; a click ends the ring.
TEST(ApplicationLookTest, TheKeyboardFocusIsRingedUntilTheMouseLeads) {
    auto& look = applicationLook();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    auto* primary = new TessaronPrimaryButton(&window);
    auto* toggle = new QCheckBox(QStringLiteral("Connect on demand"), &window);
    auto* page = new QScrollArea(&window); // its page covers it whole
    page->setWidget(new QLabel(QStringLiteral("Tessaron stores an invitation in the Keychain.")));
    page->setWidgetResizable(true);
    for (QWidget* control : std::initializer_list<QWidget*>{field, primary, toggle, page})
        layout->addWidget(control);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto ring = [](QWidget* control) {
        const QColor blue = TessaronTheme::flowBlue();
        return share(control->grab().toImage(), [&blue](const QColor& c) {
            return std::abs(c.red() - blue.red()) + std::abs(c.green() - blue.green()) +
                       std::abs(c.blue() - blue.blue()) <
                   60;
        });
    };
    ASSERT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(ring(field), 0) << "the focus a window gives its first control shows no ring";
    for (QWidget* expected : std::initializer_list<QWidget*>{primary, toggle, page}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), expected);
        EXPECT_EQ(look.focusRingHost(), expected);
        EXPECT_GT(ring(expected), 0.02) << expected->metaObject()->className();
    }
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(look.focusRingHost(), nullptr);
    EXPECT_EQ(ring(toggle), 0);
}

// The share of a control's picture in the focus ring's colour.
double ringShare(QWidget* control) {
    const QColor blue = TessaronTheme::flowBlue();
    return share(control->grab().toImage(), [&blue](const QColor& c) {
        return std::abs(c.red() - blue.red()) + std::abs(c.green() - blue.green()) +
                   std::abs(c.blue() - blue.blue()) <
               60;
    });
}

// A page or a confirmation opened with a click and left with Escape hands the focus back to the row that
// opened it: the key leads now, and the row draws its ring, as it does when the keyboard opened it.
TEST(ApplicationLookTest, EscapeBackToARowAClickOpenedRingsTheRow) {
    auto& look = applicationLook();
    HomeWorld world;
    world.harness.start();
    FakeUpdateState updates;
    FakeWorkspace workspace;
    FakeAccountScreenModel account;
    account.providersValue = TessaronProviders{};
    account.accountValue = TessaronAccount{};
    QWidget window(nullptr, Qt::Window);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pages = new TessaronSettingsSheet(
        *world.harness.session, updates,
        accountSectionFactory(account, *world.harness.session, workspace, nullptr), workspace, &window);
    layout->addWidget(pages);
    window.resize(520, 1400);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto byText = [pages](const QString& text) {
        const auto buttons = pages->findChildren<QAbstractButton*>();
        return *std::ranges::find_if(buttons, [&text](auto* b) { return b->text().startsWith(text); });
    };
    for (QAbstractButton* row :
         {byText(QStringLiteral("User guide")), byText(QStringLiteral("Privacy")),
          byText(QStringLiteral("Connection log")), byText(QStringLiteral("Sign out"))}) {
        const std::string name = row->text().toStdString();
        QTest::mouseClick(row, Qt::LeftButton);
        QWidget* opened = QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                            : QApplication::focusWidget();
        ASSERT_NE(opened, nullptr) << name;
        EXPECT_EQ(look.focusRingHost(), nullptr) << name;
        QTest::keyClick(opened, Qt::Key_Escape);
        // As the window manager hands the activation back from a closed box.
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << name;
        ASSERT_EQ(QApplication::focusWidget(), row) << name;
        EXPECT_EQ(look.focusRingHost(), row) << name;
        EXPECT_GT(ringShare(row), 0.02) << name;
    }
}

// Connect's nudge border lies over the button's edge, where the focus ring runs: the ring shows through it
// while the keyboard leads, and the border is whole again once the focus or the lead has gone. Seen as the
// window draws it: the ring's band just inside Connect's straight edges, the border's line just outside
// (but above, where the column's top edge cuts the border off). The border's gradient stands still at the
// start of its turn: where it blends cyan into orange its line is pale, and that blend travels round.
TEST(ApplicationLookTest, TheNudgedConnectButtonShowsItsRingWhileTheKeyboardLeads) {
    applicationLook();
    VirtualFrames frames;
    HomeWorld w;
    w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    QApplication::setActiveWindow(&w.view());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.view()));
    auto* primary = w.primary();
    const auto nudges =
        primary->parentWidget()->findChildren<TessaronNudgeBorder*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(nudges.size(), 1);
    ASSERT_TRUE(nudges.first()->isVisible());
    // The shares of the ring's band in the ring's colour and of the border's line in a vivid colour.
    const auto seen = [&] {
        QCoreApplication::processEvents(); // the border takes its new picture of what lies beneath
        const QImage drawn = w.view().grab().toImage().scaled(w.view().size());
        const QRect button(primary->mapTo(&w.view(), QPoint()), primary->size());
        const QColor blue = TessaronTheme::flowBlue();
        std::pair<int, int> ring;
        std::pair<int, int> line;
        const auto count = [](std::pair<int, int>& tally, bool hit) {
            tally.first += hit;
            ++tally.second;
        };
        const auto look = [&](const QPoint& inside, const QPoint& outward) {
            const QColor shown = drawn.pixelColor(inside);
            count(ring, std::abs(shown.red() - blue.red()) + std::abs(shown.green() - blue.green()) +
                                std::abs(shown.blue() - blue.blue()) <
                            24);
            if (outward.y() >= 0)
                count(line, drawn.pixelColor(inside + 2 * outward).hsvSaturation() > 80);
        };
        // Clear of the corners, where ring and border round off differently.
        for (int depth : {0, 1}) {
            for (int x = button.left() + 12; x < button.right() - 12; ++x) {
                look({x, button.top() + depth}, {0, -1});
                look({x, button.bottom() - depth}, {0, 1});
            }
            for (int y = button.top() + 12; y < button.bottom() - 12; ++y) {
                look({button.left() + depth, y}, {-1, 0});
                look({button.right() - depth, y}, {1, 0});
            }
        }
        const auto share = [](const std::pair<int, int>& tally) {
            return std::round(10.0 * tally.first / tally.second) / 10;
        };
        return std::pair(share(ring), share(line));
    };
    const auto click = [&] {
        QTest::mouseClick(&w.view(), Qt::LeftButton, {}, QPoint(1, 1));
    };
    const auto press = [&](Qt::Key key) {
        return [key] {
            QTest::keyClick(QApplication::focusWidget(), key);
        };
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        bool focused;
        std::pair<double, double> ringAndLine;
    };
    for (const auto& step : {Step{"a click leads", click, true, {0, 1}},
                             Step{"Tab leaves Connect", press(Qt::Key_Tab), false, {0, 1}},
                             Step{"Back-tab comes back", press(Qt::Key_Backtab), true, {1, 1}},
                             Step{"a click leads again", click, true, {0, 1}}}) {
        step.act();
        EXPECT_EQ(QApplication::focusWidget() == primary, step.focused) << step.what;
        EXPECT_EQ(seen(), step.ringAndLine) << step.what;
    }
}

// The columns drawn within `area` of a window, in logical pixels: those that differ from the colour at the
// area's top-left corner.
QRect inkBounds(QWidget& window, const QRect& area) {
    const QImage drawn = window.grab().toImage().scaled(window.size());
    const QRgb ground = drawn.pixel(area.topLeft());
    const auto differs = [&](QRgb pixel) {
        return std::abs(qRed(pixel) - qRed(ground)) + std::abs(qGreen(pixel) - qGreen(ground)) +
                   std::abs(qBlue(pixel) - qBlue(ground)) >
               60;
    };
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (differs(drawn.pixel(x, y)))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// The tray's panel: names cut with an ellipsis, no empty space below what it shows, and no motion while
// the desktop asks for less.
TEST(TrayPanel, FitsWhatItShowsAndFollowsReduceMotion) {
    HomeWorld w;
    const QString longName = QStringLiteral("Amsterdam Backup Node ").repeated(3).trimmed();
    const auto amsterdam = sampleProfile(longName, QStringLiteral("ams.example.net"));
    w.startWithRoster({amsterdam, w.tokyo});
    w.harness.connectFully();
    ReduceMotionObserver motion{QDBusConnection(QStringLiteral("none"))};
    TessaronTray tray(*w.harness.session, w.account, w.sharedPower, &motion);
    tray.togglePanel();
    QWidget* panel = tray.panel();
    ASSERT_TRUE(panel && panel->isVisible());
    QCoreApplication::sendPostedEvents();
    // The panel's height beyond what its content needs at its width (the frame and its margin take two
    // pixels a side).
    const auto emptyBelow = [panel] {
        const auto* content = panel->findChild<MenuBarContentView*>();
        const int needed = content->hasHeightForWidth() ? content->heightForWidth(content->width())
                                                        : content->sizeHint().height();
        return panel->height() - 4 - needed;
    };
    EXPECT_LE(emptyBelow(), 0);
    auto* name = panel->findChild<TessaronFittedLabel*>(QStringLiteral("tessaron.node.name"));
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->fitted().lines.last().endsWith(QChar(0x2026)));
    // The cut name takes the room up to its pill: as drawn, the name's line (the name and, while auto
    // selection uses the node, its dot) ends within a few pixels of the least gap before the pill.
    const auto* pill = name->parentWidget()->findChild<NodeStatusPill*>();
    ASSERT_TRUE(pill && pill->isVisible());
    const QRect nameBox(name->mapTo(panel, QPoint()), name->size());
    const QRect pillBox(pill->mapTo(panel, QPoint()), pill->size());
    const int lineEnd =
        inkBounds(*panel, nameBox.adjusted(0, 0, pillBox.left() - 1 - nameBox.right(), 0)).right();
    EXPECT_LE(inkBounds(*panel, pillBox).left() - lineEnd, 8 + 6);
    const auto timersRunning = [panel] {
        const auto timers = panel->findChildren<QTimer*>();
        return TessaronFrameClock::shared().isTicking() ||
               std::ranges::any_of(timers, [](const QTimer* timer) { return timer->isActive(); });
    };
    EXPECT_TRUE(timersRunning()) << "the flow ring turns";
    setReduceMotion(motion, true);
    EXPECT_FALSE(timersRunning());

    // Signed out with a node gone, the open panel shrinks to what is left.
    w.account.set(false, std::nullopt);
    w.pullRoster({amsterdam});
    QCoreApplication::sendPostedEvents();
    EXPECT_LE(emptyBelow(), 0);
}

// The tray's panel takes the keyboard: readers find it among the application's windows, named, Quit's
// shortcut answers there, and Escape closes it as it closes a popup.
TEST_F(MainWindowTest, TheTrayPanelIsAWindowReadersFindAndEscapeCloses) {
    TessaronTray tray(*harness.session, account, power);
    tray.togglePanel();
    QWidget* panel = tray.panel();
    ASSERT_TRUE(panel && QTest::qWaitForWindowExposed(panel));
    auto* application = QAccessible::queryAccessibleInterface(qApp);
    QStringList windows;
    for (int index = 0; index < application->childCount(); ++index)
        if (application->child(index)->object() == panel)
            windows.append(application->child(index)->text(QAccessible::Name));
    EXPECT_EQ(std::pair(windows, QAccessible::queryAccessibleInterface(panel)->role()),
              std::pair(QStringList{"Tessaron"}, QAccessible::Window));
    panel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
    QSignalSpy quits(&tray, &TessaronTray::quitRequested);
    QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : panel;
    QTest::keyClick(keys, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quits.size(), 1) << "the application's shortcut answers in the panel";
    QTest::keyClick(keys, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
}

// The desktop's wish for less motion, changed while the application runs, stops every moving part of the
// main window and of the open tray panel at once (the globe, the flow ring, the nudges, the spinners):
// nothing is left on the frame clock; taken back, all of them move again.
TEST(ReduceMotion, AChangeWhileRunningStopsAndStartsEveryMovingPartAtOnce) {
    HomeWorld w;
    w.harness.grantConsent();
    w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true, QStringLiteral("ada@example.org"));
    ReduceMotionObserver motion{QDBusConnection(QStringLiteral("none"))};
    FakeAccountScreenModel screens;
    FakeWorkspace workspace;
    FakeUpdateState updates;
    QPointer window = new TessaronMainWindow([&] {
        return MainWindowServices{*w.harness.session,
                                  w.account,
                                  screens,
                                  w.power,
                                  updates,
                                  *w.harness.activation,
                                  workspace,
                                  [](QWidget& host) { return new QWidget(&host); },
                                  &motion};
    });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.data()));
    w.harness.settle();
    TessaronTray tray(*w.harness.session, w.account, w.sharedPower, &motion);
    tray.togglePanel();
    ASSERT_TRUE(tray.panel() && QTest::qWaitForWindowExposed(tray.panel()));
    w.harness.settle();
    const auto& frames = TessaronFrameClock::shared();
    // Down (the nudges glide), on the way up (the button spins) and up (the ring turns).
    for (const auto phase :
         {TessaronLinkPhase::disconnected, TessaronLinkPhase::connecting, TessaronLinkPhase::connected}) {
        if (phase == TessaronLinkPhase::connecting)
            window->findChild<QAbstractButton*>(QStringLiteral("tessaron.connectButton"))->click();
        if (phase == TessaronLinkPhase::connected)
            w.harness.tunnel().setStatus(VpnStatus::connected);
        w.harness.settle();
        ASSERT_EQ(w.harness.session->phase(), phase);
        const std::size_t moving = frames.memberCount();
        EXPECT_GT(moving, 0u);
        for (const bool reduce : {true, false, true, false}) {
            setReduceMotion(motion, reduce);
            EXPECT_EQ(std::pair(frames.memberCount(), frames.isTicking()),
                      std::pair(reduce ? 0 : moving, !reduce))
                << (reduce ? "reduced " : "full motion ") << static_cast<int>(phase);
        }
    }
    delete window;
}

// The tray's glyphs: on a light panel (the common default) as on a dark one, each stands apart.
TEST(TrayGlyphs, EachReadsOnLightAndDarkPanels) {
    for (const auto panel : {QColor(0xf6, 0xf5, 0xf4), QColor(0x2b, 0x2b, 0x2b)}) {
        for (int phase = 0; phase <= static_cast<int>(TessaronLinkPhase::disconnecting); ++phase) {
            QImage picture(22, 22, QImage::Format_RGB32);
            picture.fill(panel);
            QPainter(&picture).drawPixmap(0, 0, trayIcon(static_cast<TessaronLinkPhase>(phase)).pixmap(22));
            const auto apart = [&panel](const QColor& c) {
                return std::abs(c.lightnessF() - panel.lightnessF()) > 0.5;
            };
            EXPECT_GT(share(picture, apart), 0.05) << panel.name().toStdString() << " " << phase;
        }
    }
}

using Route = OpenedUrlRouter::Route;

TEST(OpenedUrlRouterTest, AWaitingSignInTakesItsSchemeAndLateCallbacksReachNoInvitation) {
    // The opened URL, whether a web sign-in waits, where the URL goes.
    const std::tuple<const char*, bool, Route> cases[] = {
        // While a sign-in waits, even what looks like an invitation is its callback.
        {"tessaron://join?code=ABCD-EFGH", true, Route::webSignIn},
        {"https://tessaron.app/i/abc?code=1", true, Route::invitation},
        {"tessaron://auth/callback?code=c1&state=s1", false, Route::dropped},
        {"TESSARON://auth/callback?error=invalid_state", false, Route::dropped},
        {"tessaron://join?code=ABCD-EFGH", false, Route::invitation},
        {"tessaron://join?Error=x&STATE=y", false, Route::invitation},
        {"https://tessaron.app/i/abc?state=1", false, Route::invitation},
    };
    const QString dropped = QStringLiteral("sign-in callback dropped: no sign-in is waiting");
    for (const auto& [text, signInWaiting, route] : cases) {
        SCOPED_TRACE(text);
        const QUrl url(QString::fromLatin1(text));
        FakeWebAuthSession web;
        auto signIn = web.authorize({}, {});
        if (!signInWaiting)
            web.cancel();
        QList<QUrl> invitations;
        OpenedUrlRouter router(web, [&invitations](const QUrl& link) { invitations.append(link); });
        const SystemLog::Capture log;

        EXPECT_EQ(router.open(url), route);
        EXPECT_EQ(web.isPending(), signInWaiting && route != Route::webSignIn);
        web.cancel();
        EXPECT_EQ(runTask(std::move(signIn)).callbackUrl, route == Route::webSignIn ? url : QUrl());
        EXPECT_EQ(invitations, route == Route::invitation ? QList{url} : QList<QUrl>{});
        EXPECT_EQ(log.messages(), route == Route::dropped ? QStringList{dropped} : QStringList{});
    }
}

// The same URLs are taken from the command line and from the hand-over; anything else gives the usage
// line there, echoing no control character and no long argument, and is dropped with a log line here.
TEST(OpenedUrlIntakeTest, OnlyHttpsAndOwnSchemeUrlsAreTakenThroughEitherDoor) {
    const QString longest =
        QStringLiteral("https://tessaron.app/i/").leftJustified(OpenedUrlRouter::longestUrl, 'a');
    const QString refused = QStringLiteral("not a URL to open: %1\nusage: tessaron [URL]");
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("https://tessaron.app/i/abc?code=1"), {}},
        {QStringLiteral("tessaron://auth/callback?code=c%2B1&state=s1"), {}},
        {longest, {}},
        {longest + 'a', refused.arg(longest.left(100) + QChar(0x2026))},
        {QStringLiteral("javascript:alert(1)"), refused.arg(QStringLiteral("javascript:alert(1)"))},
        {QStringLiteral("javascript:\x1b]0;x\x07\u202e\u2028a b"),
         refused.arg(QStringLiteral("javascript:\\u{1b}]0;x\\u{7}\\u{202e}\\u{2028}a b"))},
        {QStringLiteral("file:///etc/passwd"), refused.arg(QStringLiteral("file:///etc/passwd"))},
        {QStringLiteral("http://tessaron.app/i/abc"),
         refused.arg(QStringLiteral("http://tessaron.app/i/abc"))},
        {QStringLiteral("https:no-host"), refused.arg(QStringLiteral("https:no-host"))},
        {QStringLiteral("https://tessaron.app/i/a b"),
         refused.arg(QStringLiteral("https://tessaron.app/i/a b"))},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(text.left(40).toStdString());
        const SystemLog::Capture log;
        const auto launched = LaunchArguments::parse({text});
        const auto handed = InstanceRequest::read("open " + text.toUtf8());
        if (error.isEmpty()) {
            ASSERT_TRUE(handed.has_value());
            EXPECT_EQ(handed->url, std::get<LaunchArguments>(launched).url);
        } else {
            EXPECT_EQ(std::get<QString>(launched), error);
            EXPECT_EQ(handed, std::nullopt);
        }
        EXPECT_EQ(log.messages().size(), error.isEmpty() ? 0 : 1);
    }
}

TEST(ForegroundInvitationRecoveryTest, RunsOnLaterActivationsOnly) {
    using enum ScenePhase;
    const std::pair<std::vector<ScenePhase>, int> cases[] = {
        {{active}, 0},
        {{inactive, active}, 1},
        {{active, background, active, inactive, active}, 2},
        {{inactive, active, active}, 1}, // the same phase again
        {{active, inactive, background}, 0},
    };
    for (const auto& [phases, expected] : cases) {
        int runs = 0;
        ForegroundInvitationRecovery recovery([&runs] { ++runs; });
        for (const auto phase : phases)
            recovery.follow(phase);
        EXPECT_EQ(runs, expected) << ::testing::PrintToString(phases);
    }
}

} // namespace
} // namespace tessaron::testing
