#include "app/instance_forwarder.hpp"
#include "app/launch_arguments.hpp"
#include "app/tessaron_mac_app.hpp"
#include "platform/json_file_preferences.hpp"
#include "platform/url_opener.hpp"
#include "screens/globe/land_dots.hpp"
#include "updates/crash_handler.hpp"
#include "widgets/frame_paced_animations.hpp"
#include "widgets/paint_census.hpp"
#include "widgets/scroll_area_accessible.hpp"
#include "widgets/string_table.hpp"

#include <QApplication>
#include <QFontDatabase>
#include <QTimer>

#include <cstdio>
#include <thread>

int main(int argc, char* argv[]) {
    // Named first: the crash folder lies in the application's data folder.
    QApplication::setApplicationName(QStringLiteral("Tessaron"));
    QApplication::setOrganizationDomain(QStringLiteral("hallmere.com"));
    tessaron::installCrashHandler(tessaron::CrashHandlerSetup::standard());

    QApplication application(argc, argv);
    // Closing the last window leaves the application, and the tunnel, running.
    QApplication::setQuitOnLastWindowClosed(false);

    const auto arguments = tessaron::LaunchArguments::parse(QApplication::arguments().mid(1));
    if (const auto* error = std::get_if<QString>(&arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 2;
    }
    const std::optional<QUrl> launchUrl = std::get<tessaron::LaunchArguments>(arguments).url;

    tessaron::InstanceForwarder forwarder;
    switch (forwarder.start(launchUrl)) {
    case tessaron::InstanceForwarder::Role::handedOver:
        return 0;
    case tessaron::InstanceForwarder::Role::failed:
        return 1;
    case tessaron::InstanceForwarder::Role::primary:
        break;
    }
    // Reading the desktop's font configuration is the longest step before the first picture; a thread of
    // its own reads it while the window is made and mapped. Joined before the application goes.
    const std::jthread fontsRead([] { QFontDatabase::families(); });
    // The globe's land dots are worked out on another, so that its first paint finds them ready.
    const std::jthread landDotsMade([] { tessaron::landPointTrig(); });
    tessaron::installStringTable(application);
    tessaron::installScrollAreaAccessible();
    tessaron::UrlOpener::shared().installAsWebHandler();
    if (const QString census = qEnvironmentVariable("TESSARON_PAINT_CENSUS"); !census.isEmpty())
        tessaron::installPaintCensus(application, census);

    tessaron::FramePacedAnimations pacedAnimations;
    pacedAnimations.install();
    tessaron::TessaronMacApp app;
    app.showMainWindow();
    QObject::connect(&forwarder, &tessaron::InstanceForwarder::urlOpened, &app,
                     &tessaron::TessaronMacApp::openUrl);
    QObject::connect(&forwarder, &tessaron::InstanceForwarder::raiseRequested, &app,
                     [&app] { app.showMainWindow(); });
    if (launchUrl)
        QTimer::singleShot(0, &app, [&app, url = *launchUrl] { app.openUrl(url); });
    const int code = application.exec();
    // Preferences are written behind the window's back: what the last moments stored goes to disk before
    // the process does.
    tessaron::flushSharedPreferences();
    return code;
}
