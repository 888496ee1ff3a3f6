#include "app/application_session.hpp"
#include "app/application_updates.hpp"
#include "updates/crash_handler.hpp"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    // Named first: the crash folder lies in the application's data folder.
    QApplication::setApplicationName(QStringLiteral("Tessaron"));
    QApplication::setOrganizationDomain(QStringLiteral("hallmere.com"));
    tessaron::installCrashHandler(tessaron::CrashHandlerSetup::standard());

    QApplication application(argc, argv);

    tessaron::ApplicationSession session;
    session.start();
    tessaron::ApplicationUpdates updates;

    QMainWindow window;
    window.setObjectName(QStringLiteral("main"));
    window.setWindowTitle(QStringLiteral("Tessaron"));
    window.resize(480, 600);
    window.setMinimumSize(360, 420);
    window.show();
    return application.exec();
}
