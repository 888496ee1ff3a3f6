#include "screens/button_styles.hpp"
#include "screens/screen_capture.hpp"
#include "screens/tessaron_theme.hpp"

#include <QFontMetricsF>
#include <QLayout>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron {
namespace {

struct PaintCase {
    bool enabled, hovering, pressed;
    QColor fill;
    qreal textOpacity, opacity;
};

TEST(PrimaryButtonPaint, FollowsEnabledHoverAndPress) {
    const QColor white = TessaronTheme::buttonFill();
    const QColor hover = QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    const QColor faded = withOpacity(white, 0.45);
    const PaintCase cases[] = {
        {true, false, false, white, 1, 1},     {true, true, false, hover, 1, 1},
        {true, true, true, hover, 1, 0.82},    {true, false, true, white, 1, 0.82},
        {false, false, false, faded, 0.55, 1}, {false, true, false, faded, 0.55, 1},
        {false, true, true, faded, 0.55, 1},
    };
    for (const auto& c : cases) {
        const auto paint = primaryButtonPaint(c.enabled, c.hovering, c.pressed);
        SCOPED_TRACE(::testing::Message() << c.enabled << c.hovering << c.pressed);
        EXPECT_EQ(paint.fill, c.fill);
        EXPECT_DOUBLE_EQ(paint.textOpacity, c.textOpacity);
        EXPECT_DOUBLE_EQ(paint.opacity, c.opacity);
    }
}

TEST(FitText, ShrinksToThreeQuartersThenElides) {
    const QFont font = TessaronTheme::buttonFont();
    const QString text = QStringLiteral("Connect to the fastest node");
    const qreal natural = QFontMetricsF(font).horizontalAdvance(text);

    const auto roomy = fitText(text, font, static_cast<int>(natural) + 4, 0.75);
    EXPECT_EQ(roomy.text, text);
    EXPECT_DOUBLE_EQ(roomy.font.pointSizeF(), font.pointSizeF());

    const auto shrunk = fitText(text, font, static_cast<int>(natural * 0.85), 0.75);
    EXPECT_EQ(shrunk.text, text);
    EXPECT_LT(shrunk.font.pointSizeF(), font.pointSizeF());
    EXPECT_GE(shrunk.font.pointSizeF(), font.pointSizeF() * 0.75);

    const auto elided = fitText(text, font, static_cast<int>(natural * 0.4), 0.75);
    EXPECT_DOUBLE_EQ(elided.font.pointSizeF(), font.pointSizeF() * 0.75);
    EXPECT_TRUE(elided.text.endsWith(QChar(0x2026)));
}

TEST(PrimaryButton, DisabledDrawsWithOpacityNotTheGreyPalette) {
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::black);
    host.setPalette(palette);
    auto* button = new TessaronPrimaryButton(&host);
    button->setText(QStringLiteral("Connect"));
    button->setGeometry(0, 0, 200, 48);
    button->setEnabled(false);

    const QImage image = testing::capture(host, {200, 48}, QStringLiteral("primary-button-disabled"));
    // White at 0.45 over black, in a corner of the padding where no text is drawn.
    EXPECT_NEAR(QColor(image.pixel(12, 24)).redF(), 0.45, 0.02);
    EXPECT_GE(button->height(), TessaronTheme::buttonHeight);
}

TEST(IconButton, TakesClicksOverItsWholeHitArea) {
    TessaronIconButton button(QStringLiteral("xmark.circle.fill"));
    button.setGlyphSize(10);
    button.resize(button.sizeHint());
    EXPECT_EQ(button.sizeHint(), QSize(44, 44));
    const QImage image = button.grab().toImage();
    // The glyph is drawn in the middle only, in the tint.
    EXPECT_EQ(QColor(image.pixel(image.width() / 2, image.height() / 2 - 3)).name(),
              TessaronTheme::textSecondary().name());
    EXPECT_NE(QColor(image.pixel(1, 1)).name(), TessaronTheme::textSecondary().name());
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicks.count(), 1);
}

} // namespace
} // namespace tessaron
