#include "app/main_window.hpp"
#include "widgets/string_table.hpp"

#include "account_screens/account_screen_model.hpp"
#include "app/application_look.hpp"
#include "app/sheet_contents.hpp"
#include "platform/bundle_info.hpp"
#include "platform/reduce_motion_observer.hpp"
#include "screens/home_view.hpp"
#include "screens/sheet_host.hpp"
#include "screens/update_state.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/return_presses_button.hpp"
#include "widgets/sheet_dialog.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QWindow>

#include <qcoro/qcorotask.h>

namespace tessaron {

namespace {

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

TessaronMainWindow::TessaronMainWindow(std::function<MainWindowServices()> services, QWidget* parent)
    : QMainWindow(parent)
    , makeServices_(std::move(services))
    , recovery_([this] { cameToForeground(); }) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Tessaron"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(boundedByScreen(*this, {480, 600}));
    setMinimumSize(boundedByScreen(*this, {360, 420}));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    setPalette(palette);
    setAutoFillBackground(true);
    // Every window of the application: the main window is the first one made.
    pressFocusedButtonsOnReturn();
}

// The session, the home view and the menu are built after the window is mapped, so it appears at once.
void TessaronMainWindow::buildContent() {
    services_.emplace(makeServices_());
    auto& services = *services_;
    // The menu too: its text would load the fonts before the first map.
    buildMenu();
    home_ = new TessaronHomeView(TessaronHomeServices{services.session, services.account, services.power,
                                                      services.power, services.activator},
                                 this);
    setCentralWidget(home_);
    if (auto* reduceMotion = services.reduceMotion) {
        home_->setReduceMotion(reduceMotion->reduceMotion());
        connect(reduceMotion, &ReduceMotionObserver::reduceMotionChanged, home_,
                &TessaronHomeView::setReduceMotion);
    }
    sheetHost_ =
        new TessaronSheetHost(services.session, services.updates, *this,
                              SheetContents{services.session, services.updates, services.accountScreens,
                                            services.workspace, services.reduceMotion},
                              services.updateCover);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this] { updateScenePhase(); });
    updateScenePhase();
    // The bootstrap waits until the content is on screen, so start-up work never delays the first picture.
    launchPending_ = true;
    update();
}

bool TessaronMainWindow::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    // An update request draws the window and hands the picture to the window system; the home view is
    // shown a turn after it was set, so the first request may come without it.
    if (event->type() == QEvent::UpdateRequest && launchPending_ && home_->isVisible()) {
        launchPending_ = false;
        QMetaObject::invokeMethod(this, &TessaronMainWindow::launch, Qt::QueuedConnection);
    }
    return handled;
}

void TessaronMainWindow::launch() {
    // Hands what was drawn to the window system before the bootstrap's work begins.
    QGuiApplication::sync();
    Q_EMIT contentPresented();
    services_->session.bootstrap(bootstrap_.token());
    sheetHost_->offerPrivacy();
}

TessaronMainWindow::~TessaronMainWindow() {
    bootstrap_.cancel();
}

void TessaronMainWindow::buildMenu() {
    menuBar()->setPalette(TessaronAppearanceHost::palette());
    auto* menu = menuBar()->addMenu(QStringLiteral("Tessaron"));
    auto* about = menu->addAction(uiText("About Tessaron"));
    about->setObjectName(QStringLiteral("tessaron.menu.about"));
    connect(about, &QAction::triggered, this, &TessaronMainWindow::showAbout);

    auto& updates = services_->updates;
    auto* check = menu->addAction(uiText("Check for Updates…"));
    check->setObjectName(QStringLiteral("tessaron.menu.checkForUpdates"));
    check->setEnabled(updates.canCheckForUpdates());
    connect(&updates, &TessaronUpdateState::canCheckForUpdatesChanged, check, &QAction::setEnabled);
    connect(check, &QAction::triggered, &updates, &TessaronUpdateState::checkForUpdates);

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
    // Held by the window too, so that its sheets (windows of their own) answer the same shortcuts.
    addActions({settings, quit});
}

void TessaronMainWindow::showAbout() {
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("tessaron.about"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(uiText("About Tessaron"));
    box->setIconPixmap(productIcon().pixmap(64));
    box->setText(versionLine());
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
}

void TessaronMainWindow::bringToFront() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TessaronMainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!home_ && !contentPending_)
        windowHandle()->installEventFilter(this);
    updateScenePhase();
}

bool TessaronMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed() &&
        !std::exchange(contentPending_, true)) {
        windowHandle()->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &TessaronMainWindow::buildContent, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
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

// An invitation left behind is finished, and an account service that has not answered in this run (the
// application started offline) is asked again, so that the account shows once the service is back.
void TessaronMainWindow::cameToForeground() {
    auto& services = *services_;
    recoverThenRefresh(QPointer(&services.session));
    if (services.accountScreens.awaitsFirstAnswer())
        startRefresh(foregroundRefresh_, services.accountScreens, &services.session);
}

void TessaronMainWindow::updateScenePhase() {
    if (!home_)
        return;
    scenePhase_ = tessaron::scenePhase(isVisible(), isMinimized(), QGuiApplication::applicationState());
    home_->setScenePhase(scenePhase_);
    recovery_.follow(scenePhase_);
}

} // namespace tessaron
