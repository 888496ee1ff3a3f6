#include "session/node_tables.hpp"

#include "profiles/profile.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

QUuid node(int n) {
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

TessaronNodeGeo geo(const char* country) {
    return {QString::fromLatin1(country), std::nullopt, std::nullopt, TessaronNodeGeo::Purpose::exit};
}

const QUuid primary = node(1), a = node(2), b = node(3), c = node(4), d = node(5);

} // namespace

TEST(NodeTablesTest, AReplyReplacesExactlyItsOwnGroup) {
    // Up or down, checked at no particular time.
    const TessaronNodeHealth up{true, {}, false, std::nullopt, std::nullopt, false}, down{};
    const NodeTables current{
        {{primary, up}, {a, down}, {b, down}, {c, up}, {d, up}},
        {{primary, geo("PP")}, {a, geo("AA")}, {c, geo("CC")}, {d, geo("DD")}},
    };
    TessaronRosterResponse reply;
    reply.profiles.resize(2);
    reply.profiles[0].id = a;
    reply.profiles[1].id = b;
    // The reply may also speak of a node outside the group; where both sides have an entry, the reply wins.
    reply.health = {{a, up}, {b, up}, {d, down}};
    reply.geo = {{b, geo("BB")}};

    // C is managed by the primary, D belongs to another primary; the primary itself is in its own group.
    EXPECT_EQ(adoptRosterNodeTables(current, reply, primary, {c}),
              (NodeTables{{{a, up}, {b, up}, {d, down}}, {{b, geo("BB")}, {d, geo("DD")}}}));
    EXPECT_EQ(adoptRosterNodeTables(current, TessaronRosterResponse{}, primary, {a, b, c}),
              (NodeTables{{{d, up}}, {{d, geo("DD")}}}))
        << "an empty reply clears the whole group";
}
