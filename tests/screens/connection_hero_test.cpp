#include "screens/connection_hero.hpp"
#include "screens/globe/globe_view.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/screen_capture.hpp"
#include "screens/string_table.hpp"
#include "screens/tessaron_theme.hpp"

#include <QApplication>

#include <gtest/gtest.h>

namespace tessaron {
namespace {

TEST(NodeStatusLabels, ComeFromTheStringTableNotTheKeys) {
    ASSERT_TRUE(installStringTable(*qApp));
    const std::pair<NodeLinkStatus, const char*> rows[] = {
        {NodeLinkStatus::fast, "Fast"},         {NodeLinkStatus::online, "Online"},
        {NodeLinkStatus::offline, "Offline"},   {NodeLinkStatus::busy, "Busy"},
        {NodeLinkStatus::checking, "Checking"}, {NodeLinkStatus::paused, "Paused"},
    };
    for (const auto& [status, text] : rows)
        EXPECT_EQ(label(status), QString::fromLatin1(text));
    for (const auto status : allNodeLinkStatuses())
        EXPECT_FALSE(label(status).startsWith(QStringLiteral("Node status")));
    EXPECT_EQ(dotColor(NodeLinkStatus::online), TessaronTheme::textSecondary());
    EXPECT_NE(dotColor(NodeLinkStatus::fast), dotColor(NodeLinkStatus::online));
}

TEST(HeroRules, GlobeAnimationAndPrimaryTitle) {
    struct Row {
        std::optional<bool> animates, reduceOverride;
        bool system, expected;
    };
    const Row rows[] = {
        {std::nullopt, std::nullopt, false, true}, {std::nullopt, std::nullopt, true, false},
        {std::nullopt, true, false, false},        {std::nullopt, false, true, false},
        {false, std::nullopt, false, false},       {true, true, true, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(heroGlobeAnimates(row.animates, row.reduceOverride, row.system), row.expected);

    using V = TessaronVisualState;
    EXPECT_EQ(heroPrimaryTitle(V::online, QStringLiteral(" \n\t")), QStringLiteral("Disconnect"));
    EXPECT_EQ(heroPrimaryHint(V::online, QStringLiteral(" \n\t")), primaryButtonHint(V::online));
    EXPECT_EQ(heroPrimaryTitle(V::online, QStringLiteral("  Stop now \n")), QStringLiteral("Stop now"));
    EXPECT_EQ(heroPrimaryHint(V::online, QStringLiteral("  Stop now \n")), QString());
}

TEST(ConnectionHeroView, ShowsPillOnlyWithAStatusAndNoButtonWithoutAnAction) {
    ConnectionHero hero;
    hero.setAnimatesOverride(false);
    const QSize size(480, 400);
    testing::render(hero, size);
    auto* pill = hero.findChild<NodeStatusPill*>(QStringLiteral("tessaron.nodeStatusPill"));
    auto* button = hero.findChild<QWidget*>(QStringLiteral("tessaron.heroPrimaryButton"));
    EXPECT_TRUE(pill->isHidden());
    EXPECT_TRUE(button->isHidden());

    hero.setNodeStatus(NodeLinkStatus::fast);
    int clicks = 0;
    hero.setPrimaryAction([&] { ++clicks; });
    testing::render(hero, size);
    EXPECT_FALSE(pill->isHidden());
    EXPECT_EQ(pill->accessibleName(), label(NodeLinkStatus::fast));
    EXPECT_FALSE(button->isHidden());
}

} // namespace
} // namespace tessaron
