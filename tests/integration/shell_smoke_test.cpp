#include "app/instance_forwarder.hpp"
#include "app/main_window.hpp"
#include "app/tessaron_mac_app.hpp"
#include "screens/menu_bar_content.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/string_table.hpp"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaron {
namespace {

void save(const QPixmap& picture, const char* name) {
    const QDir folder(QStringLiteral(TESSARON_SCREENSHOT_DIR));
    folder.mkpath(QStringLiteral("."));
    const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
    std::printf("screenshot: %s\n", qPrintable(path));
}

void saveScreen(const char* name) {
    QTest::qWait(300); // let the window manager and the windows draw
    save(QGuiApplication::primaryScreen()->grabWindow(0), name);
}

// The whole application on a real display, run under tests/support/with-tray-host.sh.
class ShellSmoke : public ::testing::Test {
protected:
    ShellSmoke() {
        QApplication::setQuitOnLastWindowClosed(false);
        static const bool installed = installStringTable(*QCoreApplication::instance());
        EXPECT_TRUE(installed);
    }

    TessaronMainWindow& showMain() {
        auto& window = app.showMainWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.home() != nullptr; }, 5000));
        // The tray comes once the home view's first picture is on screen.
        EXPECT_TRUE(QTest::qWaitFor([&] { return app.tray() != nullptr; }, 5000));
        return window;
    }

    TessaronMacApp app;
};

TEST_F(ShellSmoke, WithTrayTheIconShowsAndOpensThePanel) {
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable())
        << "no tray host on " << qgetenv("DISPLAY").constData();
    auto& window = showMain();
    ASSERT_TRUE(app.tray()->isShown());
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.tray()->icon()->geometry().isValid(); }, 5000));
    EXPECT_EQ(app.tray()->icon()->toolTip(), QStringLiteral("Disconnected"));
    saveScreen("smoke-first-launch");

    // The first launch asks for consent; a user dismissal leaves the home view.
    if (auto* sheet = window.findChild<QDialog*>(QStringLiteral("tessaron.sheet")))
        sheet->reject();
    QTest::qWait(100);
    save(window.grab(), "smoke-main-window");

    Q_EMIT app.tray()->icon()->activated(QSystemTrayIcon::Trigger);
    auto* panel = app.tray()->panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(panel));
    EXPECT_EQ(panel->findChild<MenuBarContentView*>()->width(), MenuBarContentView::panelWidth);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->geometry().contains(panel->geometry()));
    saveScreen("smoke-panel");
    Q_EMIT app.tray()->icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(panel->isVisible());

    app.showSettings();
    auto* settings = app.settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(settings));
    EXPECT_EQ(settings->size(), QSize(520, 560));
    EXPECT_TRUE(settings->screen()->availableGeometry().contains(settings->frameGeometry()))
        << "the whole window, frame included, is on the screen";
    save(settings->grab(), "smoke-settings-window");
    app.showSettings();
    EXPECT_EQ(app.settingsWindow(), settings) << "opened again, it is raised, not doubled";

    // The application's Quit shortcut answers in Settings too.
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    QTimer::singleShot(0, settings,
                       [settings] { QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier); });
    QTimer::singleShot(10'000, [] { QCoreApplication::exit(124); });
    EXPECT_EQ(QCoreApplication::exec(), 0) << "Ctrl+Q in Settings quits";
}

// A tray that starts after the application takes its icon; while there is none the main window is the way
// in, and closing it quits rather than leave a process nobody can reach.
TEST_F(ShellSmoke, WithoutTrayTheMainWindowIsTheWayInUntilATrayComes) {
    auto& window = showMain();
    EXPECT_FALSE(app.tray()->isShown());

    QProcess tray;
    tray.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
    ASSERT_TRUE(tray.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.tray()->isShown(); }, 10'000))
        << "the late tray takes the icon";
    EXPECT_TRUE(QTest::qWaitFor([&] { return app.tray()->icon()->geometry().isValid(); }, 5000));
    saveScreen("smoke-late-tray");

    // An open panel goes with its tray, also while the main window is open; the tray then comes again.
    Q_EMIT app.tray()->icon()->activated(QSystemTrayIcon::Trigger);
    QPointer<QWidget> panel = app.tray()->panel();
    ASSERT_TRUE(panel && QTest::qWaitForWindowExposed(panel));
    tray.terminate();
    tray.waitForFinished();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.tray()->isShown(); }, 10'000));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(!panel || !panel->isVisible());
    tray.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
    ASSERT_TRUE(tray.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.tray()->isShown(); }, 10'000));

    window.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.mainWindow(), nullptr);

    tray.terminate();
    tray.waitForFinished();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.tray()->isShown(); }, 10'000))
        << "the icon goes with the tray";
    ASSERT_TRUE(QTest::qWaitFor([&] { return app.mainWindow() && app.mainWindow()->isVisible(); }, 5000))
        << "with the tray gone and no window open, the main window comes back";

    QTimer::singleShot(0, app.mainWindow(), &QWidget::close);
    QTimer::singleShot(10'000, [] { QCoreApplication::exit(124); });
    EXPECT_EQ(QCoreApplication::exec(), 0) << "closing the last window without a tray quits";
}

// Registers the build's program folder, under another name, as run.sh registers an installed one; gives
// the entry it wrote.
QString registerApplication(const QString& folder) {
    EXPECT_TRUE(QFile::link(QFileInfo(QStringLiteral(TESSARON_APPLICATION)).path(), folder));
    EXPECT_EQ(
        QProcess::execute(QStringLiteral(TESSARON_SOURCE_DIR "/tools/register-url-handler.sh"), {folder}), 0);
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/tessaron.desktop");
}

// The registered entry is valid wherever the application lies, and the desktop's generic opener, with no
// desktop environment detected, hands a link to the running instance through it.
TEST(DesktopEntry, WithoutTrayXdgOpenHandsALinkToTheRunningInstanceThroughAValidEntry) {
    QTemporaryDir folders;
    // Quoted, with each of the characters that need escaping.
    const QString odd =
        registerApplication(folders.path() + QStringLiteral("/My $Apps back\\slash \"q\" `t` 100%"));
    EXPECT_EQ(QProcess::execute(QStringLiteral("desktop-file-validate"), {odd}), 0);
    const QString entry = registerApplication(folders.path() + QStringLiteral("/Tessaron"));
    EXPECT_EQ(QProcess::execute(QStringLiteral("desktop-file-validate"), {entry}), 0);

    InstanceForwarder running;
    ASSERT_EQ(running.start(std::nullopt), InstanceForwarder::Role::primary);
    QSignalSpy opened(&running, &InstanceForwarder::urlOpened);
    QProcess opener;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
    opener.setProcessEnvironment(environment);
    const QUrl link(QStringLiteral("tessaron://join?code=ABCD-EFGH"));
    opener.start(QStringLiteral("xdg-open"), {link.toString()});
    // The instance answers from the event loop, so the wait runs it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return opener.state() == QProcess::NotRunning; }, 10'000));
    EXPECT_EQ(opener.exitCode(), 0) << opener.readAllStandardError().constData();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().first().toUrl(), link);
}

} // namespace
} // namespace tessaron
