#pragma once

#include "app/application_look.hpp"
#include "app/application_session.hpp"
#include "app/application_updates.hpp"
#include "app/desktop_workspace.hpp"
#include "app/main_window.hpp"
#include "app/tray_icon.hpp"
#include "platform/reduce_motion_observer.hpp"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <memory>

namespace tessaron {

class PowerState;

// The application: one session and one update checker for the process, the main window (built again
// after it was closed), the Settings window and the tray icon. The account is made before the first
// window; the session, the update checker and the power observer on first use, which the main window puts
// after its first appearance; the tray and the product's icon once the home view's first picture is on
// screen.
// With a tray the application outlives its windows; without one, closing the last window quits it, and a
// tray that goes while no window is open brings the main window back. Quitting leaves the tunnel running.
class TessaronMacApp final : public QObject {
    Q_OBJECT
public:
    TessaronMacApp();
    ~TessaronMacApp() override;

    TessaronSession& session();
    ApplicationUpdates& updates();
    TessaronMainWindow* mainWindow() const { return mainWindow_; }
    QWidget* settingsWindow() const { return settingsWindow_; }
    // None before the home view's first picture.
    TessaronTray* tray() const { return tray_.get(); }

    // The main window in front, built anew when it was closed.
    TessaronMainWindow& showMainWindow();
    // Opens the Settings window, or raises it.
    void showSettings();
    // A URL handed to the application: a web sign-in's callback or an invitation link.
    void openUrl(const QUrl& url);
    void quit();

private:
    ApplicationAccount& applicationAccount();
    ApplicationSession& applicationSession();
    // What the first picture does not need; the second and later pictures find it done.
    void startAfterFirstPicture();
    MainWindowServices mainWindowServices();
    bool showsAnything() const;
    void quitWhenUnreachable();
    void followTray(bool shown);

    ApplicationLook look_;
    DesktopWorkspace workspace_;
    std::unique_ptr<ApplicationAccount> account_;
    std::unique_ptr<ApplicationSession> session_;
    std::unique_ptr<ApplicationUpdates> updates_;
    std::unique_ptr<ReduceMotionObserver> reduceMotion_;
    std::unique_ptr<TessaronTray> tray_;
    QPointer<TessaronMainWindow> mainWindow_;
    QPointer<QWidget> settingsWindow_;
    // TESSARON_EXIT_WHEN_PRESENTED: leave the moment the home view's first picture is on screen.
    const bool exitWhenPresented_ = qEnvironmentVariableIsSet("TESSARON_EXIT_WHEN_PRESENTED");
};

} // namespace tessaron
