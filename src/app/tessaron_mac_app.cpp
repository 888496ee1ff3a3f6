#include "app/tessaron_mac_app.hpp"

#include "app/main_window.hpp"
#include "app/sheet_contents.hpp"
#include "platform/power_state_observer.hpp"
#include "screens/settings_sheet.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/sheet_dialog.hpp"

#include <QAction>
#include <QApplication>
#include <QVBoxLayout>

#include <cstdlib>

namespace tessaron {

TessaronMacApp::TessaronMacApp() = default;

TessaronMacApp::~TessaronMacApp() {
    delete settingsWindow_;
    delete mainWindow_;
}

ApplicationAccount& TessaronMacApp::applicationAccount() {
    if (!account_)
        account_ = std::make_unique<ApplicationAccount>();
    return *account_;
}

ApplicationSession& TessaronMacApp::applicationSession() {
    if (!session_) {
        session_ = std::make_unique<ApplicationSession>(workspace_, applicationAccount());
        session_->start();
        reduceMotion_ = std::make_unique<ReduceMotionObserver>(QDBusConnection::sessionBus());
    }
    return *session_;
}

void TessaronMacApp::startAfterFirstPicture() {
    applicationSession().startAfterFirstPaint();
    // The feed's request would load the TLS library while the home view draws.
    updates().checker().start();
    // Rendering the icons and asking the desktop for a tray would hold up the first picture.
    look_.showProductIcon();
    if (!tray_) {
        tray_ = std::make_unique<TessaronTray>(session_->session(), session_->homeAccount(),
                                               PowerStateObserver::shared(), reduceMotion_.get());
        connect(tray_.get(), &TessaronTray::openMainWindowRequested, this, [this] { showMainWindow(); });
        connect(tray_.get(), &TessaronTray::quitRequested, this, &TessaronMacApp::quit);
        connect(tray_.get(), &TessaronTray::shownChanged, this, &TessaronMacApp::followTray);
    }
}

TessaronSession& TessaronMacApp::session() {
    return applicationSession().session();
}

ApplicationUpdates& TessaronMacApp::updates() {
    if (!updates_)
        updates_ = std::make_unique<ApplicationUpdates>();
    return *updates_;
}

MainWindowServices TessaronMacApp::mainWindowServices() {
    auto& running = applicationSession();
    auto& checker = updates().checker();
    return MainWindowServices{
        .session = running.session(),
        .account = running.homeAccount(),
        .accountScreens = running.accountScreens(),
        .power = PowerStateObserver::shared(),
        .updates = updates().state(),
        .activator = running.activator(),
        .workspace = workspace_,
        .updateCover = [&checker, workspace = &workspace_](
                           QWidget& window) { return makeUpdateCover(checker, *workspace, window); },
        .reduceMotion = reduceMotion_.get(),
    };
}

TessaronMainWindow& TessaronMacApp::showMainWindow() {
    if (!mainWindow_) {
        // Before the window, so that the stored sign-in has been read when the home view first draws: the
        // keyring's first answer takes several round trips, and may start its daemon.
        applicationAccount();
        mainWindow_ = new TessaronMainWindow([this] { return mainWindowServices(); });
        connect(mainWindow_, &TessaronMainWindow::settingsRequested, this, &TessaronMacApp::showSettings);
        connect(mainWindow_, &TessaronMainWindow::quitRequested, this, &TessaronMacApp::quit);
        connect(mainWindow_, &QObject::destroyed, this, &TessaronMacApp::quitWhenUnreachable,
                Qt::QueuedConnection);
        connect(mainWindow_, &TessaronMainWindow::contentPresented, this, [this] {
            // The startup benchmark counts instructions up to this picture.
            if (exitWhenPresented_)
                std::_Exit(0);
            startAfterFirstPicture();
        });
        placeInsideScreen(*mainWindow_);
    }
    mainWindow_->bringToFront();
    return *mainWindow_;
}

void TessaronMacApp::showSettings() {
    if (!settingsWindow_) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("settings"));
        window->setWindowTitle(QCoreApplication::translate("Tessaron", "Settings"));
        setAccessibleTraits(window, {.window = true});
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setFixedSize(boundedByScreen(*window, {520, 560}));
        TessaronAppearanceHost::apply(*window);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto& running = applicationSession();
        layout->addWidget(
            new TessaronSettingsSheet(running.session(), updates().state(),
                                      accountSectionFactory(running.accountScreens(), running.session(),
                                                            workspace_, reduceMotion_.get()),
                                      workspace_, window));
        // The application's shortcut works in this window too; its sheets take it from here.
        auto* quitShortcut = new QAction(window);
        quitShortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        connect(quitShortcut, &QAction::triggered, this, &TessaronMacApp::quit);
        window->addAction(quitShortcut);
        settingsWindow_ = window;
        connect(window, &QObject::destroyed, this, &TessaronMacApp::quitWhenUnreachable,
                Qt::QueuedConnection);
        placeInsideScreen(*window, mainWindow_);
    }
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void TessaronMacApp::openUrl(const QUrl& url) {
    if (applicationSession().openUrl(url) != OpenedUrlRouter::Route::dropped)
        showMainWindow();
}

bool TessaronMacApp::showsAnything() const {
    return (tray_ && tray_->isShown()) || mainWindow_ || settingsWindow_;
}

void TessaronMacApp::quitWhenUnreachable() {
    if (!showsAnything())
        quit();
}

void TessaronMacApp::followTray(bool shown) {
    if (!shown && !showsAnything())
        showMainWindow();
}

void TessaronMacApp::quit() {
    // The tunnel is a process of its own and stays up.
    QApplication::quit();
}

} // namespace tessaron
