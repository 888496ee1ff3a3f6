#include "screens/connection_hero.hpp"
#include "screens/flow_ring.hpp"
#include "screens/globe/arc_strokes.hpp"
#include "screens/globe/dot_layer.hpp"
#include "screens/globe/globe_geometry.hpp"
#include "screens/globe/globe_renderer.hpp"
#include "screens/globe/globe_state.hpp"
#include "screens/globe/globe_view.hpp"
#include "screens/globe/land_dots.hpp"
#include "screens/hero_geography.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/screen_capture.hpp"
#include "screens/visual_state.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/string_table.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

using namespace TessaronGlobeGeometry;
using V = TessaronVisualState;

const TessaronGeoPoint berlin{52.5, 13.4, QStringLiteral("Berlin"), QStringLiteral("DE")};
const TessaronGeoPoint tokyo{35.7, 139.7, QStringLiteral("Tokyo"), QStringLiteral("JP")};
const QString de = QString::fromUtf8("\U0001F1E9\U0001F1EA");
const QString jp = QString::fromUtf8("\U0001F1EF\U0001F1F5");

TEST(VisualState, FollowsTheLinkPhaseRoundTripsExactlyAndNamesEachState) {
    using enum TessaronLinkPhase;
    const std::pair<TessaronLinkPhase, V> table[] = {
        {disconnected, V::idle}, {connecting, V::connecting}, {checking, V::checking},
        {connected, V::online},  {checkFailed, V::failed},    {disconnecting, V::idle},
    };
    for (const auto& [phase, state] : table)
        EXPECT_EQ(visualState(phase), state) << static_cast<int>(phase);
    for (const auto state : allVisualStates())
        EXPECT_EQ(visualState(rawValue(state)), state);
    for (const char* raw : {"Online", "ONLINE", " online", "online ", "", "disconnected"})
        EXPECT_EQ(visualState(QString::fromLatin1(raw)), std::nullopt) << raw;

    // Failed shares the Connect button but keeps its own status.
    // Status title, button title, tint, busy.
    const std::tuple<V, QString, QString, QColor, bool> rows[] = {
        {V::idle, "Not connected", "Connect", TessaronTheme::textSecondary(), false},
        {V::connecting, "Connecting", "Cancel", TessaronTheme::textPrimary(), true},
        {V::checking, "Checking", "Cancel", TessaronTheme::warning(), true},
        {V::online, "Online", "Disconnect", TessaronTheme::success(), false},
        {V::failed, "Failed", "Connect", TessaronTheme::danger(), false},
    };
    for (const auto& row : rows) {
        const V state = std::get<0>(row);
        EXPECT_EQ(
            std::tuple(state, statusTitle(state), primaryButtonTitle(state), tint(state), isBusy(state)),
            row);
        EXPECT_TRUE(accessibilitySummary(state).startsWith(statusTitle(state)));
    }
    EXPECT_EQ(primaryButtonHint(V::failed), primaryButtonHint(V::idle));
    EXPECT_NE(primaryButtonHint(V::connecting), primaryButtonHint(V::checking));
}

TEST(NodeStatusLabels, ComeFromTheStringTableNotTheKeys) {
    ASSERT_TRUE(installStringTable(*qApp));
    const std::pair<NodeLinkStatus, const char*> rows[] = {
        {NodeLinkStatus::fast, "Fast"},         {NodeLinkStatus::online, "Online"},
        {NodeLinkStatus::offline, "Offline"},   {NodeLinkStatus::busy, "Busy"},
        {NodeLinkStatus::checking, "Checking"}, {NodeLinkStatus::paused, "Paused"},
    };
    for (const auto& [status, text] : rows)
        EXPECT_EQ(label(status), QString::fromLatin1(text));
    EXPECT_EQ(tint(NodeLinkStatus::online), TessaronTheme::textSecondary());
    EXPECT_NE(tint(NodeLinkStatus::fast), tint(NodeLinkStatus::online));
}

// In virtual time: the dot's colour and the capsule's width ease from one status to the next.
TEST(NodeStatusPillView, AChangeEasesOutOverAThirdOfASecondOnlyWithMotion) {
    ASSERT_TRUE(installStringTable(*qApp));
    NodeStatusPill pill(NodeStatusPill::Size::regular);
    pill.setStatus(NodeLinkStatus::fast);
    pill.setAnimates(true);
    pill.show();
    const int fastWidth = pill.sizeHint().width();
    pill.setStatus(NodeLinkStatus::offline);
    auto& change = pill.change();
    ASSERT_EQ(std::pair(change.state(), change.duration()), std::pair(QAbstractAnimation::Running, 350));
    change.pause();
    const auto look = [&](int milliseconds) {
        change.setCurrentTime(milliseconds);
        pill.resize(pill.sizeHint());
        const QImage image = pill.grab().toImage();
        return std::pair(QColor(image.pixel(15, image.height() / 2)).name(), pill.width());
    };
    const auto start = look(0), mid = look(175), end = look(350);
    EXPECT_EQ(std::pair(start, end.first), std::pair(std::pair(tint(NodeLinkStatus::fast).name(), fastWidth),
                                                     tint(NodeLinkStatus::offline).name()));
    EXPECT_TRUE(mid.first != start.first && mid.first != end.first) << mid.first.toStdString();
    // Ease-out: more than half the way after half the time.
    EXPECT_GT(std::abs(mid.second - fastWidth), std::abs(end.second - fastWidth) / 2);
    EXPECT_LT(std::abs(mid.second - fastWidth), std::abs(end.second - fastWidth));
    EXPECT_EQ(change.state(), QAbstractAnimation::Stopped);

    pill.setAnimates(false);
    pill.setStatus(NodeLinkStatus::busy);
    const auto state = change.state();
    EXPECT_EQ(std::pair(state, look(0).first),
              std::pair(QAbstractAnimation::Stopped, tint(NodeLinkStatus::busy).name()));
}

