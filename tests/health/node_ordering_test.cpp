#include "health/failover_planner.hpp"
#include "node_fixtures.hpp"
#include "profiles/decoding_error.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using tessaron::FailoverCandidate;
using tessaron::TessaronTransport;
using namespace tessaron::testing;
namespace FailoverPlanner = tessaron::FailoverPlanner;
namespace FastestPick = tessaron::FastestPick;
namespace LoadAwarePick = tessaron::LoadAwarePick;
namespace NodeHealthOrder = tessaron::NodeHealthOrder;

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
    EXPECT_EQ(FastestPick::ordered(nodes("ABCD"), latencies({{'A', 80}, {'B', 40}, {'D', 40}})),
              nodes("BDAC"));
    EXPECT_EQ(FastestPick::ordered(nodes("CBA"), latencies({{'A', 1}})), nodes("ACB"));
    EXPECT_TRUE(FastestPick::isFaster(node('B'), node('A'), latencies({{'A', 10}})))
        << "a node without a sample counts as 0 ms";
}

TEST(LoadAwarePickTest, FastestWithALoadTieBreak) {
    struct Case {
        const char* name;
        const char* candidates;
        tessaron::LatencyTable latencies;
        tessaron::NodeHealthTable health;
        const char* excluding;
        char expected;
    };
    const auto fallback = 'F';
    const Case cases[] = {
        {"20 ms apart, lower load", "AB", latencies({{'A', 50}, {'B', 70}}),
         health({{'A', true, 0, false, 0.9}, {'B', true, 0, false, 0.2}}), "", 'B'},
        {"31 ms apart", "AB", latencies({{'A', 50}, {'B', 81}}),
         health({{'A', true, 0, false, 0.9}, {'B', true, 0, false, 0.2}}), "", 'A'},
        {"30 ms apart still ties", "AB", latencies({{'A', 50}, {'B', 80}}),
         health({{'A', true, 0, false, 0.9}, {'B', true, 0, false, 0.2}}), "", 'B'},
        {"equal loads keep the faster", "AB", latencies({{'A', 50}, {'B', 70}}),
         health({{'A', true, 0, false, 0.5}, {'B', true, 0, false, 0.5}}), "", 'A'},
        {"missing load counts as 0", "AB", latencies({{'A', 50}, {'B', 70}}),
         health({{'A', true, 0, false, 0.9}}), "", 'B'},
        {"busy skipped", "AB", latencies({{'A', 10}, {'B', 70}}), health({{'A', true, 0, false, {}, true}}),
         "", 'B'},
        {"all measured busy", "ABC", latencies({{'A', 90}, {'B', 20}}),
         health({{'A', true, 0, false, {}, true}, {'B', true, 0, false, {}, true}}), "", 'B'},
        {"nothing measured", "ABC", {}, {}, "", fallback},
        {"all excluded", "AB", latencies({{'A', 10}, {'B', 20}}), {}, "ABF", fallback},
        {"faster later node becomes best", "ABC", latencies({{'A', 100}, {'B', 60}, {'C', 40}}),
         health({{'A', true, 0, false, 0.0}, {'B', true, 0, false, 0.1}, {'C', true, 0, false, 0.5}}), "",
         'B'},
    };
    for (const auto& c : cases) {
        QSet<QUuid> excluding;
        for (const auto& id : nodes(c.excluding))
            excluding.insert(id);
        EXPECT_EQ(LoadAwarePick::pick(nodes(c.candidates), c.latencies, c.health, excluding, node(fallback)),
                  node(c.expected))
            << c.name;
    }
}

TEST(FailoverPlannerTest, NextCandidateWrapsAndRestartsFromUnknown) {
    const FailoverCandidate aTcp{node('A'), TessaronTransport::tcp};
    const FailoverCandidate aXhttp{node('A'), TessaronTransport::xhttp};
    const FailoverCandidate bTcp{node('B'), TessaronTransport::tcp};
    const FailoverCandidate bXhttp{node('B'), TessaronTransport::xhttp};
    const QList<FailoverCandidate> plan{aTcp, aXhttp, bTcp};
    EXPECT_EQ(FailoverPlanner::candidate(aXhttp, plan), bTcp);
    EXPECT_EQ(FailoverPlanner::candidate(bTcp, plan), aTcp);
    EXPECT_EQ(FailoverPlanner::candidate(bXhttp, plan), aTcp) << "not in the list: compared by both fields";
    EXPECT_EQ(FailoverPlanner::candidate(aTcp, {}), std::nullopt);
}

TEST(FailoverPlannerTest, PrefersXhttpOnlyForTheSameNodeThatStillOffersIt) {
    tessaron::TessaronProfile withXhttp;
    withXhttp.id = node('A');
    withXhttp.xhttp = tessaron::TessaronProfile::XhttpSection{QStringLiteral("/x"), QStringLiteral("a.test")};
    tessaron::TessaronProfile withoutXhttp;
    withoutXhttp.id = node('A');
    const FailoverCandidate aXhttp{node('A'), TessaronTransport::xhttp};
    EXPECT_TRUE(FailoverPlanner::prefersXHTTP(aXhttp, withXhttp));
    EXPECT_FALSE(
        FailoverPlanner::prefersXHTTP(FailoverCandidate{node('A'), TessaronTransport::tcp}, withXhttp));
    EXPECT_FALSE(
        FailoverPlanner::prefersXHTTP(FailoverCandidate{node('B'), TessaronTransport::xhttp}, withXhttp));
    EXPECT_FALSE(FailoverPlanner::prefersXHTTP(aXhttp, withoutXhttp)) << "the section is gone";
}

TEST(FailoverPlannerTest, OrdersHealthyNodesFastestFirstThenTheDemoted) {
    const auto order =
        FailoverPlanner::orderedNodes(nodes("ABCDE"), latencies({{'A', 90}, {'B', 10}, {'C', 50}, {'D', 5}}),
                                      health({{'B', false, 10}, {'D', true, 0, true}}), referenceNow());
    EXPECT_EQ(order, nodes("CAEDB"));
}

TEST(FailoverCandidateTest, JsonFormRoundTripsAndRefusesBadValues) {
    const FailoverCandidate candidate{node('J'), TessaronTransport::xhttp};
    const auto json = candidate.toJSON();
    EXPECT_EQ(json,
              (QJsonObject{{"profileID", "00000000-0000-0000-0000-00000000004A"}, {"transport", "xhttp"}}));
    EXPECT_EQ(FailoverCandidate::fromJSON(json), candidate);

    for (const auto* text : {R"({"profileID": "00000000-0000-0000-0000-00000000004A", "transport": "udp"})",
                             R"({"profileID": "00000000-0000-0000-0000-00000000004A"})"})
        EXPECT_THROW(FailoverCandidate::fromJSON(QJsonDocument::fromJson(text).object()),
                     tessaron::JsonDecodingError)
            << text;
    const auto lower = QJsonDocument::fromJson(
        R"({"profileID": "00000000-0000-0000-0000-00000000004a", "transport": "tcp"})");
    EXPECT_EQ(FailoverCandidate::fromJSON(lower.object()),
              (FailoverCandidate{node('J'), TessaronTransport::tcp}));
}
