#include "account/account_model_fixture.hpp"
#include "account_screens/account_section.hpp"
#include "account_screens/fake_account_screen_model.hpp"
#include "account_screens/login_view.hpp"
#include "app/application_updates.hpp"
#include "app/foreground_invitation_recovery.hpp"
#include "app/main_window.hpp"
#include "app/model_home_account.hpp"
#include "app/opened_url_router.hpp"
#include "app/sheet_contents.hpp"
#include "platform/system_log.hpp"
#include "screens/button_styles.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/home_fixture.hpp"
#include "screens/sheet_host.hpp"
#include "screens/string_table.hpp"
#include "screens/update_required_view.hpp"
#include "session/session_harness.hpp"
#include "support/fake_browser.hpp"
#include "support/fake_power_state.hpp"
#include "support/fake_workspace.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace tessaron::testing {
namespace {

QWidget* blankCover(QWidget& window) {
    return new QWidget(&window);
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { harness.start(); }

    MainWindowServices services(TessaronUpdateState& state, TessaronSheetHost::CoverFactory cover) {
        return {*harness.session, account, accountScreens, power, state, harness.activator, workspace, cover};
    }
    QPointer<TessaronMainWindow> open() {
        QPointer window = new TessaronMainWindow([this] { return services(updates, &blankCover); });
        QObject::connect(window, &TessaronMainWindow::contentPresented, window, [this, window] {
            const auto onScreen = window->screen()->grabWindow(window->winId());
            presentedWhitePixels.append(
                whitePixels(onScreen.toImage().convertToFormat(QImage::Format_RGB32)));
        });
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
};

// What waits for the first picture starts once the home view, its primary button included, is drawn.
TEST_F(MainWindowTest, EachWindowLifePresentsItsPictureThenBootstrapsAndOffersPrivacyOnce) {
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
    auto second = open();
    EXPECT_EQ(presentedWhitePixels.size(), 2);
    EXPECT_EQ(configurationLoads(), before + 2);
    EXPECT_EQ(harness.session->activeSheet(), TessaronSheet::privacy);
    delete second;
}

// The menu checks for updates when it can and asks for settings and quit. Sign-in is the account screens'
// own dialog; closing it from settings returns there, and Done closes settings.
TEST_F(MainWindowTest, MenuAndSettingsWithTheAccountSectionSignInReturnsThereAndDoneCloses) {
    harness.grantConsent();
    harness.restart();
    auto window = open();
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

    harness.session->setActiveSheet(TessaronSheet::settings);
    harness.settle();
    EXPECT_NE(window->sheetHost()->presentedDialog()->findChild<TessaronAccountSection*>(), nullptr);
    harness.session->setActiveSheet(TessaronSheet::signIn);
    harness.settle();
    auto* login = qobject_cast<TessaronLoginView*>(window->sheetHost()->presentedDialog());
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(login->isVisible());
    EXPECT_EQ(login->parentWidget(), window.data());
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

// The home view's refresh is the model's, and the account record it brings is announced and read.
TEST_F(AccountModelTest, TheHomeAccountReadsTheModelsRecordAfterItsRefresh) {
    storeToken("tok-1");
    build();
    ModelHomeAccount home(*model);
    QSignalSpy changed(&home, &TessaronHomeAccount::changed);
    EXPECT_TRUE(home.isSignedIn());
    EXPECT_EQ(home.accountEmail(), std::nullopt) << "no account record yet";
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
    run(home.refresh(&session(), {}));
    EXPECT_EQ(home.accountEmail(), QStringLiteral("ann@example.com"));
    EXPECT_EQ(changed.size(), 1);
}

// The main window over the real update checker, its release feed served over HTTPS on loopback. Installed
// is 1.0; the feed offers 2.0 with the minimum the test sets. The stores outlive a relaunch.
class UpdateCoverIntegrationTest : public MainWindowTest {
protected:
    UpdateCoverIntegrationTest() {
        static const bool installed = installStringTable(*QCoreApplication::instance());
        EXPECT_TRUE(installed);
        server.on("GET", "/releases/mac/latest.json", [this](const HttpsTestServer::Request&) {
            return HttpsTestServer::Reply{.body = R"({"version":"2.0","build":20,"url":"https://x.test/get",)"
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
    auto* primary = cover()->findChild<TessaronPrimaryButton*>();
    ASSERT_NE(primary, nullptr);
    ASSERT_TRUE(eventually([this] { return application->state().canCheckForUpdates(); }));
    browser.opened.clear();
    primary->click();
    ASSERT_TRUE(eventually([&] { return !browser.opened.isEmpty(); }));
    EXPECT_EQ(browser.opened, QList{downloadPage});

    feedMinimum = "1.0";
    relaunch();
    ASSERT_TRUE(eventually([this] { return application->state().available().has_value(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(cover(), nullptr) << "a met minimum lifts the cover";
    EXPECT_EQ(application->state().available(), (TessaronReleaseOffer{QStringLiteral("2.0"), downloadPage}));
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
