#pragma once

#include "app/update_dialogs.hpp"
#include "platform/linux_update_framework.hpp"
#include "platform/qt_http_transport.hpp"
#include "updates/release_feed.hpp"
#include "updates/update_checker.hpp"

namespace tessaron {

// The application's update checker on its release feed, with the update framework's Linux layer and its
// dialogs; told when the application comes to the front. Built after the application object.
class ApplicationUpdates {
public:
    ApplicationUpdates();
    ApplicationUpdates(const ApplicationUpdates&) = delete;
    ApplicationUpdates& operator=(const ApplicationUpdates&) = delete;

    TessaronUpdateChecker& checker() { return checker_; }

private:
    QtHttpTransport transport_;
    ReleaseFeed feed_;
    MessageBoxUpdateDialogs dialogs_;
    LinuxUpdateFramework framework_;
    TessaronUpdateChecker checker_;
};

} // namespace tessaron
