#include "app/application_updates.hpp"

#include "platform/json_file_preferences.hpp"
#include "platform/system_clock.hpp"

#include <QDesktopServices>
#include <QGuiApplication>

namespace tessaron {

UpdateSurroundings UpdateSurroundings::standard() {
    return {
        .bundle = BundleInfo::main(),
        .transport = {},
        .defaults = standardPreferences(),
        .gate = TessaronServerUpgradeGate::shared(),
    };
}

ApplicationUpdates::ApplicationUpdates(UpdateSurroundings surroundings)
    : bundle_(std::move(surroundings.bundle))
    , transport_(std::move(surroundings.transport))
    , feed_(transport_, SystemClock::shared(), bundle_.locations().releaseFeed)
    , dialogs_(installedVersion(bundle_))
    // The checker reads the feed for the framework too: one request serves both, and what a user's check
    // finds is required at once.
    , framework_([this](bool userInitiated) { return checker_.findUpdate(userInitiated); }, dialogs_,
                 [](const QUrl& page) { QDesktopServices::openUrl(page); })
    , checker_(UpdateCheckerServices{
          .clock = SystemClock::shared(),
          .defaults = surroundings.defaults,
          .feed = feed_,
          .gate = surroundings.gate,
          .framework = framework_,
          .bundle = bundle_,
      })
    , state_(checker_) {
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, &checker_,
                     [checker = &checker_](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             checker->didBecomeActive();
                     });
}

} // namespace tessaron
