#include "session/node_tables.hpp"

#include "profiles/profile.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

QUuid node(int n) {
    return QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

TessaronNodeHealth health(bool up) {
    TessaronNodeHealth h;
    h.up = up;
    h.checkedAt = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    return h;
}

TessaronNodeGeo geo(const char* country) {
    TessaronNodeGeo g;
    g.country = QString::fromLatin1(country);
    return g;
}

TessaronProfile profileWithID(const QUuid& id) {
    TessaronProfile profile;
    profile.id = id;
    return profile;
}

const QUuid primary = node(1);
const QUuid a = node(2), b = node(3), c = node(4), d = node(5);

} // namespace

TEST(NodeTablesTest, AReplyReplacesExactlyItsOwnGroup) {
    const auto up = health(true), down = health(false);
    const NodeTables current{
        {{primary, up}, {a, down}, {b, down}, {c, up}, {d, up}},
        {{primary, geo("PP")}, {a, geo("AA")}, {c, geo("CC")}, {d, geo("DD")}},
    };
    TessaronRosterResponse reply;
    reply.profiles = {profileWithID(a), profileWithID(b)};
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
