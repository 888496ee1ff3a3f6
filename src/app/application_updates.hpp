#pragma once

#include "app/checker_update_state.hpp"
#include "app/update_dialogs.hpp"
#include "platform/linux_update_framework.hpp"
#include "platform/qt_http_transport.hpp"
#include "updates/release_feed.hpp"
#include "updates/update_checker.hpp"

namespace tessaron {

// Where the updates read and keep their state: the Info file with the feed's and the download page's
// addresses, how the feed is reached, the floor's store and the server's upgrade gate.
struct UpdateSurroundings {
    BundleInfo bundle;
    QtHttpTransportOptions transport;
    Preferences& defaults;
    TessaronServerUpgradeGate& gate;

    static UpdateSurroundings standard();
};

// The application's update checker on its release feed, with the update framework's Linux layer and its
// dialogs; told when the application comes to the front. Built after the application object.
class ApplicationUpdates {
public:
    explicit ApplicationUpdates(UpdateSurroundings surroundings = UpdateSurroundings::standard());
    ApplicationUpdates(const ApplicationUpdates&) = delete;
    ApplicationUpdates& operator=(const ApplicationUpdates&) = delete;

    TessaronUpdateChecker& checker() { return checker_; }
    TessaronUpdateState& state() { return state_; }

private:
    BundleInfo bundle_;
    QtHttpTransport transport_;
    ReleaseFeed feed_;
    MessageBoxUpdateDialogs dialogs_;
    LinuxUpdateFramework framework_;
    TessaronUpdateChecker checker_;
    CheckerUpdateState state_;
};

} // namespace tessaron