// The pill's words are in the rounded design where the system has it, in semibold at both sizes.
TEST(NodeStatusPillView, SpeaksInTheRoundedDesign) {
    for (const auto size : {NodeStatusPill::Size::regular, NodeStatusPill::Size::compact}) {
        const NodeStatusPill pill(size);
        EXPECT_EQ(std::pair(QFontInfo(pill.font()).family(), pill.font().weight()),
                  std::pair(QStringLiteral("Quicksand"), QFont::DemiBold));
    }
}

TEST(HeroRules, GlobeAnimationAndPrimaryTitle) {
    // Animates (the view's own), reduce motion (override), reduce motion (system): animates.
    const std::tuple<std::optional<bool>, std::optional<bool>, bool, bool> rows[] = {
        {std::nullopt, std::nullopt, false, true}, {std::nullopt, std::nullopt, true, false},
        {std::nullopt, true, false, false},        {std::nullopt, false, true, false},
        {false, std::nullopt, false, false},       {true, true, true, true},
    };
    for (const auto& [animates, reduceOverride, system, expected] : rows)
        EXPECT_EQ(heroGlobeAnimates(animates, reduceOverride, system), expected);

    EXPECT_EQ(heroPrimaryTitle(V::online, QStringLiteral(" \n\t")), QStringLiteral("Disconnect"));
    EXPECT_EQ(heroPrimaryHint(V::online, QStringLiteral(" \n\t")), primaryButtonHint(V::online));
    EXPECT_EQ(heroPrimaryTitle(V::online, QStringLiteral("  Stop now \n")), QStringLiteral("Stop now"));
    EXPECT_EQ(heroPrimaryHint(V::online, QStringLiteral("  Stop now \n")), QString());
}

TEST(ConnectionHeroView, ShowsPillOnlyWithAStatusNoButtonWithoutAnActionAndShrinksTextsBeforeCutting) {
    ASSERT_TRUE(installStringTable(*qApp));
    ConnectionHero hero;
    hero.setAnimatesOverride(false);
    testing::render(hero, {480, 400});
    auto* pill = hero.findChild<NodeStatusPill*>(QStringLiteral("tessaron.nodeStatusPill"));
    auto* button = hero.findChild<QWidget*>(QStringLiteral("tessaron.heroPrimaryButton"));
    EXPECT_EQ(std::pair(pill->isHidden(), button->isHidden()), std::pair(true, true));
    hero.setNodeStatus(NodeLinkStatus::fast);
    hero.setPrimaryAction([] {});
    testing::render(hero, {480, 400});
    EXPECT_EQ(std::pair(pill->isHidden(), button->isHidden()), std::pair(false, false));
    EXPECT_EQ(pill->accessibleName(), label(NodeLinkStatus::fast));

    // The header row heads the hero; its dot is decoration.
    const auto accessible = [&](const char* name) {
        return QAccessible::queryAccessibleInterface(hero.findChild<QWidget*>(QString::fromLatin1(name)));
    };
    EXPECT_EQ(accessible("tessaron.hero.header")->role(), QAccessible::Heading);
    EXPECT_EQ(accessible("tessaron.hero.header")->text(QAccessible::Name), accessibilitySummary(V::idle));
    EXPECT_TRUE(accessible("tessaron.hero.statusDot")->state().invisible);

    // At the window's narrowest, long texts shrink to their minimum scale before anything is cut.
    const TessaronGeoPoint far{35.7, 139.7, QStringLiteral("Taumatawhakatangihangakoauauotamatea"),
                               QStringLiteral("NZ")};
    hero.setNodeStatus(NodeLinkStatus::checking);
    hero.setGeography({berlin, far});
    hero.setState(V::online);
    const QString title = QStringLiteral("Connection check failed after every node was tried twice");
    const QString wordmark = QStringLiteral("TESSARON NETWORKS OF THE WORLD");
    // Label, its minimum scale, a text (empty: its own) and whether even that scale cannot hold it.
    const std::tuple<const char*, qreal, QString, bool> rows[] = {
        {"tessaron.hero.title", 0.7, {}, false},
        {"tessaron.hero.title", 0.7, QStringLiteral("Connection failed"), false},
        {"tessaron.hero.title", 0.7, title, true},
        {"tessaron.wordmark", 0.6, {}, false},
        {"tessaron.wordmark", 0.6, wordmark, false},
        {"tessaron.wordmark", 0.6, wordmark + QLatin1Char(' ') + wordmark, true},
        {"tessaron.globe.caption", 0.7, {}, false},
        {"tessaron.globe.caption", 0.7, far.city + far.city, true},
    };
    for (const auto& [name, minimum, text, cut] : rows) {
        auto* label = hero.findChild<TessaronFittedLabel*>(QString::fromLatin1(name));
        if (!text.isEmpty())
            label->setText(text);
        testing::render(hero, {360, 420});
        const auto fit = label->fitted();
        const bool wasCut = fit.lines.join(QLatin1Char(' ')) != label->text();
        EXPECT_EQ(wasCut, cut) << name << " " << text.toStdString();
        EXPECT_TRUE(wasCut ? qFuzzyCompare(fit.scale, minimum) : fit.scale >= minimum) << name << fit.scale;
        // Every line is drawn at its full height.
        EXPECT_GE(label->contentsRect().height(),
                  fit.lines.size() * QFontMetrics(fit.font).lineSpacing() - 1);
    }
}

