#include "app/main_window.hpp"

#include "app/sheet_contents.hpp"
#include "platform/bundle_info.hpp"
#include "screens/appearance_host.hpp"
#include "screens/home_view.hpp"
#include "screens/sheet_host.hpp"
#include "screens/tessaron_theme.hpp"
#include "screens/update_state.hpp"
#include "session/tessaron_session.hpp"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>

#include <qcoro/qcorotask.h>

namespace tessaron {

namespace {

QString uiText(const char* text) {
    return QCoreApplication::translate("Tessaron", text);
}

// Not tied to the window: once started it runs to its end.
QCoro::Task<> recoverThenRefresh(QPointer<TessaronSession> session) {
    co_await session->recoverPendingInvitation();
    if (!session)
        co_return;
    co_await session->refreshStaleProfiles();
}

QString versionLine() {
    const auto version = BundleInfo::main().value(QStringLiteral("CFBundleShortVersionString")).toString();
    return version.isEmpty() ? QStringLiteral("Tessaron") : QStringLiteral("Tessaron %1").arg(version);
}

} // namespace

TessaronMainWindow::TessaronMainWindow(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent)
    , services_(services)
    , recovery_([session = QPointer(&services.session)] { recoverThenRefresh(session); }) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Tessaron"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(480, 600);
    setMinimumSize(360, 420);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    setPalette(palette);

    home_ = new TessaronHomeView(TessaronHomeServices{services_.session, services_.account, services_.power,
                                                      services_.power, services_.activator},
                                 this);
    setCentralWidget(home_);
    sheetHost_ =
        new TessaronSheetHost(services_.session, services_.updates, *this,
                              SheetContents{services_.session, services_.updates, {}, {}},
                              [this](QWidget& window) { return makeUpdateCover(services_.updates, window); });
    buildMenu();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this] { updateScenePhase(); });
}

TessaronMainWindow::~TessaronMainWindow() = default;

void TessaronMainWindow::buildMenu() {
    menuBar()->setPalette(tessaronDarkPalette());
    auto* menu = menuBar()->addMenu(QStringLiteral("Tessaron"));
    auto* about = menu->addAction(uiText("About Tessaron"));
    about->setObjectName(QStringLiteral("tessaron.menu.about"));
    connect(about, &QAction::triggered, this, &TessaronMainWindow::showAbout);

    auto* check = menu->addAction(uiText("Check for Updates…"));
    check->setObjectName(QStringLiteral("tessaron.menu.checkForUpdates"));
    check->setEnabled(services_.updates.canCheckForUpdates());
    connect(&services_.updates, &TessaronUpdateState::canCheckForUpdatesChanged, check, &QAction::setEnabled);
    connect(check, &QAction::triggered, &services_.updates, &TessaronUpdateState::checkForUpdates);

    menu->addSeparator();
    auto* settings = menu->addAction(uiText("Settings…"));
    settings->setObjectName(QStringLiteral("tessaron.menu.settings"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, &TessaronMainWindow::settingsRequested);

    menu->addSeparator();
    auto* quit = menu->addAction(uiText("Quit Tessaron"));
    quit->setObjectName(QStringLiteral("tessaron.menu.quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &TessaronMainWindow::quitRequested);
}

void TessaronMainWindow::showAbout() {
    QMessageBox::about(this, uiText("About Tessaron"), versionLine());
}

void TessaronMainWindow::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TessaronMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!std::exchange(bootstrapped_, true)) {
        services_.session.bootstrap();
        sheetHost_->offerPrivacy();
    }
    updateScenePhase();
}

void TessaronMainWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    updateScenePhase();
}

void TessaronMainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateScenePhase();
}

void TessaronMainWindow::updateScenePhase() {
    scenePhase_ = tessaron::scenePhase(isVisible(), isMinimized(), QGuiApplication::applicationState());
    home_->setScenePhase(scenePhase_);
    recovery_.follow(scenePhase_);
}

} // namespace tessaron
