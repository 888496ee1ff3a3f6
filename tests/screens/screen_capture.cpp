#include "screens/screen_capture.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QLayout>
#include <QPainter>
#include <QWidget>

#include <algorithm>
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

Greys drawnGreys(QWidget& widget) {
    QImage canvas(widget.size(), QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    Greys greys;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const int grey = qGray(canvas.pixel(x, y));
            greys.brightest = std::max(greys.brightest, grey);
            greys.total += grey;
        }
    }
    return greys;
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