// Readers meet the header as one heading that names the state and then the node's status: neither the title
// nor the pill is read again on its own, anywhere in the hero.
TEST(ConnectionHeroView, HeaderIsOneHeadingThatReadsTheSummaryThenTheNodeStatus) {
    ASSERT_TRUE(installStringTable(*qApp));
    ConnectionHero hero;
    hero.setAnimatesOverride(false);
    const std::pair<V, std::optional<NodeLinkStatus>> rows[] = {
        {V::idle, std::nullopt},
        {V::online, NodeLinkStatus::fast},
        {V::checking, NodeLinkStatus::offline},
    };
    for (const auto& [state, status] : rows) {
        hero.setState(state);
        hero.setNodeStatus(status);
        testing::render(hero, {480, 400});
        QList<QAccessibleInterface*> headings;
        QStringList read;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* element) {
            if (element->role() == QAccessible::Heading)
                headings.append(element);
            else if (!element->state().invisible)
                read.append(element->text(QAccessible::Name));
            for (int index = 0; index < element->childCount(); ++index)
                walk(element->child(index));
        };
        walk(QAccessible::queryAccessibleInterface(&hero));
        ASSERT_EQ(headings.size(), 1) << rawValue(state).toStdString();
        const auto* header = headings.first();
        EXPECT_EQ(std::tuple(header->childCount(), header->text(QAccessible::Name),
                             header->text(QAccessible::Value)),
                  std::tuple(0, accessibilitySummary(state), status ? label(*status) : QString()));
        EXPECT_FALSE(read.contains(statusTitle(state))) << read.join(u'|').toStdString();
        if (status)
            EXPECT_FALSE(read.contains(label(*status))) << read.join(u'|').toStdString();
    }
}

TEST(HeroGeography, UserAndExitNeedTheirCoordinatesAndANameOrRegion) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto city = [](const char* country, std::optional<QString> name, std::optional<double> lon) {
        const auto user =
            TessaronHeroGeo::make(TessaronClientGeo{country, name, 52.5, lon}, {}, {}, V::idle).user;
        return user ? std::optional(user->city) : std::nullopt;
    };
    EXPECT_EQ(city("DE", QStringLiteral("Berlin"), std::nullopt), std::nullopt);
    EXPECT_EQ(city("DE", QStringLiteral("Berlin"), 13.4), QStringLiteral("Berlin"));
    EXPECT_EQ(city("DE", QString(), 13.4), QString()) << "a city the service sent empty stays empty";
    EXPECT_EQ(city("DE", std::nullopt, 13.4), QStringLiteral("Germany"));
    EXPECT_EQ(city("QQ", std::nullopt, 2), QStringLiteral("QQ"));
    QLocale::setDefault(QLocale::system());

    // The exit needs a link, a named node and its coordinates.
    const auto name = std::optional<QString>(QStringLiteral("  Tokyo 2 \n"));
    const TessaronNodeGeo node{QStringLiteral("JP"), 35.7, 139.7, TessaronNodeGeo::Purpose::exit};
    TessaronNodeGeo noLatitude = node;
    noLatitude.lat.reset();
    for (const auto visual : allVisualStates())
        EXPECT_EQ(TessaronHeroGeo::make(std::nullopt, node, name, visual).exit.has_value(), visual != V::idle)
            << rawValue(visual).toStdString();
    const std::pair<std::optional<TessaronNodeGeo>, std::optional<QString>> missing[] = {
        {std::nullopt, name}, {noLatitude, name}, {node, std::nullopt}, {node, QStringLiteral(" \t\n")}};
    for (const auto& [geo, nodeName] : missing)
        EXPECT_EQ(TessaronHeroGeo::make(std::nullopt, geo, nodeName, V::online).exit, std::nullopt);
    EXPECT_EQ(TessaronHeroGeo::make(std::nullopt, node, name, V::online).exit,
              (TessaronGeoPoint{35.7, 139.7, QStringLiteral("Tokyo 2"), QStringLiteral("JP")}));
}

TEST(CountryFlag, MapsTwoAsciiLettersInAnyCaseAndPrefixesOnlyRealFlags) {
    for (const char* code : {"de", "De", "DE"})
        EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromLatin1(code)), de) << code;
    for (const char* code : {"D", "DEU", "", "D1", "1D", "É1", "\u00C9S"})
        EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8(code)), QString()) << code;
    // Upper-casing comes first: the sharp s becomes "SS".
    EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8("ß")), QString::fromUtf8("\U0001F1F8\U0001F1F8"));

    // Only a real flag prefixes a name.
    const QString name = QStringLiteral("Oslo");
    EXPECT_EQ(flagLabel(name, QStringLiteral("no")), QString::fromUtf8("\U0001F1F3\U0001F1F4 Oslo"));
    EXPECT_EQ(flagLabel(name, QStringLiteral("NOR")), name);
    EXPECT_EQ(flagLabel(name, std::nullopt), name);
}

