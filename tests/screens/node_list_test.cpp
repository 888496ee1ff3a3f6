#include "screens/accessible_traits.hpp"
#include "screens/flow_ring.hpp"
#include "screens/home_fixture.hpp"
#include "screens/node_list.hpp"
#include "screens/node_status_pill.hpp"

namespace tessaron::testing {
namespace {

TEST(NodeChoiceMark, AutoRowAndNodeRows) {
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    using M = NodeChoiceMark;
    struct Row {
        bool autoSelect;
        std::optional<QUuid> selected, node;
        M mark;
    };
    const Row rows[] = {
        {true, a, std::nullopt, M::chosen},
        {false, a, std::nullopt, M::notChosen},
        {true, a, a, M::autoChosen},
        {true, a, b, M::notChosen},
        {false, a, a, M::chosen},
        {false, a, b, M::notChosen},
        {false, std::nullopt, a, M::notChosen},
        {true, std::nullopt, a, M::notChosen},
    };
    for (const auto& row : rows)
        EXPECT_EQ(nodeChoiceMark(row.autoSelect, row.selected, row.selected, row.node), row.mark);
}

class NodeListTest : public ::testing::Test {
protected:
    TessaronNodeList& list() {
        return *w.view().findChild<TessaronNodeList*>(QStringLiteral("tessaron.nodeList"));
    }
    QAbstractButton* row(const QString& id) { return w.button(QStringLiteral("tessaron.node.") + id); }
    QString nameOf(const QString& id) {
        return row(id)->findChild<QLabel*>(QStringLiteral("tessaron.node.name"))->text();
    }
    QString subtitle() { return w.find<QLabel>(QStringLiteral("tessaron.node.auto.subtitle"))->text(); }

    HomeWorld w;
};

TEST_F(NodeListTest, AutoRowPicksAndManualRowsSwitchItOff) {
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    ASSERT_TRUE(session.autoSelect());
    EXPECT_TRUE(accessibleTraits(row(QStringLiteral("auto"))).selected);
    EXPECT_EQ(subtitle(), QString::fromUtf8("Using \U0001F1F3\U0001F1F4 Oslo"));
    EXPECT_EQ(row(QStringLiteral("auto"))->accessibleName(), QStringLiteral("Auto, Using Oslo"));
    EXPECT_TRUE(row(QStringLiteral("0"))->accessibleName().contains(QStringLiteral(", in use, ")));
    EXPECT_FALSE(accessibleTraits(row(QStringLiteral("0"))).selected);
    // Identifiers follow the position; names carry flags.
    const auto rows = nodeRows(session);
    ASSERT_EQ(rows.size(), 2);
    const QHash<QString, QString> flagged{
        {QStringLiteral("Tokyo"), QString::fromUtf8("\U0001F1EF\U0001F1F5 Tokyo")},
        {QStringLiteral("Oslo"), QString::fromUtf8("\U0001F1F3\U0001F1F4 Oslo")}};
    for (int position = 0; position < rows.size(); ++position)
        EXPECT_EQ(nameOf(QString::number(position)), flagged.value(rows[position].name));

    w.click(QStringLiteral("tessaron.node.1"));
    EXPECT_FALSE(session.autoSelect());
    EXPECT_EQ(session.selectedID(), w.tokyo.id);
    EXPECT_TRUE(accessibleTraits(row(QStringLiteral("1"))).selected);
    EXPECT_FALSE(accessibleTraits(row(QStringLiteral("auto"))).selected);
    EXPECT_EQ(subtitle(), QStringLiteral("Picks the fastest node"));
}

TEST_F(NodeListTest, OneNodeHasNoAutoRowAndDuplicatesShowOnce) {
    auto twin = TessaronProfile::fromJSON(w.oslo.toJSON());
    twin.id = QUuid::createUuid();
    auto& session = w.startWithRoster({w.oslo, twin});
    w.show();
    EXPECT_EQ(session.summaries().size(), 2);
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.node.auto")), nullptr);
    EXPECT_EQ(w.view().findChild<QWidget*>(QStringLiteral("tessaron.node.1")), nullptr);
    EXPECT_EQ(nodeRows(session).first().id, *session.selectedID());
}

TEST_F(NodeListTest, ALiveLinkLocksTheRowsAndRingsTheCurrentOne) {
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    const auto rings = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w.view().findChildren<TessaronFlowRing*>(QStringLiteral("tessaron.node.flowRing"));
    };
    const auto footer = [&] {
        return w.find(QStringLiteral("tessaron.nodeList.footer"));
    };
    EXPECT_TRUE(footer()->isHidden());

    track(session.connect());
    w.harness.settle();
    ASSERT_EQ(session.phase(), TessaronLinkPhase::connecting);
    EXPECT_FALSE(footer()->isHidden());
    EXPECT_FALSE(row(QStringLiteral("0"))->isEnabled());
    EXPECT_TRUE(rings().isEmpty());

    w.harness.tunnel().setStatus(VpnStatus::connected);
    w.harness.settle();
    ASSERT_EQ(rings().size(), 1);
    EXPECT_EQ(rings().first()->geometry().center(), row(QStringLiteral("0"))->geometry().center());
    const auto rows = nodeRows(session);
    EXPECT_DOUBLE_EQ(nodeRowOpacity(rows[0]), 1.0);
    EXPECT_DOUBLE_EQ(nodeRowOpacity(rows[1]), 0.45);
    // The Auto row still answers while the link is up.
    EXPECT_TRUE(row(QStringLiteral("auto"))->isEnabled());
}

TEST(NodeRowText, HttpFallbackAndLabels) {
    TessaronNodeRowInputs row{
        QUuid::createUuid(), QStringLiteral("Oslo"), NodeLinkStatus::busy, false, false, true, false,
        QStringLiteral("NO")};
    EXPECT_EQ(nodeRowAccessibleLabel(row), QStringLiteral("Oslo, in use, ") + label(NodeLinkStatus::busy));
    EXPECT_DOUBLE_EQ(nodeRowOpacity(row), 1.0);
    row.inUse = false;
    EXPECT_EQ(nodeRowAccessibleLabel(row), QStringLiteral("Oslo, ") + label(NodeLinkStatus::busy));
    EXPECT_DOUBLE_EQ(nodeRowOpacity(row), 0.45);

    const auto name = std::optional(QStringLiteral("Oslo"));
    const auto norway = std::optional(QStringLiteral("NO"));
    const QString flag = QString::fromUtf8("\U0001F1F3\U0001F1F4 ");
    EXPECT_EQ(autoRowSubtitle(true, name, norway, TessaronTransport::xhttp, true),
              QStringLiteral("Using ") + flag + QStringLiteral("Oslo \u00B7 HTTP fallback"));
    EXPECT_EQ(autoRowSubtitle(true, name, norway, TessaronTransport::xhttp, false),
              QStringLiteral("Using Oslo \u00B7 HTTP fallback"));
    EXPECT_EQ(autoRowSubtitle(true, name, std::nullopt, TessaronTransport::tcp, true),
              QStringLiteral("Using Oslo"));
    EXPECT_EQ(autoRowSubtitle(false, name, norway, TessaronTransport::xhttp, true),
              QStringLiteral("Picks the fastest node"));
    EXPECT_EQ(autoRowSubtitle(true, std::nullopt, norway, TessaronTransport::tcp, true),
              QStringLiteral("Picks the fastest node"));
}

} // namespace
} // namespace tessaron::testing
