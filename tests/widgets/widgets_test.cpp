#include "widgets/button_styles.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/focus_keeper.hpp"
#include "widgets/gaussian_blur.hpp"
#include "widgets/scroll_area_accessible.hpp"
#include "widgets/symbol_icons.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace tessaron::testing {

namespace {

using namespace Qt::StringLiterals;

TEST(PrimaryButtonPaint, FollowsEnabledHoverAndPress) {
    const QColor white = TessaronTheme::buttonFill();
    const QColor hover = QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    const QColor faded = withOpacity(white, 0.45);
    // Enabled, hovering, pressed: fill, text opacity, opacity.
    const std::tuple<bool, bool, bool, QColor, qreal, qreal> rows[] = {
        {true, false, false, white, 1, 1},     {true, true, false, hover, 1, 1},
        {true, true, true, hover, 1, 0.82},    {true, false, true, white, 1, 0.82},
        {false, false, false, faded, 0.55, 1}, {false, true, false, faded, 0.55, 1},
        {false, true, true, faded, 0.55, 1},
    };
    for (const auto& [enabled, hovering, pressed, fill, textOpacity, opacity] : rows) {
        const auto paint = primaryButtonPaint(enabled, hovering, pressed);
        EXPECT_EQ(std::tuple(paint.fill, paint.textOpacity, paint.opacity),
                  std::tuple(fill, textOpacity, opacity))
            << enabled << hovering << pressed;
    }
}

TEST(FitLines, ShrinkBeforeCuttingAndKeepTheLetterSpacingInScale) {
    QFont font = TessaronTheme::titleFont();
    const QString text = QStringLiteral("Connection check failed");
    const int natural = QFontMetrics(font).horizontalAdvance(text);
    // Width, lines: shown in full, scale to the nearest twentieth (the largest that fits), lines.
    const std::tuple<int, int, bool, double, int> rows[] = {
        {natural + 2, 1, true, 1, 1},         {natural * 9 / 10, 1, true, 0.9, 1},
        {natural * 6 / 10, 1, false, 0.7, 1}, {natural * 6 / 10, 2, true, 1, 2},
        {natural / 4, 2, false, 0.7, 2},
    };
    for (const auto& [width, lines, whole, scale, count] : rows) {
        const auto fit = fitLines(text, font, width, lines, 0.7);
        EXPECT_EQ(std::tuple(fit.lines.join(QLatin1Char(' ')) == text, std::round(fit.scale * 20) / 20,
                             static_cast<int>(fit.lines.size())),
                  std::tuple(whole, scale, count))
            << width << " " << lines;
        EXPECT_TRUE(whole || fit.scale == 0.7) << "cut only at the minimum scale";
        for (const auto& line : fit.lines)
            EXPECT_LE(QFontMetricsF(fit.font).horizontalAdvance(line), width + 0.5) << line.toStdString();
    }
    font.setLetterSpacing(QFont::AbsoluteSpacing, 4.6);
    EXPECT_NEAR(scaledFont(font, 0.5).letterSpacing(), 2.3, 0.02);
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

    // 44 × 44 is a floor, not a fixed size: a larger glyph makes the button larger.
    button.resize(20, 20);
    button.setGlyphSize(56);
    EXPECT_EQ(std::pair(button.size(), button.sizeHint()), std::pair(QSize(44, 44), QSize(56, 56)));
}

TEST(Theme, FontsTakeTheirTextStylesSizeAndWeight) {
    const std::tuple<const QFont&, qreal, QFont::Weight> rows[] = {
        {TessaronTheme::wordmarkFont(), 10, QFont::DemiBold},
        {TessaronTheme::wordmarkCompactFont(), 10, QFont::DemiBold},
        {TessaronTheme::titleFont(), 26, QFont::DemiBold},
        {TessaronTheme::buttonFont(), 13, QFont::Medium},
        {TessaronTheme::captionFont(), 10, QFont::Normal},
    };
    for (const auto& [font, size, weight] : rows)
        EXPECT_EQ(std::pair(font.pointSizeF(), font.weight()), std::pair(size, weight))
            << font.toString().toStdString();
}

TEST(GaussianBlur, SpreadsAPointSymmetricallyAndKeepsItsWeight) {
    QImage image(41, 41, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setPixel(20, 20, qRgba(255, 255, 255, 255));
    gaussianBlur(image, 3);
    int total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            total += qAlpha(image.pixel(x, y));
    // Rounding at each of six passes loses a little.
    EXPECT_NEAR(total, 255, 40);
    EXPECT_EQ(qAlpha(image.pixel(14, 20)), qAlpha(image.pixel(26, 20)));
    EXPECT_GT(qAlpha(image.pixel(20, 20)), qAlpha(image.pixel(23, 20)));
    EXPECT_GT(qAlpha(image.pixel(23, 20)), qAlpha(image.pixel(26, 20)));
}

TEST(SymbolIcons, AreMadeOncePerNameSizeAndTint) {
    const auto first = tintedSymbol(QStringLiteral("checkmark"), 14, Qt::white);
    EXPECT_EQ(tintedSymbol(QStringLiteral("checkmark"), 14, Qt::white).cacheKey(), first.cacheKey());
    EXPECT_NE(tintedSymbol(QStringLiteral("checkmark"), 14, Qt::red).cacheKey(), first.cacheKey());
    EXPECT_NE(tintedSymbol(QStringLiteral("checkmark"), 16, Qt::white).cacheKey(), first.cacheKey());
}

// A control turned off keeps its focus on the holder, where Return and Escape reach no other control, and
// takes it back once it works, unless the person moved it, the control went or it never works again.
TEST(FocusKeeper, HandsTheFocusBackOnlyToAControlStillWaitingForIt) {
    // Told before the control turns off (while it has the focus, or the person is elsewhere); told after,
    // with the focus on Cancel; or left to catch it.
    enum class Kept { parked, parkedElsewhere, owed, caught };
    enum class Meanwhile { nothing, personMoves, controlDeleted, neverOn };
    // How it was kept, what happened while it was off, who has the focus while off and afterwards.
    const std::tuple<Kept, Meanwhile, QString, QString> rows[] = {
        {Kept::parked, Meanwhile::nothing, u"holder"_s, u"control"_s},
        {Kept::parkedElsewhere, Meanwhile::nothing, u"other"_s, u"other"_s},
        {Kept::owed, Meanwhile::nothing, u"holder"_s, u"control"_s},
        {Kept::caught, Meanwhile::nothing, u"holder"_s, u"control"_s},
        {Kept::parked, Meanwhile::personMoves, u"holder"_s, u"other"_s},
        {Kept::caught, Meanwhile::personMoves, u"holder"_s, u"other"_s},
        {Kept::parked, Meanwhile::controlDeleted, u"holder"_s, u"holder"_s},
        {Kept::caught, Meanwhile::controlDeleted, u"holder"_s, u"holder"_s},
        {Kept::parked, Meanwhile::neverOn, u"holder"_s, u"holder"_s},
        {Kept::owed, Meanwhile::neverOn, u"holder"_s, u"holder"_s},
    };
    for (const auto& [kept, meanwhile, whileOff, expected] : rows) {
        QWidget holder;
        holder.setObjectName(u"holder"_s);
        auto* layout = new QVBoxLayout(&holder);
        QPointer<QLineEdit> control = new QLineEdit;
        control->setObjectName(u"control"_s);
        auto* cancel = new QPushButton(u"Cancel"_s);
        auto* other = new QPushButton(u"Other"_s);
        other->setObjectName(u"other"_s);
        for (QWidget* widget : std::initializer_list<QWidget*>{control, cancel, other})
            layout->addWidget(widget);
        TessaronFocusKeeper keeper(holder, kept == Kept::caught ? TessaronFocusKeeper::Catch::whatTurnsOff
                                                                : TessaronFocusKeeper::Catch::named);
        holder.show();
        holder.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&holder));
        const auto focused = [&holder] {
            return holder.focusWidget() ? holder.focusWidget()->objectName() : QString();
        };
        QWidget* first = kept == Kept::owed              ? cancel
                         : kept == Kept::parkedElsewhere ? static_cast<QWidget*>(other)
                                                         : control;
        first->setFocus(Qt::TabFocusReason);
        if (kept == Kept::parked || kept == Kept::parkedElsewhere)
            keeper.park(control);
        control->setEnabled(false);
        if (kept == Kept::owed)
            keeper.owe(control);
        EXPECT_EQ(focused(), whileOff) << int(kept) << int(meanwhile);

        if (meanwhile == Meanwhile::personMoves)
            other->setFocus(Qt::TabFocusReason);
        if (meanwhile == Meanwhile::controlDeleted)
            delete control;
        if (control && meanwhile != Meanwhile::neverOn)
            control->setEnabled(true);
        EXPECT_EQ(focused(), expected) << int(kept) << int(meanwhile);
        // A control still waiting gives way to the next one owed the focus, and asks nothing once back on.
        if (meanwhile == Meanwhile::neverOn) {
            keeper.owe(other);
            control->setEnabled(true);
            EXPECT_EQ(focused(), u"other"_s) << int(kept);
        }
    }
}