TEST(FlowRingAndNudge, TurnWithTheClock) {
    const std::pair<double, double> rows[] = {{0, 0},   {1, 0.25},  {4, 0},
                                              {6, 0.5}, {-1, 0.75}, {1e9 + 3, 0.75}};
    for (const auto& [date, phase] : rows)
        EXPECT_NEAR(flowRingPhase(date), phase, 1e-6) << date;

    // The nudge border turns only while active and animating, from its restart.
    EXPECT_DOUBLE_EQ(nudgeAngle(true, true, 100, 100), 0);
    EXPECT_NEAR(nudgeAngle(true, true, 100, 101.2), 180, 1e-9);
    EXPECT_NEAR(nudgeAngle(true, true, 100, 102.4 + 0.6), 90, 1e-9);
    EXPECT_DOUBLE_EQ(nudgeAngle(true, false, 100, 101.2), 0);
    EXPECT_DOUBLE_EQ(nudgeAngle(false, true, 100, 101.2), 0);

    QWidget host;
    auto* control = new QWidget(&host);
    control->setGeometry(20, 20, 400, 40);
    TessaronNudgeBorder border(control, 8, 2, 0);
    host.show();
    border.setActive(true);
    border.setAnimates(true);
    // Wide enough to cover the control and the line beyond it. Motion stopping is seen in the home view.
    EXPECT_TRUE(border.geometry().contains(control->geometry().adjusted(-2, -2, 2, 2)));
    border.setActive(false);
    EXPECT_EQ(std::pair(border.isRunning(), border.isHidden()), std::pair(false, true));
}

// The band runs clockwise from its start, as Qt's counter-clockwise conical gradient would not.
TEST(FlowRingAndNudge, BandRunsClockwise) {
    QWidget host;
    auto* row = new QWidget(&host);
    row->setGeometry(20, 20, 100, 100);
    QPalette black = host.palette();
    black.setColor(QPalette::Window, Qt::black);
    host.setPalette(black);
    TessaronFlowRing ring(row, 6);
    host.show();
    // Brightness on the ring at three, six, nine and twelve o'clock; the glow beneath is faint everywhere.
    const auto alphas = [&ring](double phase) {
        ring.setPhaseOverride(phase);
        const QImage image = ring.grab().toImage();
        const auto bright = [&image](int x, int y) {
            return qMax(qRed(image.pixel(x, y)), qBlue(image.pixel(x, y)));
        };
        return std::array{bright(106, 60), bright(60, 106), bright(13, 60), bright(60, 13)};
    };
    // Screen y grows downwards: 90° clockwise from three o'clock is straight down.
    const auto fromThree = alphas(0);
    EXPECT_GT(fromThree[1], fromThree[3] + 100);
    // A quarter-turn start moves the band to start at six o'clock: the left side is now lit.
    const auto fromSix = alphas(0.25);
    EXPECT_GT(fromSix[2], fromSix[0] + 100);
}

// Overlapping dots unite as a filled path's circles do under the non-zero rule: the overlap is covered
// once, neither twice nor hollowed as under the odd-even rule.
TEST(QtTraps, OverlappingDotsUniteAndTinyDotsKeepTheirArea) {
    DotLayer layer(QSize(50, 40));
    layer.add(QPointF(20, 20), 10);
    layer.add(QPointF(26, 20), 10);
    layer.fill(qRgb(255, 255, 255), 0.5);
    EXPECT_EQ(std::pair(qAlpha(layer.image().pixel(23, 20)), qAlpha(layer.image().pixel(14, 20))),
              std::pair(128, 128));
    // A later shape lies over the earlier one.
    layer.add(QPointF(26, 20), 10);
    layer.fill(qRgb(255, 255, 255), 0.5);
    EXPECT_EQ(std::pair(qAlpha(layer.image().pixel(23, 20)), qAlpha(layer.image().pixel(14, 20))),
              std::pair(192, 128));
    // A dot smaller than a pixel keeps its area, not a whole pixel.
    DotLayer tiny(QSize(4, 4));
    tiny.add(QPointF(2, 2), 0.4);
    tiny.fill(qRgb(255, 255, 255), 1.0);
    int total = 0;
    for (int i = 0; i < 16; ++i)
        total += qAlpha(tiny.image().pixel(i % 4, i / 4));
    EXPECT_NEAR(total / 255.0, M_PI * 0.16, 0.03);
}

// A layer's shape is the union of its dots wherever they lie, at the picture's edges and beyond them as
// well: every pixel a dot covers is filled, as much as the dot that covers it most, and nothing of a shape
// outlives its fill or its layer.
TEST(DotLayerRules, AShapeIsTheUnionOfItsDotsAndLeavesNothingBehind) {
    // An odd width, so that rows end off the eight-pixel stride; dots of both kinds, inside, over the
    // edges and the corners, and wholly outside.
    const QSize size(37, 23);
    const std::vector<std::pair<QPointF, double>> dots{
        {{5.3, 4.7}, 0.5},  {{6.1, 5.2}, 1.4},   {{36.6, 11.2}, 0.6},   {{36.2, 22.7}, 1.8},
        {{0.2, 0.3}, 0.65}, {{-0.4, 12.5}, 2.2}, {{18.5, 22.9}, 0.4},   {{33.4, 2.5}, 3.1},
        {{-5, -5}, 1.2},    {{50, 9}, 0.5},      {{20.25, 10.75}, 0.69}};
    const auto filled = [&size](const std::vector<std::pair<QPointF, double>>& shape) {
        DotLayer layer(size);
        for (const auto& [center, radius] : shape)
            layer.add(center, radius);
        layer.fill(qRgb(255, 255, 255), 1.0);
        return layer.image();
    };
    QImage expected(size, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    for (const auto& dot : dots) {
        const QImage alone = filled({dot});
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                if (qAlpha(alone.pixel(x, y)) > qAlpha(expected.pixel(x, y)))
                    expected.setPixel(x, y, alone.pixel(x, y));
            }
        }
    }
    EXPECT_EQ(filled(dots), expected);
    {
        // Gathered and never filled.
        DotLayer abandoned(size);
        for (const auto& [center, radius] : dots)
            abandoned.add(center, radius);
    }
    QImage empty(size, QImage::Format_ARGB32_Premultiplied);
    empty.fill(Qt::transparent);
    EXPECT_EQ(filled({}), empty);
    EXPECT_EQ(filled({dots[0]}), filled({dots[0]}));
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

