#pragma once

#include "session/link_phase.hpp"

#include <QIcon>
#include <QObject>
#include <QPointer>

class QSystemTrayIcon;

namespace tessaron {

class MenuBarContentView;
class PowerState;
class TessaronSession;

// The six tray glyphs, one per phase: a ring, turning arrows, an hourglass, and a shield with a check, an
// exclamation mark or a cross.
QIcon trayIcon(TessaronLinkPhase phase);

// The tray icon with its panel. Where the desktop has no tray, nothing is made and the main window is the
// way in.
class TessaronTray final : public QObject {
    Q_OBJECT
public:
    TessaronTray(TessaronSession& session, PowerState& power, QObject* parent = nullptr);
    ~TessaronTray() override;

    bool isShown() const { return icon_ != nullptr; }
    QSystemTrayIcon* icon() const { return icon_; }
    QWidget* panel() const { return panel_; }
    // Opens the panel below (or above) the icon, or closes it when open.
    void togglePanel();

Q_SIGNALS:
    void openMainWindowRequested();
    void quitRequested();

private:
    void follow();

    TessaronSession& session_;
    PowerState& power_;
    QSystemTrayIcon* icon_ = nullptr;
    QPointer<QWidget> panel_;
};

} // namespace tessaron
