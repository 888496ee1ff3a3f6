#include "account_screens/subscription_qr_code.hpp"
#include "screen_probe.hpp"

namespace tessaron::testing {
namespace {

using namespace Qt::StringLiterals;

// The widget as shown in its 240 × 240 frame, with the colours it used.
QImage shown(TessaronSubscriptionQRCode& code, QSet<QRgb>& colours) {
    code.resize(240, 240);
    const QImage image = renderOnWhite(code);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return image;
}

TEST(SubscriptionQRCode, TheDecoderReadsBackTheExactLinkFromCrispModules) {
    const QString typicalLink = u"https://sub.tessaron.app/s/Yq3t9KcV2mLx7PzR4wNb8dJh"_s;
    TessaronSubscriptionQRCode code;
    code.setValue(typicalLink);
    QSet<QRgb> colours;
    EXPECT_EQ(decodeQR(shown(code, colours)), typicalLink);
    // Without smoothing only pure black and white appear.
    EXPECT_EQ(colours, (QSet<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    // An empty value leaves no stale modules.
    code.setValue(QString());
    colours.clear();
    shown(code, colours);
    EXPECT_EQ(colours, QSet<QRgb>{qRgb(255, 255, 255)});

    const QString longLink = u"https://sub.tessaron.app/s/"_s + QString(273, u'k') + u"?n=Windows%20PC"_s;
    const QImage big = TessaronSubscriptionQRCode::makeImage(longLink);
    EXPECT_EQ(decodeQR(big), longLink);
    EXPECT_EQ(TessaronSubscriptionQRCode::makeImage(longLink), big);
}

} // namespace
} // namespace tessaron::testing
