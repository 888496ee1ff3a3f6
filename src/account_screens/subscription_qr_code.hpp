#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace tessaron {

// A text drawn as a QR code (level M) with sharp, whole-pixel modules, centred in the widget; nothing when
// the text cannot be encoded.
class TessaronSubscriptionQRCode final : public QWidget {
    Q_OBJECT
public:
    static constexpr int pixelsPerModule = 24;
    static constexpr int quietZoneModules = 4;

    explicit TessaronSubscriptionQRCode(QWidget* parent = nullptr);

    void setValue(const QString& value);
    const QString& value() const { return value_; }
    // Black modules on white, `pixelsPerModule` each, inside the quiet zone; null when encoding fails.
    static QImage makeImage(const QString& value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString value_;
    // One pixel per module, quiet zone included.
    QImage modules_;
};

} // namespace tessaron
