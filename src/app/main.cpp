#include "app/application_session.hpp"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaron"));
    QApplication::setOrganizationDomain(QStringLiteral("hallmere.com"));

    tessaron::ApplicationSession session;
    session.start();

    QMainWindow window;
    window.setObjectName(QStringLiteral("main"));
    window.setWindowTitle(QStringLiteral("Tessaron"));
    window.resize(480, 600);
    window.setMinimumSize(360, 420);
    window.show();
    return application.exec();
}
