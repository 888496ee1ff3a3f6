#pragma once

#include "app/foreground_invitation_recovery.hpp"
#include "platform/cancellation.hpp"
#include "platform/task_slot.hpp"
#include "screens/sheet_host.hpp"
#include "widgets/scene_phase.hpp"

#include <QMainWindow>

#include <functional>
#include <optional>

namespace tessaron {

class AccountScreenModel;
class PowerState;
class ReduceMotionObserver;
class TessaronHomeAccount;
class TessaronHomeView;
class TessaronSession;
class TessaronSystemExtensionActivating;
class TessaronUpdateState;
class Workspace;

// What the main window is built with; all of it outlives the window.
struct MainWindowServices {
    TessaronSession& session;
    TessaronHomeAccount& account;
    AccountScreenModel& accountScreens;
    PowerState& power;
    TessaronUpdateState& updates;
    TessaronSystemExtensionActivating& activator;
    Workspace& workspace;
    // The page over the window while an update is required.
    TessaronSheetHost::CoverFactory updateCover;
    // The desktop's wish for less motion; none follows no wish.
    ReduceMotionObserver* reduceMotion = nullptr;
};

// The main window: the home view under the sheet host, and the application menu. It appears empty and
// builds its content, and with it everything the content needs, once it is on screen; then it runs the
// launch bootstrap and the privacy offer. Closing it destroys it; the next one runs both again.
class TessaronMainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit TessaronMainWindow(std::function<MainWindowServices()> services, QWidget* parent = nullptr);
    ~TessaronMainWindow() override;

    ScenePhase scenePhase() const { return scenePhase_; }
    // None until the window has been on screen.
    TessaronHomeView* home() const { return home_; }
    TessaronSheetHost* sheetHost() const { return sheetHost_; }

    // Shown, not minimised, raised and focused.
    void bringToFront();

Q_SIGNALS:
    void settingsRequested();
    void quitRequested();
    // The content has been drawn and handed to the window system: what can wait for it may start.
    void contentPresented();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    void buildContent();
    void launch();
    void showAbout();
    void updateScenePhase();
    void cameToForeground();

    std::function<MainWindowServices()> makeServices_;
    std::optional<MainWindowServices> services_;
    TessaronHomeView* home_ = nullptr;
    TessaronSheetHost* sheetHost_ = nullptr;
    ForegroundInvitationRecovery recovery_;
    // The account's refresh at a return to the foreground; it ends with the window.
    TaskSlot foregroundRefresh_;
    // The bootstrap lives as long as the window's content: closing the window cancels one still running.
    CancellationSource bootstrap_;
    ScenePhase scenePhase_ = ScenePhase::background;
    bool contentPending_ = false;
    bool launchPending_ = false;
};

} // namespace tessaron
