#pragma once

#include "app/foreground_invitation_recovery.hpp"
#include "screens/scene_phase.hpp"

#include <QMainWindow>

namespace tessaron {

class PowerState;
class TessaronHomeAccount;
class TessaronHomeView;
class TessaronSession;
class TessaronSheetHost;
class TessaronSystemExtensionActivating;
class TessaronUpdateState;

// What the main window is built with; all of it outlives the window.
struct MainWindowServices {
    TessaronSession& session;
    TessaronHomeAccount& account;
    PowerState& power;
    TessaronUpdateState& updates;
    TessaronSystemExtensionActivating& activator;
};

// The main window: the home view under the sheet host, and the application menu. Closing it destroys it;
// the next one runs the launch bootstrap and the privacy offer again.
class TessaronMainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit TessaronMainWindow(MainWindowServices services, QWidget* parent = nullptr);
    ~TessaronMainWindow() override;

    ScenePhase scenePhase() const { return scenePhase_; }
    TessaronHomeView& home() const { return *home_; }
    TessaronSheetHost& sheetHost() const { return *sheetHost_; }

    // Shown, not minimised, raised and focused.
    void bringToFront();

Q_SIGNALS:
    void settingsRequested();
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    void showAbout();
    void updateScenePhase();

    MainWindowServices services_;
    TessaronHomeView* home_;
    TessaronSheetHost* sheetHost_;
    ForegroundInvitationRecovery recovery_;
    ScenePhase scenePhase_ = ScenePhase::background;
    bool bootstrapped_ = false;
};

} // namespace tessaron
