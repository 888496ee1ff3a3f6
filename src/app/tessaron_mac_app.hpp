#pragma once

#include "app/application_session.hpp"
#include "app/assumed_home_account.hpp"
#include "app/main_window.hpp"
#include "app/no_update_checker.hpp"
#include "app/tray_icon.hpp"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>

namespace tessaron {

class PowerState;

// The application: one session and one update checker for the process, the main window (built again
// after it was closed), the Settings window and the tray icon. Quitting leaves the tunnel running.
class TessaronMacApp final : public QObject {
    Q_OBJECT
public:
    TessaronMacApp();
    ~TessaronMacApp() override;

    TessaronSession& session() { return session_.session(); }
    TessaronUpdateState& updates() { return updates_; }
    TessaronMainWindow* mainWindow() const { return mainWindow_; }
    QWidget* settingsWindow() const { return settingsWindow_; }
    TessaronTray& tray() { return tray_; }

    // The main window in front, built anew when it was closed.
    TessaronMainWindow& showMainWindow();
    // Opens the Settings window, or raises it.
    void showSettings();
    // A URL handed to the application: a web sign-in's callback or an invitation link.
    void openUrl(const QUrl& url);
    void quit();

private:
    ApplicationSession session_;
    NoUpdateChecker updates_;
    AssumedHomeAccount account_;
    PowerState& power_;
    TessaronTray tray_;
    QPointer<TessaronMainWindow> mainWindow_;
    QPointer<QWidget> settingsWindow_;
};

} // namespace tessaron
