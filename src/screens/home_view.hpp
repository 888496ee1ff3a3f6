#pragma once

#include "platform/task_slot.hpp"
#include "screens/flow_ring.hpp"
#include "session/extension_approval.hpp"
#include "session/link_phase.hpp"
#include "session/primary_intent.hpp"
#include "widgets/scene_phase.hpp"

#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace tessaron {

class ConnectionHero;
class PowerState;
class TessaronInlineErrorBanner;
class TessaronExtensionStatusCard;
class TessaronFittedLabel;
class TessaronHomeAccount;
class TessaronNodeList;
class TessaronPrimaryButton;
class TessaronNudgeBorder;
class TessaronSession;
class TessaronSystemExtensionActivating;
class TessaronCrossfade;
class TessaronFocusKeeper;
class TessaronReveal;

// Motion is allowed only for an active window, with reduce motion and low power off.
bool animationsAllowed(bool reduceMotion, ScenePhase scene, bool lowPower);
// The nudges point at the next step once signed in with a saved connection.
TessaronNudgeState nudgeState(bool signedIn, bool hasSavedConnections, bool primaryEnabled);
// While the system waits for the user's approval the card shows the progress, not the button.
bool primaryBusy(const std::optional<TessaronExtensionApproval>& approval, TessaronLinkPhase phase,
                 bool isActing);
QString primaryHint(TessaronPrimaryIntent intent);

enum class AccountArea { email, signInPrompt, nothing };
AccountArea accountArea(bool signedIn, bool hasAccount, TessaronLinkPhase phase, bool hasSelectedSummary);

// The primary button's action for the session's current intent.
void performPrimaryAction(TessaronSession& session);

// Collaborators of the home view, handed in by the main window.
struct TessaronHomeServices {
    TessaronSession& session;
    TessaronHomeAccount& account;
    // The window's own power-state observer, and the process-wide one the node list follows.
    PowerState& power;
    PowerState& sharedPower;
    TessaronSystemExtensionActivating& activator;
};

// The main window's content: the connection hero, and below it the account line, the extension card,
// the primary button, the node list and the error banner.
class TessaronHomeView final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronHomeView(TessaronHomeServices services, QWidget* parent = nullptr);
    ~TessaronHomeView() override;

    // Tells the session whether the main scene is active, which switches latency probing and the poll.
    void setScenePhase(ScenePhase phase);
    void setReduceMotion(bool reduceMotion);
    // The update card's place at the top of the column.
    QVBoxLayout& updateSlot() const { return *updateSlot_; }

    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyScenePhase();
    void keepPrimaryFocus(bool enabled);
    void revealBanner();
    void keepFocusInSight();

    TessaronHomeServices services_;
    ScenePhase scenePhase_ = ScenePhase::active;
    bool reduceMotion_ = false;
    TaskSlot appearanceRefresh_;
    // A new message waits to be brought into view until the person moves the page themselves.
    bool revealBanner_ = false;
    // Holds the primary button's focus on the column while the button works.
    std::unique_ptr<TessaronFocusKeeper> primaryFocus_;

    QScrollArea* scroll_;

    ConnectionHero* hero_;
    QVBoxLayout* updateSlot_;
    TessaronFittedLabel* email_;
    TessaronReveal* emailReveal_;
    QLabel* signInPrompt_;
    TessaronExtensionStatusCard* card_;
    TessaronPrimaryButton* primary_;
    TessaronCrossfade* primaryTitleFade_;
    // The button's title crossfades only from a title a person has seen: a sign-in state that arrives
    // before the first picture changes it at once.
    bool primaryDrawn_ = false;
    TessaronNudgeBorder* primaryNudge_;
    TessaronNodeList* nodeList_;
    TessaronInlineErrorBanner* banner_;
};

} // namespace tessaron
