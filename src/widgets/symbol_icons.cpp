#include "widgets/symbol_icons.hpp"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

namespace tessaron {

namespace {

QImage drawSymbol(const QString& name, int size, const QColor& tint) {
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

} // namespace

QImage tintedSymbol(const QString& name, int size, const QColor& tint) {
    // A handful of symbols in a few sizes and tints: parsing the drawing again at every paint would cost
    // more than the paint.
    static QHash<QString, QImage> made;
    const QString key = QStringLiteral("%1/%2/%3").arg(name).arg(size).arg(tint.rgba());
    const auto found = made.constFind(key);
    if (found != made.constEnd())
        return *found;
    return *made.insert(key, drawSymbol(name, size, tint));
}

} // namespace tessaron
