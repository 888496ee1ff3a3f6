#include "app/application_session.hpp"
#include "app/application_updates.hpp"
#include "app/instance_forwarder.hpp"
#include "app/launch_arguments.hpp"
#include "updates/crash_handler.hpp"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

namespace {

void bringToFront(QMainWindow& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

int main(int argc, char* argv[]) {
    // Named first: the crash folder lies in the application's data folder.
    QApplication::setApplicationName(QStringLiteral("Tessaron"));
    QApplication::setOrganizationDomain(QStringLiteral("hallmere.com"));
    tessaron::installCrashHandler(tessaron::CrashHandlerSetup::standard());

    QApplication application(argc, argv);

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

    tessaron::ApplicationSession session;
    session.start();
    tessaron::ApplicationUpdates updates;

    QMainWindow window;
    window.setObjectName(QStringLiteral("main"));
    window.setWindowTitle(QStringLiteral("Tessaron"));
    window.resize(480, 600);
    window.setMinimumSize(360, 420);
    window.show();

    const auto open = [&session, &window](const QUrl& url) {
        if (session.openUrl(url) != tessaron::OpenedUrlRouter::Route::dropped)
            bringToFront(window);
    };
    QObject::connect(&forwarder, &tessaron::InstanceForwarder::urlOpened, &window, open);
    QObject::connect(&forwarder, &tessaron::InstanceForwarder::raiseRequested, &window,
                     [&window] { bringToFront(window); });
    if (launchUrl)
        QTimer::singleShot(0, &window, [open, url = *launchUrl] { open(url); });
    return application.exec();
}
