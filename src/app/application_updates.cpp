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
    , feed_(transport_, bundle_.locations().releaseFeed)
    , dialogs_(installedVersion(bundle_))
    , framework_(
          [this] { return feed_.findUpdate(installedVersion(bundle_), bundle_.locations().downloadPage); },
          dialogs_, [](const QUrl& page) { QDesktopServices::openUrl(page); })
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
