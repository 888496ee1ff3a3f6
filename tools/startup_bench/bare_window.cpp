// tessaron-bare-window: the yardstick of the startup benchmark. A blank 480 × 600 Qt window with nothing in
// it, filled white so that the benchmark sees its first picture reach the screen as it sees the home
// view's white primary button. With TESSARON_EXIT_WHEN_PRESENTED set it leaves as soon as that picture has
// been handed to the window system, as the application does, so an instruction count ends at the picture.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

namespace {

class BlankWindow final : public QWidget {
public:
    BlankWindow() {
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, Qt::white);
        setPalette(palette);
        setAutoFillBackground(true);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        // A turn later the picture has been flushed to the window.
        if (exitWhenPresented_)
            QTimer::singleShot(0, [] {
                QGuiApplication::sync();
                std::_Exit(0);
            });
    }

private:
    const bool exitWhenPresented_ = qEnvironmentVariableIsSet("TESSARON_EXIT_WHEN_PRESENTED");
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    BlankWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(480, 600);
    window.show();
    return application.exec();
}
