#pragma once

#include "session/link_phase.hpp"

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <memory>

class QSystemTrayIcon;

namespace tessaron {

class PowerState;
class ReduceMotionObserver;
class TessaronHomeAccount;
class TessaronSession;
class TessaronTrayPanel;
class XEmbedTrayEvents;

// The six tray glyphs, one per phase: the product's mark (four tiles in a ring), turning arrows, an
// hourglass, and a shield with a check, an exclamation mark or a cross. White with a dark edge, so they
// read on light and dark panels alike.
QIcon trayIcon(TessaronLinkPhase phase);

// The tray icon with its panel. The icon is there whenever the desktop has a tray: one that starts later
// takes it, and while there is none the main window is the way in.
class TessaronTray final : public QObject {
    Q_OBJECT
public:
    // `reduceMotion`, when given, is the desktop's wish for less motion, which the panel's node list follows
    // as the main window's does.
    TessaronTray(TessaronSession& session, TessaronHomeAccount& account, PowerState& power,
                 const ReduceMotionObserver* reduceMotion = nullptr, QObject* parent = nullptr);
    ~TessaronTray() override;

    // Whether a tray shows the icon now.
    bool isShown() const { return shown_; }
    QSystemTrayIcon* icon() const { return icon_; }
    QWidget* panel() const;
    // Opens the panel below (or above) the icon, or closes it when open.
    void togglePanel();

Q_SIGNALS:
    void openMainWindowRequested();
    void quitRequested();
    void shownChanged(bool shown);

private:
    void follow();
    void followTrayHost();
    void watchTrayHosts();

    TessaronSession& session_;
    TessaronHomeAccount& account_;
    PowerState& power_;
    const ReduceMotionObserver* reduceMotion_;
    QSystemTrayIcon* icon_;
    QPointer<TessaronTrayPanel> panel_;
    std::unique_ptr<XEmbedTrayEvents> trayEvents_;
    bool shown_ = false;
};

} // namespace tessaron
