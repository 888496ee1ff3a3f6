#include "health/latency_smoother.hpp"
#include "health/latency_tier.hpp"

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
        {10, 15, 13},    // 13.0
        {11, 12, 12},    // 11.6
        {1, 2, 2},       // 1.6
        {5, 10, 8},      // exactly 8.0
        {3, 4, 4},       // 3.6
        {3, 6, 5},       // 4.8
        {-3, -6, -5},    // rounds away from zero on the negative side too
        {0, 0, 0},
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
        {-5, LatencyTier::excellent, "excellent"}, {0, LatencyTier::excellent, "excellent"},
        {59, LatencyTier::excellent, "excellent"}, {60, LatencyTier::good, "good"},
        {119, LatencyTier::good, "good"},          {120, LatencyTier::fair, "fair"},
        {219, LatencyTier::fair, "fair"},          {220, LatencyTier::poor, "poor"},
        {5000, LatencyTier::poor, "poor"},
    };
    for (const auto& c : cases) {
        const auto tier = tessaron::latencyTier(c.milliseconds);
        EXPECT_EQ(tier, c.tier) << c.milliseconds;
        EXPECT_EQ(tessaron::rawValue(tier), QString::fromLatin1(c.raw));
        EXPECT_EQ(tessaron::latencyTierFromRawValue(QString::fromLatin1(c.raw)), c.tier);
    }
    for (const auto* text : {"Good", "GOOD", "", " good", "best"})
        EXPECT_FALSE(tessaron::latencyTierFromRawValue(QString::fromLatin1(text))) << text;
}
