#pragma once

#include "account_screens/scheduled_call.hpp"
#include "platform/task_slot.hpp"
#include "widgets/sheet_dialog.hpp"

#include <optional>

class QLabel;
class QVBoxLayout;

namespace tessaron {

class AccountScreenModel;
class Clock;
class ReduceMotionObserver;
class TessaronOutlinedTextButton;
class TessaronLinkText;
class TessaronMainActionButton;
class TessaronSubscriptionQRCode;
class Workspace;
struct TessaronSubscriptionLinkStatus;

// The sheet where a link for Windows and Android clients is created, shown, copied, reset and removed.
class TessaronOtherDevicesView final : public TessaronSheetDialog {
    Q_OBJECT
public:
    enum class LinkDisplay { noLink, linkShown, linkNotShown };
    static LinkDisplay linkDisplay(const std::optional<TessaronSubscriptionLinkStatus>& status,
                                   const std::optional<QUrl>& localURL);

    // Follows the desktop's reduce-motion setting while it lives; full motion without one.
    TessaronOtherDevicesView(AccountScreenModel& model, Clock& clock, Workspace& workspace,
                             const ReduceMotionObserver* reduceMotion, QWidget* parent = nullptr);
    ~TessaronOtherDevicesView() override;

    bool isCopied() const { return copied_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setReduceMotion(bool reduceMotion);
    QWidget* buildNoLink();
    QWidget* buildLinkShown();
    QWidget* buildLinkNotShown();
    QWidget* buildButtonRow(bool withCopy);
    void copyLink();
    void confirmReset();
    void confirmRemove();
    void refresh();
    QWidget* mainAction() const;

    AccountScreenModel& model_;
    Clock& clock_;
    Workspace& workspace_;
    bool reduceMotion_ = false;
    bool copied_ = false;
    QWidget* shownPage_ = nullptr;
    ScheduledCall copiedReset_;
    TaskSlot appearance_;

    QWidget* states_;
    QWidget* unavailablePage_;
    QWidget* noLinkPage_;
    QWidget* linkShownPage_;
    QWidget* linkNotShownPage_;
    TessaronMainActionButton* create_;
    TessaronSubscriptionQRCode* qrCode_;
    TessaronLinkText* url_;
    TessaronOutlinedTextButton* copy_;
    QList<QWidget*> rows_;
    QLabel* created_;
    QLabel* lastUsed_;
    QLabel* error_;
};

} // namespace tessaron
