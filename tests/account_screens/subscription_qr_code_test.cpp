#include "account_screens/subscription_qr_code.hpp"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// What a real decoder reads from the picture.
QString decode(const QImage& image) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("code.png"));
    EXPECT_TRUE(image.save(path));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    EXPECT_TRUE(zbar.waitForFinished(20000)) << "zbarimg (zbar-tools) is needed";
    QString text = QString::fromUtf8(zbar.readAllStandardOutput());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

QImage shown(TessaronSubscriptionQRCode& code) {
    code.resize(240, 240);
    QImage image(code.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    // The parent's plate draws the white; the code draws only its modules.
    code.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

const QString typicalLink = QStringLiteral("https://sub.tessaron.app/s/Yq3t9KcV2mLx7PzR4wNb8dJh");

TEST(SubscriptionQRCode, TheDecoderReadsBackTheExactLink) {
    TessaronSubscriptionQRCode code;
    code.setValue(typicalLink);
    EXPECT_EQ(decode(shown(code)), typicalLink);

    const QString longLink = QStringLiteral("https://sub.tessaron.app/s/") + QString(273, QLatin1Char('k')) +
                             QStringLiteral("?n=Windows%20PC");
    const QImage big = TessaronSubscriptionQRCode::makeImage(longLink);
    ASSERT_FALSE(big.isNull());
    EXPECT_EQ(big.width() % TessaronSubscriptionQRCode::pixelsPerModule, 0);
    EXPECT_EQ(decode(big), longLink);
}

TEST(SubscriptionQRCode, SameValueSamePictureAndModulesAreWholePixels) {
    EXPECT_EQ(TessaronSubscriptionQRCode::makeImage(typicalLink),
              TessaronSubscriptionQRCode::makeImage(typicalLink));
    TessaronSubscriptionQRCode code;
    code.setValue(typicalLink);
    const QImage image = shown(code);
    // Without smoothing only pure black and white appear.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            ASSERT_TRUE(pixel == qRgb(0, 0, 0) || pixel == qRgb(255, 255, 255)) << x << "," << y;
        }
}

TEST(SubscriptionQRCode, AnEmptyValueLeavesNoStaleModules) {
    TessaronSubscriptionQRCode code;
    code.setValue(typicalLink);
    shown(code);
    code.setValue(QString());
    const QImage image = shown(code);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255));
}

} // namespace
} // namespace tessaron::testing
