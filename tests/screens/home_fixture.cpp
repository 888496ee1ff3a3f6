#include "screens/home_fixture.hpp"

#include "screens/flow_ring.hpp"
#include "widgets/string_table.hpp"

#include <QCoreApplication>

#include <algorithm>

namespace tessaron::testing {

TessaronSession& HomeWorld::startWithRoster(const QList<TessaronProfile>& nodes) {
    auto& session = harness.startSelected({nodes.first()});
    pullRoster(nodes);
    session.select(nodes.first().id);
    harness.settle();
    return session;
}

void HomeWorld::pullRoster(const QList<TessaronProfile>& nodes) {
    TessaronRosterResponse roster;
    roster.profiles = nodes;
    const TessaronNodeGeo norway{QStringLiteral("NO"), 59.9, 10.7, TessaronNodeGeo::Purpose::exit};
    const TessaronNodeGeo japan{QStringLiteral("JP"), 35.7, 139.7, TessaronNodeGeo::Purpose::exit};
    for (const auto& node : nodes) {
        roster.health.insert(node.id,
                             TessaronNodeHealth{true, harness.clock.now(), false, std::nullopt, 0.5, false});
        roster.geo.insert(node.id, node.name == QStringLiteral("Tokyo") ? japan : norway);
    }
    roster.clientGeo = TessaronClientGeo{QStringLiteral("DE"), QStringLiteral("Berlin"), 52.5, 13.4};
    harness.pairing.setRoster(nodes.first().id, roster);
    track(harness.session->pullRoster(nodes.first().id));
    harness.settle();
}

HomeWorld::HomeWorld() {
    static const bool installed = installStringTable(*QCoreApplication::instance());
    EXPECT_TRUE(installed);
}

TessaronHomeView& HomeWorld::view() {
    if (!home) {
        if (!harness.session)
            harness.start();
        home = std::make_unique<TessaronHomeView>(
            TessaronHomeServices{*harness.session, account, power, sharedPower, *harness.activation});
    }
    return *home;
}

void HomeWorld::click(const QString& name) {
    auto* target = button(name);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->isEnabled()) << name.toStdString();
    target->click();
    harness.settle();
}

QStringList HomeWorld::ringedRows() {
    QStringList rows;
    for (const auto* ring : view().findChildren<TessaronFlowRing*>(QStringLiteral("tessaron.node.flowRing")))
        if (ring->isVisible())
            rows.append(ring->parentWidget()->childAt(ring->geometry().center())->objectName());
    return rows;
}

QStringList HomeWorld::rowsFromTop() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QList<QWidget*> rows;
    for (auto* label : view().findChildren<QWidget*>(QStringLiteral("tessaron.node.name")))
        if (label->isVisibleTo(&view()))
            rows.append(label);
    std::ranges::sort(rows, {}, [this](const QWidget* row) { return row->mapTo(&view(), QPoint()).y(); });
    QStringList names;
    for (const auto* row : rows)
        names.append(static_cast<const QLabel*>(row)->text().section(u' ', -1));
    return names;
}

void HomeWorld::show() {
    view().resize(480, 600);
    view().show();
    harness.settle();
}

} // namespace tessaron::testing
