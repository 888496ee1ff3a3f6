#include "account_screens/subscription_qr_code.hpp"

#include <QPainter>

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace tessaron {
namespace {

// One pixel per module with the quiet zone around it; null when the encoder fails.
QImage moduleImage(const QString& value) {
    const QByteArray bytes = value.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(bytes.size()),
                          reinterpret_cast<const unsigned char*>(bytes.constData()), 0, QR_ECLEVEL_M),
        &QRcode_free);
    if (!code)
        return {};
    const int side = code->width + 2 * TessaronSubscriptionQRCode::quietZoneModules;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // The low bit of each module byte is its colour: 1 is dark.
            if (code->data[y * code->width + x] & 1)
                image.setPixel(x + TessaronSubscriptionQRCode::quietZoneModules,
                               y + TessaronSubscriptionQRCode::quietZoneModules, qRgb(0, 0, 0));
        }
    }
    return image;
}

} // namespace

TessaronSubscriptionQRCode::TessaronSubscriptionQRCode(QWidget* parent)
    : QWidget(parent) {}

void TessaronSubscriptionQRCode::setValue(const QString& value) {
    if (value == value_ && !modules_.isNull())
        return;
    value_ = value;
    modules_ = moduleImage(value);
    update();
}

QImage TessaronSubscriptionQRCode::makeImage(const QString& value) {
    const QImage modules = moduleImage(value);
    if (modules.isNull())
        return {};
    QImage image(modules.size() * pixelsPerModule, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(image.rect(), modules);
    return image;
}

void TessaronSubscriptionQRCode::paintEvent(QPaintEvent*) {
    if (modules_.isNull())
        return;
    // Whole device pixels per module, so every module is an exact square.
    const qreal ratio = devicePixelRatioF();
    const int available = static_cast<int>(std::min(width(), height()) * ratio);
    const int scale = std::max(1, available / modules_.width());
    const int side = modules_.width() * scale;
    const int left = (static_cast<int>(width() * ratio) - side) / 2;
    const int top = (static_cast<int>(height() * ratio) - side) / 2;
    const QRectF target(left / ratio, top / ratio, side / ratio, side / ratio);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, modules_);
}

} // namespace tessaron
