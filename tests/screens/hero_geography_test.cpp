#include "screens/hero_geography.hpp"

#include <QLocale>

#include <gtest/gtest.h>

namespace tessaron {
namespace {

class HeroGeography : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    static TessaronClientGeo client(std::optional<QString> city, std::optional<double> lon = 13.4) {
        return {QStringLiteral("DE"), std::move(city), 52.5, lon};
    }
    static TessaronNodeGeo node() {
        return {QStringLiteral("JP"), 35.7, 139.7, TessaronNodeGeo::Purpose::exit};
    }
};

TEST_F(HeroGeography, UserNeedsBothCoordinatesAndFallsBackToTheRegionName) {
    using V = TessaronVisualState;
    EXPECT_EQ(TessaronHeroGeo::make(client(QStringLiteral("Berlin"), std::nullopt), {}, {}, V::idle).user,
              std::nullopt);
    EXPECT_EQ(TessaronHeroGeo::make(client(QStringLiteral("Berlin")), {}, {}, V::idle).user->city,
              QStringLiteral("Berlin"));
    // A city the service sent empty stays empty.
    EXPECT_EQ(TessaronHeroGeo::make(client(QString()), {}, {}, V::idle).user->city, QString());
    EXPECT_EQ(TessaronHeroGeo::make(client(std::nullopt), {}, {}, V::idle).user->city,
              QStringLiteral("Germany"));

    TessaronClientGeo unknown{QStringLiteral("QQ"), std::nullopt, 1, 2};
    EXPECT_EQ(TessaronHeroGeo::make(unknown, {}, {}, V::idle).user->city, QStringLiteral("QQ"));
}

TEST_F(HeroGeography, ExitNeedsALinkANamedNodeAndItsCoordinates) {
    using V = TessaronVisualState;
    const auto name = std::optional<QString>(QStringLiteral("  Tokyo 2 \n"));
    struct Row {
        V visual;
        std::optional<TessaronNodeGeo> geo;
        std::optional<QString> name;
        bool shows;
    };
    TessaronNodeGeo noLatitude = node();
    noLatitude.lat.reset();
    const Row rows[] = {
        {V::idle, node(), name, false},
        {V::connecting, node(), name, true},
        {V::checking, node(), name, true},
        {V::online, node(), name, true},
        {V::failed, node(), name, true},
        {V::online, std::nullopt, name, false},
        {V::online, noLatitude, name, false},
        {V::online, node(), std::nullopt, false},
        {V::online, node(), QStringLiteral(" \t\n"), false},
    };
    for (const auto& row : rows) {
        const auto exit = TessaronHeroGeo::make(std::nullopt, row.geo, row.name, row.visual).exit;
        EXPECT_EQ(exit.has_value(), row.shows) << rawValue(row.visual).toStdString();
    }
    const auto exit = TessaronHeroGeo::make(std::nullopt, node(), name, V::online).exit;
    EXPECT_EQ(*exit, (TessaronGeoPoint{35.7, 139.7, QStringLiteral("Tokyo 2"), QStringLiteral("JP")}));
}

TEST(CountryFlag, MapsTwoAsciiLettersInAnyCaseAndPrefixesOnlyRealFlags) {
    const QString germany = QString::fromUtf8("\U0001F1E9\U0001F1EA");
    for (const char* code : {"de", "De", "DE"})
        EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromLatin1(code)), germany) << code;
    for (const char* code : {"D", "DEU", "", "D1", "1D", "É1"})
        EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8(code)), QString()) << code;
    // Upper-casing comes first: the sharp s becomes "SS".
    EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8("ß")), QString::fromUtf8("\U0001F1F8\U0001F1F8"));
    EXPECT_EQ(TessaronCountryFlag::emoji(QString::fromUtf8("\u00C9S")), QString());

    // Only a real flag prefixes a name.
    const QString name = QStringLiteral("Oslo");
    EXPECT_EQ(flagLabel(name, QStringLiteral("no")), QString::fromUtf8("\U0001F1F3\U0001F1F4 Oslo"));
    EXPECT_EQ(flagLabel(name, QStringLiteral("NOR")), name);
    EXPECT_EQ(flagLabel(name, std::nullopt), name);
}

} // namespace
} // namespace tessaron
