#pragma once

#include "account/account_client.hpp"
#include "account/account_records.hpp"
#include "account/login_flow.hpp"
#include "account_screens/scheduled_call.hpp"
#include "platform/task_slot.hpp"
#include "widgets/sheet_dialog.hpp"

#include <QPointer>

#include <optional>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace tessaron {

class AccountScreenModel;
class Clock;
class ReduceMotionObserver;
class TessaronCodeField;
class TessaronLinkText;
class TessaronOutlinedTextButton;
class TessaronSession;

// The web sign-in providers offered for what the service reports, in their fixed order; never Apple.
QList<TessaronOAuthProvider> offeredProviders(const std::optional<TessaronProviders>& providers);

// The sign-in sheet: e-mail and code, or a web provider, then who is signed in. All state is the model's.
class TessaronLoginView final : public TessaronSheetDialog {
    Q_OBJECT
public:
    static constexpr int width = 400;

    // Follows the desktop's reduce-motion setting while it lives; full motion without one.
    TessaronLoginView(AccountScreenModel& model, TessaronSession* session, Clock& clock,
                      const ReduceMotionObserver* reduceMotion, QWidget* parent = nullptr);

    // Every close (Cancel, Escape, the window's close, Done) ends a web sign-in this view started.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setReduceMotion(bool reduceMotion);
    QWidget* buildEmailStep();
    QWidget* buildCodeStep(Clock& clock);
    QWidget* buildDoneStep();
    void rebuildProviders();
    // Eases a step in after a change; never under reduce motion.
    void fadeIn(QWidget* step);
    void codeEdited(const QString& text);
    void startWebSignIn(TessaronOAuthProvider provider);
    void runCountdown();
    void scheduleAutomaticClose();
    void focusStep(bool stepChanged, bool busyEnded);
    void refresh();

    AccountScreenModel& model_;
    QPointer<TessaronSession> session_;
    bool reduceMotion_ = false;
    ScheduledCall countdown_;
    ScheduledCall automaticClose_;
    TaskSlot appearance_;
    // A web sign-in this view started may still wait for its browser.
    bool webSignInStarted_ = false;
    std::optional<TessaronLoginFlow::Step> shownStep_;
    int shownResendRemaining_ = 0;
    bool shownBusy_ = false;
    std::optional<TessaronProviders> shownProviders_;

    QAbstractButton* cancel_;
    QLabel* error_;
    QWidget* steps_;
    QWidget* emailStep_;
    QWidget* codeStep_;
    QWidget* doneStep_;
    QLineEdit* email_;
    TessaronOutlinedTextButton* continue_;
    QVBoxLayout* providerColumn_;
    QList<TessaronOutlinedTextButton*> providerButtons_;
    TessaronLinkText* codeAddress_;
    TessaronCodeField* code_;
    QAbstractButton* resend_;
    QLabel* resendWait_;
    QAbstractButton* differentEmail_;
    TessaronLinkText* signedInAddress_;
    QLabel* evicted_;
};

} // namespace tessaron
