#include "app/main_window.hpp"
#include "app/tessaron_mac_app.hpp"
#include "screens/menu_bar_content.hpp"
#include "screens/string_table.hpp"
#include "session/tessaron_session.hpp"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>

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
    EXPECT_EQ(settings->windowTitle(), QStringLiteral("Settings"));
    save(settings->grab(), "smoke-settings-window");
    app.showSettings();
    EXPECT_EQ(app.settingsWindow(), settings) << "opened again, it is raised, not doubled";
}

TEST_F(ShellSmoke, WithoutTrayTheMainWindowIsTheWayIn) {
    auto& window = showMain();
    ASSERT_NE(app.tray(), nullptr);
    EXPECT_FALSE(app.tray()->isShown());
    EXPECT_TRUE(window.isVisible());
    window.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app.mainWindow(), nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&app.showMainWindow())) << "built again after it was closed";
}

} // namespace
} // namespace tessaron
