// tessaron-bare-window: the yardstick of the startup benchmark. A plain 480 × 600 main window, shown, then
// the program quits once the window system has it on screen.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(480, 600);
    window.show();
    // The benchmark reads the memory after the map; give it a moment before quitting.
    QTimer::singleShot(1500, &application, &QApplication::quit);
    return application.exec();
}