TEST(GlobeGeometry, EasingLongitudeAndGreatCircles) {
    const std::pair<double, double> easing[] = {{-0.1, 0},      {0, 0}, {0.25, 0.0625}, {0.5, 0.5},
                                                {0.75, 0.9375}, {1, 1}, {1.5, 1}};
    for (const auto& [p, e] : easing)
        EXPECT_DOUBLE_EQ(easeInOutCubic(p), e) << p;

    const std::tuple<double, double, double, double> rows[] = {
        {170, -170, 0.5, 180}, // 20° east through the date line, not 340° west
        {170, -170, 1, -170},  {-170, 170, 0.5, 180}, {0, 180, 0.5, 90}, // half a turn goes east
        {10, 30, 0, 10},       {350, 10, 1, 10},
    };
    for (const auto& [from, to, progress, expected] : rows)
        EXPECT_NEAR(easedLongitude(from, to, progress), expected, 1e-9)
            << from << " → " << to << " at " << progress;

    // Interpolation follows great circles.
    EXPECT_LT(centralAngle(interpolate({0, 0}, {0, 90}, 0.5), {0, 45}), 1e-9);
    EXPECT_EQ(interpolate({12.5, -7}, {12.5, -7}, 0.3), (LatLon{12.5, -7}));
    // Opposite points follow the half circle through the perpendicular axis: half way is 90° from both ends.
    const LatLon a{0, 0}, b{0, 180};
    const auto quarter = interpolate(a, b, 0.5);
    EXPECT_NEAR(centralAngle(a, quarter), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle(quarter, b), M_PI / 2, 1e-9);
    EXPECT_NEAR(centralAngle({0, 0}, {0, 90}), M_PI / 2, 1e-12);
    EXPECT_EQ(latLon({0, 0, 0}), (LatLon{0, 0}));
}

TEST(GlobeGeometry, ProjectionCheckpoints) {
    const double low = 0.3907311284892737, high = 0.9205048534524404;
    // The last row: the focus is drawn on the centre line below the middle, whatever it is.
    const std::tuple<double, double, TessaronGlobeRotation, double, double, double> rows[] = {
        {0, 0, TessaronGlobeRotation::make(0, 0), 0, -low, high},
        {90, 0, TessaronGlobeRotation::make(0, 0), 0, high, low},
        {0, 180, TessaronGlobeRotation::make(0, 0), 0, low, -high},
        {0, 90, TessaronGlobeRotation::make(0, 0), 1, 0, 0},
        {30, 100, TessaronGlobeRotation::make(100, 30), 0, -low, high},
    };
    for (const auto& [lat, lon, rotation, x, y, z] : rows) {
        const auto v = project(lat, lon, rotation);
        EXPECT_LT(std::hypot(v.x - x, v.y - y, v.z - z), 1e-12) << lat << "," << lon;
    }
}

// A frame places its land dots all at once, to the last bit where `project` places each one.
TEST(GlobeGeometry, LandDotsArePlacedAsProjectedOneByOne) {
    const LandDotTrig& trig = landPointTrig();
    LandDotPlaces places;
    for (const auto& [lon, lat] : {std::pair{0.0, 0.0}, {137.3, -12.5}, {-71.9, 44.2}, {359.4, 45.0}}) {
        const auto rotation = TessaronGlobeRotation::make(lon, lat);
        placeLandDots(rotation, 101.5, 87.25, 93.7, places);
        ASSERT_EQ(places.z.size(), landPoints().size());
        std::size_t misplaced = 0;
        for (std::size_t i = 0; i < places.z.size(); ++i) {
            const Vector3 v =
                project(trig.sinLat[i], trig.cosLat[i], trig.sinLon[i], trig.cosLon[i], rotation);
            if (places.x[i] != 101.5 + 93.7 * v.x || places.y[i] != 87.25 - 93.7 * v.y || places.z[i] != v.z)
                ++misplaced;
        }
        EXPECT_EQ(misplaced, 0U) << lon << "," << lat;
    }
}

TEST(GlobeRenderer, ArcColourRampAndExitColours) {
    const std::pair<double, std::tuple<float, float, float>> ramp[] = {
        {-1, {1.0f, 0.541f, 0.239f}},    {0, {1.0f, 0.541f, 0.239f}},   {0.25, {1.0f, 0.239f, 0.545f}},
        {0.5, {0.659f, 0.333f, 0.969f}}, {1, {0.133f, 0.827f, 0.933f}}, {2, {0.133f, 0.827f, 0.933f}},
        {0.125, {1.0f, 0.39f, 0.392f}},
    };
    for (const auto& [fraction, rgb] : ramp) {
        const QColor c = TessaronGlobeRenderer::arcColor(fraction);
        const auto [r, g, b] = rgb;
        EXPECT_LT(std::max({std::abs(c.redF() - r), std::abs(c.greenF() - g), std::abs(c.blueF() - b)}),
                  0.003)
            << fraction;
    }
    EXPECT_EQ(TessaronGlobeRenderer::exitColor(V::connecting), TessaronGlobeRenderer::exitColor(V::checking));
    EXPECT_NE(TessaronGlobeRenderer::exitColor(V::online), TessaronGlobeRenderer::exitColor(V::failed));
    const auto& stops = TessaronGlobeRenderer::nearDotGradient();
    ASSERT_EQ(stops.size(), 9);
    EXPECT_NEAR(stops[3].second.alphaF(), 0.5693504205725223, 0.003);
    EXPECT_NEAR(stops[8].second.alphaF(), 0.18, 0.003);
}

