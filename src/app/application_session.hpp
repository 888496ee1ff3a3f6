#pragma once

#include "account/account_model.hpp"
#include "account/device_swap_center.hpp"
#include "account/system_device_swap_presenter.hpp"
#include "app/opened_url_router.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "session/linux_session_services.hpp"
#include "session/tessaron_session.hpp"

namespace tessaron {

// The application's one connection session, on the Linux parts, told when the application becomes active
// and when it resigns. Built after the application object; lives until the application quits.
class ApplicationSession {
public:
    ApplicationSession();
    ApplicationSession(const ApplicationSession&) = delete;
    ApplicationSession& operator=(const ApplicationSession&) = delete;

    TessaronSession& session() { return session_; }
    TessaronAccountModel& account() { return account_; }
    TessaronSystemExtensionActivating& activator() { return activator_; }

    // Follows the application's activity; each main window runs the launch bootstrap itself.
    void start();

    // A URL opened from outside: a web sign-in's callback or an invitation link.
    OpenedUrlRouter::Route openUrl(const QUrl& url) { return router_.open(url); }

private:
    void followApplicationState();

    LinuxWebAuthSession webSignIn_;
    TessaronSystemDeviceSwapPresenter swapPresenter_;
    TessaronDeviceSwapCenter swapCenter_;
    TessaronAccountModel account_;
    LinuxSessionServices services_;
    TessaronSystemExtensionActivating& activator_;
    TessaronSession session_;
    OpenedUrlRouter router_;
};

} // namespace tessaron
