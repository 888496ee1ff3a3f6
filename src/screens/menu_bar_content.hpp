#pragma once

#include "session/link_phase.hpp"
#include "session/primary_intent.hpp"
#include "session/sheet.hpp"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QLabel;

namespace tessaron {

class NodeStatusPill;
class PowerState;
class TessaronFittedLabel;
class TessaronHomeAccount;
class TessaronNodeList;
class TessaronPrimaryButton;
class TessaronSession;
class TessaronSheetScrollArea;

QString phaseTitle(TessaronLinkPhase phase);
QColor phaseColor(TessaronLinkPhase phase);
// The tray's tooltip: the phase, and the connection's name while connected to one.
QString trayToolTip(TessaronLinkPhase phase, const std::optional<QString>& selectedName);

// What the panel's primary button does for an intent: act on the session here, or open a sheet in the
// main window.
struct MenuBarPrimary {
    std::optional<TessaronSheet> sheet;
    bool enabled = true;
};
// Connect is always offered: the session refuses a second one while the first is starting.
MenuBarPrimary menuBarPrimary(TessaronPrimaryIntent intent, bool primaryActionEnabled);

// The tray panel: the link's state, the node list, the primary action, "Check again" after a failed
// check, and the ways to the main window and out. It asks for the whole height of what it shows; given
// less, only the node list gives way, and scrolls. Its parts are made in the order they stand, top to
// bottom, which is the order assistive technologies read them in.
class MenuBarContentView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 320;

    // The account is followed because the primary action depends on whether someone is signed in.
    MenuBarContentView(TessaronSession& session, TessaronHomeAccount& account, PowerState& power,
                       QWidget* parent = nullptr);

    void refresh();

Q_SIGNALS:
    void openMainWindowRequested();
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void primaryTapped();

    TessaronSession& session_;
    QWidget* header_;
    QWidget* dot_;
    TessaronFittedLabel* title_;
    NodeStatusPill* pill_;
    TessaronSheetScrollArea* list_;
    TessaronNodeList* nodes_;
    TessaronPrimaryButton* primary_;
    QAbstractButton* checkAgain_;
};

} // namespace tessaron