// The near dots' opacities, once worked out for every pixel of a size with hypot() and the gradient's
// colours, now come pixel by pixel from a square root and the stops' opacities read once: the picture
// must not change by a single level.
TEST(GlobeRenderer, NearDotOpacityEqualsTheGradientAtEveryPixel) {
    const auto& stops = TessaronGlobeRenderer::nearDotGradient();
    const auto reference = [&stops](int x, int y, QPointF center, double radius) {
        const double fraction =
            std::min(std::hypot(x + 0.5 - center.x(), y + 0.5 - center.y()) / radius, 1.0);
        const qsizetype upper = std::min<qsizetype>(
            static_cast<qsizetype>(std::ceil(fraction * (stops.size() - 1))), stops.size() - 1);
        const qsizetype lower = std::max<qsizetype>(upper - 1, 0);
        const double span = stops[upper].first - stops[lower].first;
        const double t = span > 0 ? (fraction - stops[lower].first) / span : 0;
        return static_cast<unsigned>(
            std::lround(255 * (stops[lower].second.alphaF() +
                               t * (stops[upper].second.alphaF() - stops[lower].second.alphaF()))));
    };
    // Stages of the hero's globe at the usual pixel densities, centred on whole, half and quarter pixels.
    const std::tuple<int, QPointF, double> stages[] = {
        {199, {99.5, 99.5}, 85.9},  {200, {100, 100}, 86.0},       {249, {124.25, 124.75}, 107.5},
        {299, {149.5, 149}, 129.0}, {397, {198.75, 198.5}, 171.8}, {40, {20, 20}, 0.7},
    };
    for (const auto& [side, center, radius] : stages) {
        int differences = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                differences += TessaronGlobeRenderer::nearDotAlpha(x, y, center, radius) !=
                               reference(x, y, center, radius);
        }
        EXPECT_EQ(differences, 0) << side;
    }
    EXPECT_EQ(TessaronGlobeRenderer::nearDotAlpha(100, 100, {100.5, 100.5}, 80), 153u);
    EXPECT_EQ(TessaronGlobeRenderer::nearDotAlpha(0, 0, {100.5, 100.5}, 80), 46u);
}

// The opacities are kept while the size stays and filled in as dots reach new pixels: a frame draws the
// same whatever frames of other turns and sizes came before it.
TEST(GlobeRenderer, AFrameDrawsTheSameAfterOtherTurnsAndSizes) {
    const auto render = [](QSize size, qreal ratio, double date) {
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        QPainter painter(&image);
        TessaronGlobeRenderer::draw(painter, QSizeF(size), TessaronGlobeState{}, {date, true, nullptr});
        return image;
    };
    for (const qreal ratio : {1.0, 2.0}) {
        const QImage first = render({300, 240}, ratio, 3);
        render({300, 240}, ratio, 17);
        render({260, 200}, ratio, 3);
        EXPECT_EQ(render({300, 240}, ratio, 3), first) << ratio;
    }
}

// The arc's segments are stroked without the painter: an arc must look as the painter's round-capped
// strokes of its segments, glows first, drew it, to a few levels where the caps' curves lie.
TEST(GlobeRenderer, ArcStrokesLookAsThePaintersStrokes) {
    struct Stroke {
        QPointF from, to;
        double width;
        QColor color;
    };
    // Arcs as the renderer strokes them: steep and flat, long and short, on whole and fractional pixels.
    const auto arc = [](QPointF from, QPointF to, double rise, int segments) {
        std::vector<Stroke> strokes;
        for (const auto& [width, alpha] : {std::pair{6.0, 0.18f}, std::pair{2.0, 1.0f}}) {
            for (int i = 0; i < segments; ++i) {
                const auto at = [&](double f) {
                    return from + f * (to - from) - QPointF(0, 4 * rise * f * (1 - f));
                };
                QColor color = TessaronGlobeRenderer::arcColor((i + 0.5) / segments);
                color.setAlphaF(alpha);
                strokes.push_back({at(double(i) / segments), at(double(i + 1) / segments), width, color});
            }
        }
        return strokes;
    };
    const std::vector<Stroke> arcs[] = {
        arc({10.3, 50.6}, {54.2, 44.1}, 30, 16),
        arc({8, 20}, {56, 20}, 0, 8),
        arc({30.25, 60.5}, {34.75, 6.25}, -12, 64),
        arc({20.5, 30.5}, {26.1, 31.3}, 3, 64),
    };
    for (const auto& strokes : arcs) {
        QImage painted(64, 64, QImage::Format_RGB32);
        painted.fill(QColor::fromRgbF(0.05f, 0.08f, 0.14f));
        QImage drawn = painted.copy();
        QPainter painter(&painted);
        painter.setRenderHint(QPainter::Antialiasing);
        for (const Stroke& stroke : strokes) {
            painter.setPen(QPen(stroke.color, stroke.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawLine(stroke.from, stroke.to);
            ArcStrokes::stroke(drawn, stroke.from, stroke.to, stroke.width, stroke.color);
        }
        painter.end();
        int largest = 0;
        int differing = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const QRgb a = painted.pixel(x, y);
                const QRgb b = drawn.pixel(x, y);
                const int difference = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                                 std::abs(qBlue(a) - qBlue(b))});
                largest = std::max(largest, difference);
                differing += difference > 2;
            }
        }
        // The painter draws a cap's curve as a polygon inside it: a few pixels there differ most.
        EXPECT_LE(largest, 12);
        EXPECT_LE(differing, 100);
    }
}

