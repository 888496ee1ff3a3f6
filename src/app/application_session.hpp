#pragma once

#include "account/account_model.hpp"
#include "account/device_swap_center.hpp"
#include "account/system_device_swap_presenter.hpp"
#include "account_screens/account_screen_model.hpp"
#include "app/model_home_account.hpp"
#include "app/move_to_applications.hpp"
#include "app/opened_url_router.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "session/linux_session_services.hpp"
#include "session/tessaron_session.hpp"
#include "updates/crash_reporter.hpp"

#include <functional>

namespace tessaron {

// The session's crash-reporting hook: it starts `reporter` there and then. The crashes left by earlier runs
// are read and sent on the reporter's own thread, so the first picture does not wait for them.
std::function<void()> crashReportingStart(TessaronCrashReporter& reporter, CrashReportingParts parts = {});

// The session's services as the application hands them over: asked to reveal the application, `mover`
// moves it; as its construction ends, the session starts the process's crash reporter.
TessaronSessionServices withApplicationHooks(TessaronSessionServices services,
                                             TessaronApplicationMover& mover);

// The account side of the application: the account model over the system's keyring, and the two views of
// it the screens take. Built before the first window, so that the stored sign-in is read while the window
// is made and the home view's first picture knows who is signed in; it holds the home view's refresh until
// that picture (`ApplicationSession::startAfterFirstPaint`). Touches no D-Bus itself: the keyring's thread
// does the reading.
class ApplicationAccount {
public:
    ApplicationAccount();
    ApplicationAccount(const ApplicationAccount&) = delete;
    ApplicationAccount& operator=(const ApplicationAccount&) = delete;

    TessaronAccountModel& model() { return account_; }
    // The account model as the home view and the account screens see it.
    ModelHomeAccount& home() { return homeAccount_; }
    AccountScreenModel& screens() { return accountScreens_; }
    LinuxWebAuthSession& webSignIn() { return webSignIn_; }

private:
    LinuxWebAuthSession webSignIn_;
    TessaronSystemDeviceSwapPresenter swapPresenter_;
    TessaronDeviceSwapCenter swapCenter_;
    TessaronAccountModel account_;
    ModelHomeAccount homeAccount_;
    TessaronAccountScreenModel accountScreens_;
};

// The application's one connection session, on the Linux parts, told when the application becomes active
// and when it resigns; asked to reveal the application, it moves the program into the applications
// folder. Built after the application object, over the account that outlives it; lives until the
// application quits.
class ApplicationSession {
public:
    ApplicationSession(Workspace& workspace, ApplicationAccount& account);
    ApplicationSession(const ApplicationSession&) = delete;
    ApplicationSession& operator=(const ApplicationSession&) = delete;

    TessaronSession& session() { return session_; }
    TessaronAccountModel& account() { return account_.model(); }
    // The account model as the home view and the account screens see it.
    TessaronHomeAccount& homeAccount() { return account_.home(); }
    AccountScreenModel& accountScreens() { return account_.screens(); }
    TessaronSystemExtensionActivating& activator() { return activator_; }

    // Follows the application's activity; each main window runs the launch bootstrap itself.
    void start();
    // What the first picture of the home view does not need: the home view's account refresh, held until
    // now, and the account's refresh. Runs once, however often it is called.
    void startAfterFirstPaint();

    // A URL opened from outside: a web sign-in's callback or an invitation link.
    OpenedUrlRouter::Route openUrl(const QUrl& url) { return router_.open(url); }

private:
    void followApplicationState();

    ApplicationAccount& account_;
    LocalMoveFileSystem moveFileSystem_;
    TessaronApplicationMover mover_;
    LinuxSessionServices services_;
    TessaronSystemExtensionActivating& activator_;
    TessaronSession session_;
    OpenedUrlRouter router_;
    bool startedAfterFirstPaint_ = false;
};

} // namespace tessaron