// Readers meet a scroll area as Qt lists it, its viewport and each shown bar; a child counted before its bar
// went is none, rather than whatever lies past the list.
TEST(ScrollAreaAccessible, ListsTheViewportAndShownBarsAndNothingPastThem) {
    installScrollAreaAccessible();
    QScrollArea area;
    auto* content = new QWidget;
    content->setFixedSize(100, 1000);
    area.setWidget(content);
    area.resize(200, 200);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(&area);
    const auto childObject = [reader](int index) {
        QAccessibleInterface* child = reader->child(index);
        return child ? child->object() : nullptr;
    };
    EXPECT_EQ(std::tuple(reader->role(), reader->childCount(), childObject(0), childObject(1),
                         reader->indexOfChild(reader->child(1))),
              std::tuple(QAccessible::Client, 2, static_cast<QObject*>(area.viewport()),
                         static_cast<QObject*>(area.verticalScrollBar()->parentWidget()), 1));

    content->setFixedSize(100, 50);
    ASSERT_TRUE(QTest::qWaitFor([&area] { return !area.verticalScrollBar()->isVisible(); }));
    EXPECT_EQ(std::pair(reader->childCount(), childObject(1)), std::pair(1, static_cast<QObject*>(nullptr)));
}

} // namespace

} // namespace tessaron::testing
