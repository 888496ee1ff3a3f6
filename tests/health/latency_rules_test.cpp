#include "health/latency_smoother.hpp"
#include "health/latency_tier.hpp"
#include "health/node_link_status.hpp"
#include "node_fixtures.hpp"

#include <gtest/gtest.h>

using tessaron::LatencyTier;

TEST(LatencySmootherTest, DampsJitterButLetsJumpsThrough) {
    struct Case {
        std::optional<int> previous;
        int current;
        int expected;
    };
    const Case cases[] = {
        {std::nullopt, 250, 250}, // the first figure is stored raw
        {100, 110, 106},
        {100, 499, 339}, // 339.4
        {100, 500, 500}, // 400 ms apart: a jump
        {500, 100, 100}, // and downwards
        {500, 101, 261}, // 399 ms apart still smooths: 260.6
        {1, 2, 2},       // 1.6
        {3, 6, 5},       // 4.8
        {-3, -6, -5},    // rounds away from zero on the negative side too
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tessaron::LatencySmoother::smooth(c.previous, c.current), c.expected)
            << c.previous.value_or(-1) << " then " << c.current;
    }
}

TEST(LatencyTierTest, BandsAndRawValues) {
    struct Case {
        int milliseconds;
        LatencyTier tier;
        const char* raw;
    };
    const Case cases[] = {
        {59, LatencyTier::excellent, "excellent"}, {60, LatencyTier::good, "good"},
        {119, LatencyTier::good, "good"},          {120, LatencyTier::fair, "fair"},
        {219, LatencyTier::fair, "fair"},          {220, LatencyTier::poor, "poor"},
    };
    for (const auto& c : cases) {
        const auto tier = tessaron::latencyTier(c.milliseconds);
        EXPECT_EQ(tier, c.tier) << c.milliseconds;
        EXPECT_EQ(tessaron::rawValue(tier), QString::fromLatin1(c.raw));
        EXPECT_EQ(tessaron::latencyTierFromRawValue(QString::fromLatin1(c.raw)), c.tier);
    }
    for (const auto* text : {"Good", "best"})
        EXPECT_FALSE(tessaron::latencyTierFromRawValue(QString::fromLatin1(text))) << text;
}

TEST(NodeLinkStatusTest, RosterHealthOutranksLatency) {
    using tessaron::NodeLinkStatus;
    using namespace tessaron::testing;
    struct Case {
        const char* name;
        std::optional<int> milliseconds;
        std::optional<HealthEntry> health;
        NodeLinkStatus expected;
    };
    const Case cases[] = {
        {"nothing known", std::nullopt, std::nullopt, NodeLinkStatus::checking},
        {"paused and busy", 40, HealthEntry{'A', true, 0, true, {}, true}, NodeLinkStatus::paused},
        {"busy and down", 40, HealthEntry{'A', false, 0, false, {}, true}, NodeLinkStatus::busy},
        {"down 599 s ago", 40, HealthEntry{'A', false, 599}, NodeLinkStatus::offline},
        {"down 600 s ago, no sample", std::nullopt, HealthEntry{'A', false, 600}, NodeLinkStatus::checking},
        {"down 600 s ago, fast", 40, HealthEntry{'A', false, 600}, NodeLinkStatus::fast},
        {"119 ms", 119, std::nullopt, NodeLinkStatus::fast},
        {"120 ms", 120, std::nullopt, NodeLinkStatus::online},
        {"220 ms", 220, HealthEntry{'A'}, NodeLinkStatus::online},
    };
    for (const auto& c : cases) {
        const auto samples = c.milliseconds ? latencies({{'A', *c.milliseconds}}) : tessaron::LatencyTable{};
        const auto table = c.health ? health({*c.health}) : tessaron::NodeHealthTable{};
        EXPECT_EQ(tessaron::nodeLinkStatus(node('A'), samples, table, referenceNow()), c.expected) << c.name;
    }
}
