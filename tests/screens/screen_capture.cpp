#include "screens/screen_capture.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QLayout>
#include <QWidget>

#include <cstdio>

namespace tessaron::testing {

QImage render(QWidget& widget, const QSize& size) {
    widget.resize(size);
    widget.ensurePolished();
    // Widgets that fit their height to their width ask for a second layout pass once they know it.
    for (int pass = 0; pass < 2 && widget.layout(); ++pass) {
        widget.layout()->activate();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    return widget.grab().toImage();
}

QImage capture(QWidget& widget, const QSize& size, const QString& name) {
    const QImage image = render(widget, size);
    const QDir folder(QStringLiteral(TESSARON_SCREENSHOT_DIR));
    folder.mkpath(QStringLiteral("."));
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    image.save(path);
    std::printf("screenshot: %s\n", qPrintable(path));
    return image;
}

} // namespace tessaron::testing