// What a frame asks of the painter: lines are counted; the rest is taken and dropped.
class LineCountingDevice final : public QPaintDevice {
public:
    int lines() const { return engine_.lines; }
    QPaintEngine* paintEngine() const override { return &engine_; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return 300;
        case PdmHeight:
            return 240;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 96;
        }
    }

private:
    struct Engine final : QPaintEngine {
        int lines = 0;
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawLines(const QLineF*, int count) override { lines += count; }
        Type type() const override { return User; }
    };
    mutable Engine engine_;
};

// The arc's 128 strokes a frame went through the painter's stroker, a fifth of the connected window's
// time: an online frame with its arc and comet draws pictures only.
TEST(GlobeRenderer, AnOnlineFrameStrokesNoLineThroughThePainter) {
    const TessaronGeoPoint berlin{52.5, 13.4, {}, {}}, singapore{1.35, 103.8, {}, {}};
    LineCountingDevice device;
    QPainter painter(&device);
    TessaronGlobeRenderer::draw(painter, QSizeF(300, 240), {berlin, singapore, V::online},
                                {40, true, nullptr});
    painter.end();
    EXPECT_EQ(device.lines(), 0);
}

TEST(GlobeState, CaptionLabelsArcAndFocus) {
    const std::pair<TessaronGlobeState, QString> rows[] = {
        {{std::nullopt, std::nullopt, V::online}, QString::fromUtf8("Locating\u2026")},
        {{std::nullopt, tokyo, V::idle}, QString::fromUtf8("Locating\u2026")},
        {{berlin, tokyo, V::idle}, de + QStringLiteral(" Berlin")},
        {{std::nullopt, tokyo, V::checking}, jp + QStringLiteral(" Tokyo")},
        {{berlin, tokyo, V::failed},
         de + QStringLiteral(" Berlin  \u2192  ") + jp + QStringLiteral(" Tokyo")},
    };
    for (const auto& [state, caption] : rows)
        EXPECT_EQ(state.caption(), caption);

    EXPECT_EQ(label({0, 0, QStringLiteral("Oslo"), QStringLiteral("NOR")}), QStringLiteral("Oslo"));
    EXPECT_EQ(label({0, 0, QString(), QStringLiteral("de")}), de);
    EXPECT_EQ(label({0, 0, QString(), QString()}), QString());

    // The arc needs both points and a live link.
    for (const auto visual : allVisualStates()) {
        const TessaronGlobeState both{berlin, tokyo, visual};
        const bool live = visual == V::connecting || visual == V::checking || visual == V::online;
        EXPECT_EQ(both.showsArc(), live) << rawValue(visual).toStdString();
        EXPECT_EQ(both.showsExit(), visual != V::idle);
        EXPECT_FALSE((TessaronGlobeState{berlin, std::nullopt, visual}.showsArc()));
    }
    const TessaronGeoPoint origin{0, 0, {}, {}}, east{0, 90, {}, {}};
    EXPECT_NEAR((TessaronGlobeState{origin, east, V::online}.focusPoint()->lon), 45, 1e-9);
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::online}.focusPoint()), (LatLon{0, 90}));
    EXPECT_EQ((TessaronGlobeState{std::nullopt, east, V::idle}.focusPoint()), std::nullopt);
}

TEST(GlobeMotion, TurnsStartFromTheSpinOrTheCurrentPositionAndTheArcRevealsOnEachNewLink) {
    TessaronGlobeMotion motion;
    const double t0 = 1000;
    const TessaronGlobeState located{berlin, std::nullopt, V::idle};
    const TessaronGlobeState spinning{};
    motion.transition(std::nullopt, located, t0, true);
    EXPECT_FALSE(motion.focusTween) << "the first appearance stands still";
    motion.transition(located, spinning, t0, true);
    EXPECT_FALSE(motion.focusTween);
    motion.transition(spinning, located, t0 + 10, true);
    ASSERT_TRUE(motion.focusTween);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, 0);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, idleSpinAngle(t0 + 10));
    EXPECT_DOUBLE_EQ(motion.focusTween->toLat, 52.5);
    // Without animation the spin stood at longitude 0.
    motion.transition(located, spinning, t0 + 11, false);
    motion.transition(spinning, located, t0 + 12, false);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLon, 0);

    // A new turn continues from where the globe is.
    const TessaronGlobeState b{tokyo, std::nullopt, V::idle};
    const TessaronGlobeState c{berlin, std::nullopt, V::failed};
    motion.transition(located, b, t0, true);
    const LatLon halfway = motion.focusTween->position(t0 + 0.7);
    motion.transition(b, c, t0 + 0.7, true);
    EXPECT_EQ((LatLon{motion.focusTween->fromLat, motion.focusTween->fromLon}), halfway);
    // Once a turn has ended, the next starts from the previous target.
    motion.transition(c, b, t0 + 5, true);
    EXPECT_DOUBLE_EQ(motion.focusTween->fromLat, berlin.lat);

    const TessaronGlobeState connecting{berlin, tokyo, V::connecting};
    const TessaronGlobeState checking{berlin, tokyo, V::checking};
    const TessaronGlobeState idle{berlin, tokyo, V::idle};
    const TessaronGlobeState userOnly{berlin, std::nullopt, V::connecting};
    TessaronGlobeMotion link;
    link.transition(std::nullopt, userOnly, t0, true);
    EXPECT_FALSE(link.arcRevealStart);
    link.transition(userOnly, connecting, t0 + 1, true);
    EXPECT_EQ(link.arcRevealStart, t0 + 1);
    link.transition(connecting, checking, t0 + 2, true);
    link.transition(checking, connecting, t0 + 3, true);
    EXPECT_EQ(link.arcRevealStart, t0 + 3);
    // The exit fades out in the colour it had, until a new link shows it again.
    link.transition(connecting, idle, t0 + 4, true);
    ASSERT_TRUE(link.exitFade);
    EXPECT_EQ(std::pair(link.exitFade->visual, link.exitFade->point), std::pair(V::connecting, tokyo));
    link.transition(idle, checking, t0 + 4.1, true);
    EXPECT_FALSE(link.exitFade);
}

