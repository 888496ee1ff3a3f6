#include "health/latency_smoother.hpp"
#include "health/latency_tier.hpp"
#include "health/node_link_status.hpp"
#include "node_fixtures.hpp"

#include <gtest/gtest.h>

using tessaron::LatencyTier;
using namespace tessaron::testing;

TEST(LatencySmootherTest, DampsJitterButLetsJumpsThrough) {
    const std::tuple<std::optional<int>, int, int> cases[] = {
        {std::nullopt, 250, 250}, // the first figure is stored raw
        {100, 499, 339},          // 339.4
        {100, 500, 500},          // 400 ms apart: a jump
        {500, 100, 100},          // and downwards
        {500, 101, 261},          // 399 ms apart still smooths: 260.6
        {1, 2, 2},                // 1.6
        {3, 6, 5},                // 4.8
        {-3, -6, -5},             // rounds away from zero on the negative side too
    };
    for (const auto& [previous, current, expected] : cases)
        EXPECT_EQ(tessaron::LatencySmoother::smooth(previous, current), expected) << current;
}

TEST(LatencyTierTest, BandsAndTheirStoredNames) {
    const std::tuple<int, LatencyTier, const char*> cases[] = {
        {59, LatencyTier::excellent, "excellent"}, {60, LatencyTier::good, "good"},
        {119, LatencyTier::good, "good"},          {120, LatencyTier::fair, "fair"},
        {219, LatencyTier::fair, "fair"},          {220, LatencyTier::poor, "poor"},
    };
    for (const auto& [milliseconds, tier, raw] : cases) {
        EXPECT_EQ(tessaron::latencyTier(milliseconds), tier) << milliseconds;
        EXPECT_EQ(tessaron::latencyTierFromRawValue(tessaron::rawValue(tier)), tier);
        EXPECT_EQ(tessaron::rawValue(tier), QString::fromLatin1(raw));
    }
    EXPECT_FALSE(tessaron::latencyTierFromRawValue(QStringLiteral("Good")));
}

TEST(NodeLinkStatusTest, RosterHealthOutranksLatency) {
    using tessaron::NodeLinkStatus;
    const std::tuple<const char*, std::optional<int>, std::optional<HealthEntry>, NodeLinkStatus> cases[] = {
        {"nothing known", std::nullopt, std::nullopt, NodeLinkStatus::checking},
        {"paused and busy", 40, HealthEntry{'A', true, 0, true, {}, true}, NodeLinkStatus::paused},
        {"busy and down", 40, HealthEntry{'A', false, 0, false, {}, true}, NodeLinkStatus::busy},
        {"down 599 s ago", 40, HealthEntry{'A', false, 599}, NodeLinkStatus::offline},
        {"down 600 s ago, no sample", std::nullopt, HealthEntry{'A', false, 600}, NodeLinkStatus::checking},
        {"down 600 s ago, fast", 40, HealthEntry{'A', false, 600}, NodeLinkStatus::fast},
        {"119 ms", 119, std::nullopt, NodeLinkStatus::fast},
        {"120 ms", 120, HealthEntry{'A'}, NodeLinkStatus::online},
    };
    for (const auto& [name, milliseconds, entry, expected] : cases) {
        const auto samples = milliseconds ? latencies({{'A', *milliseconds}}) : tessaron::LatencyTable{};
        const auto table = entry ? health({*entry}) : tessaron::NodeHealthTable{};
        EXPECT_EQ(tessaron::nodeLinkStatus(node('A'), samples, table, referenceNow()), expected) << name;
    }
}
