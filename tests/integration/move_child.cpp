// The running instance that moves itself: it serves as the instance, copies its program folder into the
// applications folder, starts the copy and quits, as a click on "Move to Applications" does; its teardown
// then takes a while, as the application's does.
//
//   tessaron-move-child <instance folder> <program folder> <applications folder>
// Exits 0 after a relaunch, 1 when it was not the instance, 2 when the move did not relaunch.

#include "app/desktop_workspace.hpp"
#include "app/instance_forwarder.hpp"
#include "app/move_to_applications.hpp"

#include <QGuiApplication>
#include <QThread>
#include <QTimer>

int main(int argc, char* argv[]) {
    using namespace tessaron;
    QGuiApplication application(argc, argv);
    if (argc != 4)
        return 2;
    InstanceForwarder forwarder(QString::fromLocal8Bit(argv[1]));
    if (forwarder.start(std::nullopt) != InstanceForwarder::Role::primary)
        return 1;
    DesktopWorkspace workspace;
    LocalMoveFileSystem files;
    TessaronApplicationMover mover(files, workspace, QString::fromLocal8Bit(argv[3]),
                                   QStringLiteral("tessaron"));
    bool relaunched = true;
    QTimer::singleShot(0, &mover, [&] {
        mover.moveOrReveal(QString::fromLocal8Bit(argv[2]), [&] {
            relaunched = false;
            QCoreApplication::quit();
        });
    });
    const int code = QGuiApplication::exec();
    QThread::msleep(400);
    return code == 0 && relaunched ? 0 : 2;
}
