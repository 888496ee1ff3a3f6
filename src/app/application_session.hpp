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

// The session's crash-reporting hook: it starts `reporter` held, so that building the pipeline and reading
// the crashes left by earlier runs wait until the first picture is on screen and `resume()` is called.
std::function<void()> heldCrashReportingStart(TessaronCrashReporter& reporter,
                                              CrashReportingParts parts = {});

// The application's one connection session, on the Linux parts, told when the application becomes active
// and when it resigns; asked to reveal the application, it moves the program into the applications
// folder. Built after the application object; lives until the application quits.
class ApplicationSession {
public:
    explicit ApplicationSession(Workspace& workspace);
    ApplicationSession(const ApplicationSession&) = delete;
    ApplicationSession& operator=(const ApplicationSession&) = delete;

    TessaronSession& session() { return session_; }
    TessaronAccountModel& account() { return account_; }
    // The account model as the home view and the account screens see it.
    TessaronHomeAccount& homeAccount() { return homeAccount_; }
    AccountScreenModel& accountScreens() { return accountScreens_; }
    TessaronSystemExtensionActivating& activator() { return activator_; }

    // Follows the application's activity; each main window runs the launch bootstrap itself.
    void start();
    // What the first picture of the home view does not need: the work of crash reporting, which the
    // session started held, the home view's account refresh, held until now, and the account's refresh.
    // Runs once, however often it is called.
    void startAfterFirstPaint();

    // A URL opened from outside: a web sign-in's callback or an invitation link.
    OpenedUrlRouter::Route openUrl(const QUrl& url) { return router_.open(url); }

private:
    void followApplicationState();

    LinuxWebAuthSession webSignIn_;
    LocalMoveFileSystem moveFileSystem_;
    TessaronApplicationMover mover_;
    TessaronSystemDeviceSwapPresenter swapPresenter_;
    TessaronDeviceSwapCenter swapCenter_;
    TessaronAccountModel account_;
    ModelHomeAccount homeAccount_;
    TessaronAccountScreenModel accountScreens_;
    LinuxSessionServices services_;
    TessaronSystemExtensionActivating& activator_;
    TessaronSession session_;
    OpenedUrlRouter router_;
    bool startedAfterFirstPaint_ = false;
};

} // namespace tessaron