// A state given before the globe first shows is where it stands; later changes turn it.
TEST(GlobeView, StandsAtItsFirstStateAndTurnsOnLaterChanges) {
    TessaronGlobeView globe;
    globe.setAnimates(true);
    globe.setState({berlin, tokyo, V::online});
    globe.show();
    EXPECT_FALSE(globe.motion().focusTween);
    globe.setState({berlin, std::nullopt, V::idle});
    EXPECT_TRUE(globe.motion().focusTween);
    // Readers meet one element named by the caption, not an unnamed picture and the caption again.
    auto* reader = QAccessible::queryAccessibleInterface(&globe);
    EXPECT_EQ(std::pair(reader->text(QAccessible::Name), reader->childCount()),
              std::pair(globe.caption(), 0));
}

TEST(GlobeFrame, OrientationRevealAndComet) {
    const TessaronGeoPoint north{60, 10, {}, {}}, south{-70, 10, {}, {}};
    const TessaronGlobeFrame still{500, false, nullptr};
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({north, std::nullopt, V::idle}, still),
              (LatLon{45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({south, std::nullopt, V::idle}, still),
              (LatLon{-45, 10}));
    EXPECT_EQ(TessaronGlobeRenderer::viewOrientation({}, still), (LatLon{0, 0}));
    EXPECT_DOUBLE_EQ(TessaronGlobeRenderer::viewOrientation({}, {10, true, nullptr}).lon, 90);

    TessaronGlobeMotion motion;
    const TessaronGlobeState connecting{north, south, V::connecting};
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {0, true, &motion}), std::nullopt);
    motion.arcRevealStart = 100;
    const std::pair<double, std::optional<double>> reveal[] = {
        {99, std::nullopt}, {100, std::nullopt}, {100.4, 0.5}, {100.8, 1.0}, {105, 1.0}};
    for (const auto& [date, expected] : reveal) {
        const auto r = TessaronGlobeRenderer::arcReveal(connecting, {date, true, &motion});
        EXPECT_TRUE(r.has_value() == expected.has_value() && (!r || std::abs(*r - *expected) < 1e-9)) << date;
    }
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal(connecting, {99, false, &motion}), 1.0);
    EXPECT_EQ(TessaronGlobeRenderer::arcReveal({north, south, V::failed}, {0, true, &motion}), std::nullopt);

    // The comet runs every 2.4 s with its tail held at the user.
    // Head, then the five tail dots.
    const std::pair<double, std::array<double, 6>> rows[] = {
        {2.4 * 1000 + 1.2, {0.5, 0.488, 0.476, 0.464, 0.452, 0.44}},
        {2.4 * 7 + 0.06, {0.025, 0.013, 0.001, 0, 0, 0}},
    };
    for (const auto& [date, expected] : rows) {
        const auto comet = TessaronGlobeRenderer::cometFractions(date);
        for (int j = 0; j < 6; ++j)
            EXPECT_NEAR(j == 0 ? comet.head : comet.tail[j - 1], expected[j], 1e-9) << date << " " << j;
    }
}

int rounded(double degrees) {
    return static_cast<int>(std::lround(degrees * 180.0));
}

TEST(LandDots, TableHoldsLatticePointsOfLandByAscendingLatitude) {
    const auto& dots = landPoints();
    ASSERT_GT(dots.size(), 3000u);
    EXPECT_EQ(landDotTable().size() % 4, 0);
    for (std::size_t k = 0; k < dots.size(); ++k) {
        if (k > 0) {
            ASSERT_LT(dots[k - 1].lat, dots[k].lat) << k;
        }
        // i follows from the latitude; the longitude must then match the lattice.
        const double sine = std::sin(dots[k].lat * M_PI / 180.0);
        const auto point =
            latticePoint(static_cast<int>(std::lround((1.0 - sine) * (latticeSize - 1) / 2.0)));
        ASSERT_EQ(std::pair(rounded(dots[k].lat), rounded(dots[k].lon)),
                  std::pair(rounded(point.lat), rounded(point.lon)))
            << k;
    }
    // Lattice points lie about 0.03 rad apart: land has one within twice that.
    const auto hasDotNear = [](LatLon place) {
        return std::ranges::any_of(landPoints(), [&](const LandDot& dot) {
            return centralAngle(place, {dot.lat, dot.lon}) < 0.06;
        });
    };
    EXPECT_TRUE(hasDotNear({23, 12}));   // the Sahara
    EXPECT_FALSE(hasDotNear({0, -150})); // the Pacific

    // The table's text is strict base64.
    EXPECT_TRUE(decodeLandDots("AAAA!!").empty());
    const auto decoded = decodeLandDots("tADs/w==");
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_FLOAT_EQ(decoded[0].lat, 1.0f);
    EXPECT_FLOAT_EQ(decoded[0].lon, -20.0f / 180.0f);
}

} // namespace
} // namespace tessaron::testing
