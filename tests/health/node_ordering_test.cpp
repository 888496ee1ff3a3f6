#include "health/failover_planner.hpp"
#include "health/latency_smoother.hpp"
#include "health/latency_tier.hpp"
#include "health/node_link_status.hpp"
#include "node_fixtures.hpp"
#include "profiles/decoding_error.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tessaron;
using namespace tessaron::testing;

TEST(NodeHealthOrderTest, DemotesLiveDownReportsAndPausedNodes) {
    const std::pair<HealthEntry, bool> cases[] = {
        {{'A', false, 599}, true},
        {{'A', false, 600}, false},
        {{'A', false, -120}, true},                // checked in the future
        {{'A', true, 0, true}, true},              // paused
        {{'A', true, 0, false, 0.9, true}, false}, // busy
    };
    for (const auto& [entry, demoted] : cases) {
        const auto split = NodeHealthOrder::partition(nodes("BAC"), health({entry}), referenceNow());
        EXPECT_EQ(split.demoted, demoted ? nodes("A") : nodes("")) << entry.checkedSecondsAgo;
        EXPECT_EQ(split.kept, demoted ? nodes("BC") : nodes("BAC")) << "input order is kept";
    }
}

TEST(FastestPickTest, MeasuredByMillisecondsThenUnmeasured) {
    // Ties and the unmeasured keep their order.
    EXPECT_EQ(FastestPick::ordered(nodes("AECBD"), latencies({{'A', 80}, {'B', 40}, {'D', 40}})),
              nodes("BDAEC"));
    EXPECT_TRUE(FastestPick::isFaster(node('B'), node('A'), latencies({{'A', 10}})))
        << "a node without a sample counts as 0 ms";
}

TEST(LoadAwarePickTest, FastestWithALoadTieBreak) {
    const auto fallback = 'F';
    const auto near = latencies({{'A', 50}, {'B', 70}});
    const auto loads = health({loaded('A', .9), loaded('B', .2)});
    const std::tuple<const char*, const char*, LatencyTable, NodeHealthTable, const char*, char> cases[] = {
        {"31 ms apart", "AB", latencies({{'A', 50}, {'B', 81}}), loads, "", 'A'},
        {"30 ms apart still ties", "AB", latencies({{'A', 50}, {'B', 80}}), loads, "", 'B'},
        {"equal loads keep the faster", "AB", near, health({loaded('A', .5), loaded('B', .5)}), "", 'A'},
        {"missing load counts as 0", "AB", near, health({loaded('A', .9)}), "", 'B'},
        {"busy skipped", "AB", latencies({{'A', 10}, {'B', 70}}), health({busy('A')}), "", 'B'},
        {"all measured busy", "ABC", latencies({{'A', 90}, {'B', 20}}), health({busy('A'), busy('B')}), "",
         'B'},
        {"nothing measured", "ABC", {}, {}, "", fallback},
        {"all excluded", "AB", latencies({{'A', 10}, {'B', 20}}), {}, "ABF", fallback},
        {"faster later node becomes best", "ABC", latencies({{'A', 100}, {'B', 60}, {'C', 40}}),
         health({loaded('A', 0), loaded('B', .1), loaded('C', .5)}), "", 'B'},
    };
    for (const auto& [name, candidates, measured, table, excluding, expected] : cases)
        EXPECT_EQ(LoadAwarePick::pick(nodes(candidates), measured, table, nodeSet(excluding), node(fallback)),
                  node(expected))
            << name;
}

