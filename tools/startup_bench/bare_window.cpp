// tessaron-bare-window: the yardstick of the startup benchmark. A plain 480 × 600 main window, black with
// a white, labelled button-sized block, as the home view is with its primary button; the benchmark waits
// for the white to reach the screen. The label makes it load the fonts, as any window with text must.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QVBoxLayout>

namespace {

void fill(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, color);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.resize(480, 600);
    fill(window, Qt::black);
    auto* content = new QWidget(&window);
    auto* button = new QWidget(content);
    button->setFixedHeight(44);
    fill(*button, Qt::white);
    auto* label = new QLabel(QStringLiteral("Sign in"), button);
    label->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(button))->addWidget(label);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addStretch();
    layout->addWidget(button);
    window.setCentralWidget(content);
    window.show();
    return application.exec();
}
