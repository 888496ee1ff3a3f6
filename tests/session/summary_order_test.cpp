#include "session/summary_order.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

// A summary whose id starts with `tag`, the tag being how the checks name it.
TessaronProfileSummary summary(char tag, const char* name, const char* server = "node.example",
                               int port = 443) {
    const auto id = QUuid::fromString(QString(tag) + QStringLiteral("0000000-0000-0000-0000-000000000000"));
    return {id, 0, QString::fromUtf8(name), QString::fromUtf8(server), port};
}

QString tagsOf(const QList<TessaronProfileSummary>& summaries) {
    QString tags;
    for (const auto& s : summaries)
        tags.append(s.id.toString(QUuid::WithoutBraces).front());
    return tags;
}

} // namespace

TEST(SummaryOrderTest, SortsByNameIgnoringCaseThenByIdWhateverTheOrderTheyCameIn) {
    QList<TessaronProfileSummary> summaries{summary('3', "beta"), summary('b', "Alpha"),
                                            summary('a', "alpha"), summary('2', "Gamma"),
                                            summary('1', "gamma")};
    for (int pass = 0; pass < 2; ++pass) {
        sortSummaries(summaries);
        EXPECT_EQ(tagsOf(summaries), QStringLiteral("ab312"));
        std::reverse(summaries.begin(), summaries.end());
    }
}

TEST(SummaryOrderTest, DistinctKeepsOneSummaryPerEndpointThePreferredOneAtTheGroupsPlace) {
    const QList<TessaronProfileSummary> all{
        summary('1', "Tokyo", "JP.example"), summary('4', "Oslo", "no.example"),
        summary('2', "tokyo", "jp.EXAMPLE"), summary('3', "Tokyo", "jp.example", 8443)};
    const std::pair<std::optional<QUuid>, const char*> cases[] = {
        {std::nullopt, "143"}, {all[2].id, "243"}, {QUuid::createUuid(), "143"}};
    for (const auto& [preferred, expected] : cases)
        EXPECT_EQ(tagsOf(distinctSummaries(all, preferred)), QString::fromLatin1(expected)) << expected;
    EXPECT_TRUE(distinctSummaries({}, std::nullopt).isEmpty());
}