TEST(FailoverPlannerTest, NextCandidateWrapsAndRestartsFromUnknownAndXhttpIsPreferredWhileOffered) {
    using enum TessaronTransport;
    const FailoverCandidate aTcp{node('A'), tcp}, aXhttp{node('A'), xhttp}, bTcp{node('B'), tcp},
        bXhttp{node('B'), xhttp};
    const QList<FailoverCandidate> plan{aTcp, aXhttp, bTcp};
    EXPECT_EQ(FailoverPlanner::candidate(aXhttp, plan), bTcp);
    EXPECT_EQ(FailoverPlanner::candidate(bTcp, plan), aTcp);
    EXPECT_EQ(FailoverPlanner::candidate(bXhttp, plan), aTcp) << "not in the list: compared by both fields";
    EXPECT_EQ(FailoverPlanner::candidate(aTcp, {}), std::nullopt);

    TessaronProfile profile;
    profile.id = node('A');
    EXPECT_FALSE(FailoverPlanner::prefersXHTTP(aXhttp, profile)) << "the section is gone";
    profile.xhttp = TessaronProfile::XhttpSection{QStringLiteral("/x"), QStringLiteral("a.test")};
    EXPECT_TRUE(FailoverPlanner::prefersXHTTP(aXhttp, profile));
    EXPECT_FALSE(FailoverPlanner::prefersXHTTP(aTcp, profile));
    EXPECT_FALSE(FailoverPlanner::prefersXHTTP(bXhttp, profile)) << "another node";
}

TEST(FailoverPlannerTest, OrdersHealthyNodesFastestFirstThenTheDemoted) {
    const auto order =
        FailoverPlanner::orderedNodes(nodes("ABCDE"), latencies({{'A', 90}, {'B', 10}, {'C', 50}, {'D', 5}}),
                                      health({{'B', false, 10}, {'D', true, 0, true}}), referenceNow());
    EXPECT_EQ(order, nodes("CAEDB"));
}

TEST(FailoverCandidateTest, JsonFormRoundTripsAndRefusesBadValues) {
    const FailoverCandidate candidate{node('J'), TessaronTransport::xhttp};
    EXPECT_EQ(candidate.toJSON(),
              (QJsonObject{{"profileID", "00000000-0000-0000-0000-00000000004A"}, {"transport", "xhttp"}}));
    EXPECT_EQ(FailoverCandidate::fromJSON(candidate.toJSON()), candidate);
    const auto read = [](const char* text) {
        return FailoverCandidate::fromJSON(QJsonDocument::fromJson(text).object());
    };
    EXPECT_EQ(read(R"({"profileID": "00000000-0000-0000-0000-00000000004a", "transport": "tcp"})"),
              (FailoverCandidate{node('J'), TessaronTransport::tcp}));
    EXPECT_THROW(read(R"({"profileID": "00000000-0000-0000-0000-00000000004A", "transport": "udp"})"),
                 JsonDecodingError);
    EXPECT_THROW(read(R"({"profileID": "00000000-0000-0000-0000-00000000004A"})"), JsonDecodingError);
}

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
        EXPECT_EQ(LatencySmoother::smooth(previous, current), expected) << current;
}

TEST(LatencyTierTest, BandsAndTheirStoredNames) {
    using enum LatencyTier;
    const std::tuple<int, LatencyTier, const char*> cases[] = {
        {59, excellent, "excellent"}, {60, good, "good"},  {119, good, "good"},
        {120, fair, "fair"},          {219, fair, "fair"}, {220, poor, "poor"}};
    for (const auto& [milliseconds, tier, raw] : cases)
        EXPECT_EQ(std::tuple(latencyTier(milliseconds), rawValue(tier), latencyTierFromRawValue(raw)),
                  std::tuple(tier, QString::fromLatin1(raw), std::optional(tier)));
    EXPECT_FALSE(latencyTierFromRawValue(QStringLiteral("Good")));
}

TEST(NodeLinkStatusTest, RosterHealthOutranksLatency) {
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
        const auto samples = milliseconds ? latencies({{'A', *milliseconds}}) : LatencyTable{};
        const auto table = entry ? health({*entry}) : NodeHealthTable{};
        EXPECT_EQ(nodeLinkStatus(node('A'), samples, table, referenceNow()), expected) << name;
    }
}
