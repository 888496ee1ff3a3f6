#include "session/summary_order.hpp"

#include <gtest/gtest.h>

using tessaron::distinctSummaries;
using tessaron::sortSummaries;
using tessaron::TessaronProfileSummary;

namespace {

QUuid id(const char* text) {
    return QUuid::fromString(QString::fromLatin1(text));
}

TessaronProfileSummary summary(const char* uuid, const char* name, const char* server = "node.example",
                               int port = 443) {
    TessaronProfileSummary s;
    s.id = id(uuid);
    s.name = QString::fromUtf8(name);
    s.server = QString::fromUtf8(server);
    s.port = port;
    return s;
}

QStringList idsOf(const QList<TessaronProfileSummary>& summaries) {
    QStringList ids;
    for (const auto& s : summaries)
        ids.append(s.id.toString(QUuid::WithoutBraces).left(8));
    return ids;
}

} // namespace

TEST(SummaryOrderTest, SortsByNameIgnoringCaseThenById) {
    QList<TessaronProfileSummary> summaries{
        summary("30000000-0000-0000-0000-000000000000", "beta"),
        summary("b0000000-0000-0000-0000-000000000000", "Alpha"),
        summary("a0000000-0000-0000-0000-000000000000", "alpha"),
        summary("20000000-0000-0000-0000-000000000000", "Gamma"),
        summary("10000000-0000-0000-0000-000000000000", "gamma"),
    };
    sortSummaries(summaries);
    EXPECT_EQ(idsOf(summaries), (QStringList{"a0000000", "b0000000", "30000000", "10000000", "20000000"}));

    // The order does not depend on the order they came in.
    std::reverse(summaries.begin(), summaries.end());
    sortSummaries(summaries);
    EXPECT_EQ(idsOf(summaries), (QStringList{"a0000000", "b0000000", "30000000", "10000000", "20000000"}));
}

TEST(SummaryOrderTest, DistinctKeepsOneSummaryPerEndpoint) {
    const auto first = summary("10000000-0000-0000-0000-000000000000", "Tokyo", "JP.example", 443);
    const auto sameEndpoint = summary("20000000-0000-0000-0000-000000000000", "tokyo", "jp.EXAMPLE", 443);
    const auto otherPort = summary("30000000-0000-0000-0000-000000000000", "Tokyo", "jp.example", 8443);
    const auto other = summary("40000000-0000-0000-0000-000000000000", "Oslo", "no.example", 443);
    const QList<TessaronProfileSummary> all{first, other, sameEndpoint, otherPort};

    struct Case {
        const char* name;
        std::optional<QUuid> preferred;
        QStringList expected;
    };
    const Case cases[] = {
        {"no preference keeps the first", std::nullopt, {"10000000", "40000000", "30000000"}},
        {"the preferred one stands in at the group's place",
         sameEndpoint.id,
         {"20000000", "40000000", "30000000"}},
        {"a preference outside any group changes nothing",
         id("{99999999-0000-0000-0000-000000000000}"),
         {"10000000", "40000000", "30000000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(idsOf(distinctSummaries(all, c.preferred)), c.expected);
    }
    EXPECT_TRUE(distinctSummaries({}, std::nullopt).isEmpty());
}
