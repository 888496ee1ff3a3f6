#include "screens/symbol_icons.hpp"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace tessaron {

QImage tintedSymbol(const QString& name, int size, const QColor& tint) {
    const QString path = QStringLiteral(":/tessaron/icons/%1.svg").arg(name);
    if (!QFile::exists(path))
        return {};
    QSvgRenderer renderer(path);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    // The drawing's own colour is ignored: only its coverage is kept, filled with the tint.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), tint);
    return image;
}

} // namespace tessaron
