#include "app/application_updates.hpp"

#include "platform/json_file_preferences.hpp"
#include "platform/system_clock.hpp"

#include <QDesktopServices>
#include <QGuiApplication>

namespace tessaron {

ApplicationUpdates::ApplicationUpdates()
    : feed_(transport_, BundleInfo::main().locations().releaseFeed)
    , dialogs_(installedVersion(BundleInfo::main()))
    , framework_(
          [this] {
              return feed_.findUpdate(installedVersion(BundleInfo::main()),
                                      BundleInfo::main().locations().downloadPage);
          },
          dialogs_, [](const QUrl& page) { QDesktopServices::openUrl(page); })
    , checker_(UpdateCheckerServices{
          .clock = SystemClock::shared(),
          .defaults = standardPreferences(),
          .feed = feed_,
          .gate = TessaronServerUpgradeGate::shared(),
          .framework = framework_,
          .bundle = BundleInfo::main(),
      }) {
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, &checker_,
                     [checker = &checker_](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             checker->didBecomeActive();
                     });
}

} // namespace tessaron
