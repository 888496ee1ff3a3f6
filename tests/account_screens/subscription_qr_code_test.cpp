#include "account_screens/subscription_qr_code.hpp"
#include "screen_probe.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

QImage shown(TessaronSubscriptionQRCode& code) {
    code.resize(240, 240);
    return renderOnWhite(code);
}

const QString typicalLink = QStringLiteral("https://sub.tessaron.app/s/Yq3t9KcV2mLx7PzR4wNb8dJh");

TEST(SubscriptionQRCode, TheDecoderReadsBackTheExactLink) {
    TessaronSubscriptionQRCode code;
    code.setValue(typicalLink);
    EXPECT_EQ(decodeQR(shown(code)), typicalLink);

    const QString longLink = QStringLiteral("https://sub.tessaron.app/s/") + QString(273, QLatin1Char('k')) +
                             QStringLiteral("?n=Windows%20PC");
    const QImage big = TessaronSubscriptionQRCode::makeImage(longLink);
    ASSERT_FALSE(big.isNull());
    EXPECT_EQ(big.width() % TessaronSubscriptionQRCode::pixelsPerModule, 0);
    EXPECT_EQ(decodeQR(big), longLink);
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
