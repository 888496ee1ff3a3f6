#pragma once

#include "platform/task_slot.hpp"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QVBoxLayout;

namespace tessaron {

class AccountScreenModel;
class Clock;
class ReduceMotionObserver;
class TessaronLinkText;
class TessaronLoginView;
class TessaronOtherDevicesView;
class TessaronSession;
class Workspace;

// The settings form's account block: who is signed in and the account actions. It exists only while the
// model knows the providers or holds an account.
class TessaronAccountSection final : public QWidget {
    Q_OBJECT
public:
    // Its sheets follow `reduceMotion`, the desktop's setting; full motion without one.
    TessaronAccountSection(AccountScreenModel& model, TessaronSession* session, Clock& clock,
                           Workspace& workspace, const ReduceMotionObserver* reduceMotion,
                           QWidget* parent = nullptr);

    // Whether the section shows anything at all.
    bool isPresent() const;
    // The sheets, while open.
    TessaronLoginView* signInSheet() const;
    TessaronOtherDevicesView* otherDevicesSheet() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showSignIn();
    void showOtherDevices();
    void confirmSignOut();
    void confirmDelete();
    QCoro::Task<> deleteAccount();
    void clearDeletionError();
    void refresh();
    void startAppearanceRefresh();

    AccountScreenModel& model_;
    QPointer<TessaronSession> session_;
    Clock& clock_;
    Workspace& workspace_;
    const ReduceMotionObserver* reduceMotion_;
    TaskSlot appearance_;
    bool appeared_ = false;
    // The failure of a deletion started here, shown until the next action or appearance.
    std::optional<QString> deletionError_;

    QWidget* signedOut_;
    QWidget* signedIn_;
    TessaronLinkText* email_;
    QLabel* devices_;
    QWidget* otherDevicesRow_;
    QWidget* signOut_;
    QWidget* delete_;
    QLabel* error_;
    QPointer<TessaronLoginView> signIn_;
    QPointer<TessaronOtherDevicesView> otherDevices_;
};

} // namespace tessaron
