#include "health/failover_planner.hpp"
#include "node_fixtures.hpp"
#include "profiles/decoding_error.hpp"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using tessaron::FailoverCandidate;
using tessaron::TessaronTransport;
using namespace tessaron::testing;
namespace FailoverPlanner = tessaron::FailoverPlanner;
namespace FastestPick = tessaron::FastestPick;
namespace LoadAwarePick = tessaron::LoadAwarePick;
namespace NodeHealthOrder = tessaron::NodeHealthOrder;

TEST(NodeHealthOrderTest, DemotesLiveDownReportsAndPausedNodes) {
    struct Case {
        const char* name;
        HealthEntry entry;
        bool demoted;
    };
    const Case cases[] = {
        {"up", {'A', true, 30}, false},
        {"down 599 s ago", {'A', false, 599}, true},
        {"down 600 s ago", {'A', false, 600}, false},
        {"down, checked in the future", {'A', false, -120}, true},
        {"paused and up", {'A', true, 0, true}, true},
        {"busy", {'A', true, 0, false, 0.9, true}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto split = NodeHealthOrder::partition(nodes("BAC"), health({c.entry}), referenceNow());
        EXPECT_EQ(split.demoted, c.demoted ? nodes("A") : nodes(""));
        EXPECT_EQ(split.kept, c.demoted ? nodes("BC") : nodes("BAC")) << "input order is kept";
    }
}

TEST(FastestPickTest, MeasuredByMillisecondsThenUnmeasured) {
    struct Case {
        const char* ids;
        tessaron::LatencyTable latencies;
        const char* expected;
    };
    const Case cases[] = {
        {"ABCD", latencies({{'A', 80}, {'B', 40}, {'D', 40}}), "BDAC"},
        {"ABC", {}, "ABC"},
        {"CBA", latencies({{'A', 1}}), "ACB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FastestPick::ordered(nodes(c.ids), c.latencies), nodes(c.expected)) << c.ids;
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
        {"equal loads", "AB", latencies({{'A', 50}, {'B', 70}}),
         health({{'A', true, 0, false, 0.5}, {'B', true, 0, false, 0.5}}), "", 'A'},
        {"missing load counts as 0", "AB", latencies({{'A', 50}, {'B', 70}}),
         health({{'A', true, 0, false, 0.9}}), "", 'B'},
        {"busy skipped", "AB", latencies({{'A', 10}, {'B', 70}}), health({{'A', true, 0, false, {}, true}}),
         "", 'B'},
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

TEST(FailoverPlannerTest, CandidatesAreNodeMajorWithXhttpOnlyWhereOffered) {
    const QList<FailoverCandidate> expected{{node('A'), TessaronTransport::tcp},
                                            {node('A'), TessaronTransport::xhttp},
                                            {node('B'), TessaronTransport::tcp}};
    EXPECT_EQ(FailoverPlanner::candidates({{node('A'), true}, {node('B'), false}}), expected);
    EXPECT_EQ(
        FailoverPlanner::candidates({{node('A'), true}}, {TessaronTransport::xhttp, TessaronTransport::tcp}),
        (QList<FailoverCandidate>{{node('A'), TessaronTransport::xhttp},
                                  {node('A'), TessaronTransport::tcp}}));
    EXPECT_TRUE(FailoverPlanner::candidates({}).isEmpty());
}

TEST(FailoverPlannerTest, NextCandidateWrapsAndRestartsFromUnknown) {
    const FailoverCandidate aTcp{node('A'), TessaronTransport::tcp};
    const FailoverCandidate aXhttp{node('A'), TessaronTransport::xhttp};
    const FailoverCandidate bTcp{node('B'), TessaronTransport::tcp};
    const FailoverCandidate bXhttp{node('B'), TessaronTransport::xhttp};
    const QList<FailoverCandidate> plan{aTcp, aXhttp, bTcp};
    struct Case {
        FailoverCandidate current;
        QList<FailoverCandidate> list;
        std::optional<FailoverCandidate> next;
    };
    const Case cases[] = {
        {aTcp, plan, aXhttp}, {aXhttp, plan, bTcp},
        {bTcp, plan, aTcp},   {bXhttp, plan, aTcp}, // not in the list: compared by both fields
        {aTcp, {aTcp}, aTcp}, {aTcp, {}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailoverPlanner::candidate(c.current, c.list), c.next);
}

TEST(FailoverPlannerTest, PrefersXhttpOnlyForTheSameNodeThatStillOffersIt) {
    tessaron::TessaronProfile withXhttp;
    withXhttp.id = node('A');
    withXhttp.xhttp = tessaron::TessaronProfile::XhttpSection{QStringLiteral("/x"), QStringLiteral("a.test")};
    tessaron::TessaronProfile withoutXhttp;
    withoutXhttp.id = node('A');
    struct Case {
        const char* name;
        std::optional<FailoverCandidate> lastGood;
        const tessaron::TessaronProfile& profile;
        bool expected;
    };
    const Case cases[] = {
        {"last worked over xhttp", FailoverCandidate{node('A'), TessaronTransport::xhttp}, withXhttp, true},
        {"last worked over tcp", FailoverCandidate{node('A'), TessaronTransport::tcp}, withXhttp, false},
        {"another node", FailoverCandidate{node('B'), TessaronTransport::xhttp}, withXhttp, false},
        {"nothing stored", std::nullopt, withXhttp, false},
        {"section gone", FailoverCandidate{node('A'), TessaronTransport::xhttp}, withoutXhttp, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailoverPlanner::prefersXHTTP(c.lastGood, c.profile), c.expected) << c.name;
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
    EXPECT_EQ(json.value(QStringLiteral("profileID")).toString(),
              QStringLiteral("00000000-0000-0000-0000-00000000004A"));
    EXPECT_EQ(json.value(QStringLiteral("transport")).toString(), QStringLiteral("xhttp"));
    EXPECT_EQ(json.size(), 2);
    EXPECT_EQ(FailoverCandidate::fromJSON(json), candidate);

    const char* refused[] = {
        R"({"profileID": "00000000-0000-0000-0000-00000000004A", "transport": "udp"})",
        R"({"profileID": "00000000-0000-0000-0000-00000000004A"})",
        R"(["00000000-0000-0000-0000-00000000004A", "tcp"])",
    };
    for (const auto* text : refused) {
        const auto document = QJsonDocument::fromJson(text);
        const QJsonValue value =
            document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
        EXPECT_THROW(FailoverCandidate::fromJSON(value), tessaron::JsonDecodingError) << text;
    }
    const auto lower = QJsonDocument::fromJson(
        R"({"profileID": "00000000-0000-0000-0000-00000000004a", "transport": "tcp"})");
    EXPECT_EQ(FailoverCandidate::fromJSON(lower.object()),
              (FailoverCandidate{node('J'), TessaronTransport::tcp}));
}
