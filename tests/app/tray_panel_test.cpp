#include "app/tray_icon.hpp"
#include "app/tray_panel.hpp"
#include "screens/home_fixture.hpp"
#include "screens/menu_bar_content.hpp"
#include "support/qt_printers.hpp"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

TEST(TrayPanelGeometry, BesideItsIconInsideTheScreenAndNoTallerThanTheRoomThere) {
    const QRect screen(0, 0, 1280, 800);
    // The screen less a bar of 24 along its bottom that keeps its room for itself.
    const QRect aboveBar(0, 0, 1280, 776);
    const QRect twice(0, 0, 640, 400);
    const QRect bottomRight(1257, 777, 22, 22);
    const QRect topRight(1257, 1, 22, 22);
    const QSize panel(324, 488);
    const QSize tall(324, 1036);
    const std::tuple<const char*, QSize, QRect, QRect, QRect> rows[] = {
        {"above an icon at the bottom", panel, bottomRight, screen, {956, 285, 324, 488}},
        {"below an icon at the top", panel, topRight, screen, {956, 27, 324, 488}},
        {"above a bar that keeps its room", panel, bottomRight, aboveBar, {956, 285, 324, 488}},
        {"taller than the room above the icon", tall, bottomRight, screen, {956, 0, 324, 773}},
        {"taller than the room below the icon", tall, topRight, screen, {956, 27, 324, 773}},
        {"at twice the scale", {324, 688}, {628, 388, 11, 11}, twice, {316, 0, 324, 384}},
        {"centred on an icon far from the corner", panel, {600, 777, 22, 22}, screen, {448, 285, 324, 488}},
        {"beside a tray on the left", panel, {0, 400, 22, 22}, screen, {26, 166, 324, 488}},
        {"beside a tray on the right", tall, {1258, 300, 22, 22}, screen, {930, 0, 324, 800}},
        {"where the tray does not say", tall, {}, aboveBar, {956, 0, 324, 776}},
        {"on a second screen", panel, {2537, 777, 22, 22}, {1280, 0, 1280, 800}, {2236, 285, 324, 488}},
    };
    for (const auto& [what, wanted, anchor, area, expected] : rows) {
        const QRect placed = trayPanelGeometry(wanted, anchor, area);
        EXPECT_EQ(placed, expected) << what;
        EXPECT_TRUE(area.contains(placed)) << what;
        EXPECT_FALSE(placed.intersects(anchor)) << what;
    }
}

// A real session with `count` saved nodes, and the tray whose panel shows them.
struct TrayWorld {
    explicit TrayWorld(int count) {
        while (nodes.size() < count)
            nodes.append(nextNode());
        home.startWithRoster(nodes);
        tray = std::make_unique<TessaronTray>(*home.harness.session, home.account, home.sharedPower);
    }
    TessaronProfile nextNode() const {
        const QString number = QStringLiteral("%1").arg(nodes.size() + 1, 2, 10, QLatin1Char('0'));
        return sampleProfile("Node " + number, "node" + number + ".example.net");
    }
    // A node more on the roster, while the panel is closed.
    void addNode() {
        nodes.append(nextNode());
        home.pullRoster(nodes);
    }
    QWidget* panel() const { return tray->panel(); }
    QScrollArea* list() const {
        return panel()->findChild<QScrollArea*>(QStringLiteral("tessaron.menuBar.nodes"));
    }

    // Every node row at its full height and below the one before it: none squeezed, none drawn over another.
    bool rowsWhole() const {
        QList<QWidget*> rows;
        for (auto* row : list()->widget()->findChildren<QAbstractButton*>())
            if (row->isVisibleTo(list()) && row->objectName().startsWith(QStringLiteral("tessaron.node.")))
                rows.append(row);
        std::ranges::sort(rows, {}, [](const QWidget* row) { return row->y(); });
        for (qsizetype index = 0; index < rows.size(); ++index)
            if (rows[index]->height() < rows[index]->sizeHint().height() ||
                (index > 0 && rows[index]->y() <= rows[index - 1]->geometry().bottom()))
                return false;
        return rows.size() > 1;
    }

    HomeWorld home;
    QList<TessaronProfile> nodes;
    std::unique_ptr<TessaronTray> tray;
};

// Whether `part` shows whole inside the panel, drawn: its place lies within the panel's, and the panel's
// picture there holds more than the background.
bool shownWhole(QWidget& window, const QWidget& part) {
    const QRect place(part.mapTo(&window, QPoint()), part.size());
    if (!part.isVisible() || !window.rect().contains(place))
        return false;
    const QImage drawn = window.grab().toImage().scaled(window.size());
    const QRgb ground = drawn.pixel(window.width() / 2, window.height() - 2);
    int ink = 0;
    for (int y = place.top(); y <= place.bottom(); ++y)
        for (int x = place.left(); x <= place.right(); ++x)
            ink += drawn.pixel(x, y) != ground;
    return ink > place.width();
}

// A first open, and one after the roster grew while the panel was closed. The suite runs this once more
// at twice the scale, where the screen holds 400 × 300.
TEST(TrayPanel, EachOpenIsSizedBeforeItIsPlacedInsideTheScreenAndTheListScrollsWhatDoesNotFit) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const int count : {3, 6, 12}) {
        SCOPED_TRACE(count);
        TrayWorld world(count);
        for (const char* open : {"first open", "a node more since"}) {
            SCOPED_TRACE(open);
            if (std::string_view(open) != "first open")
                world.addNode();
            world.tray->togglePanel();
            QWidget* panel = world.panel();
            // The first frame: nothing has run since the panel was shown.
            const QRect shown = panel->geometry();
            EXPECT_TRUE(world.rowsWhole()) << "the rows stand whole and apart from the first frame on";
            EXPECT_TRUE(area.contains(shown)) << shown.height() << " of " << area.height();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
            world.home.harness.settle();
            EXPECT_EQ(panel->geometry(), shown) << "it keeps the size it was placed with";
            for (const char* part : {"tessaron.menuBar.header", "tessaron.menuBar.primary",
                                     "tessaron.menuBar.open", "tessaron.menuBar.quit"})
                EXPECT_TRUE(shownWhole(*panel, *panel->findChild<QWidget*>(QString::fromLatin1(part))))
                    << part;
            // What does not fit scrolls, under the wheel, down to the last row.
            auto* list = world.list();
            auto* bar = list->verticalScrollBar();
            const bool fits =
                panel->findChild<MenuBarContentView*>()->sizeHint().height() + 4 <= area.height();
            EXPECT_EQ(bar->maximum() > 0, !fits);
            if (!fits) {
                const QPointF middle = QRectF(list->viewport()->rect()).center();
                QWheelEvent wheel(middle, list->viewport()->mapToGlobal(middle), {}, {0, -120}, Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(list->viewport(), &wheel);
                EXPECT_GT(bar->value(), 0);
                bar->setValue(bar->maximum());
                const auto* last = list->widget()->findChild<QWidget*>(
                    QStringLiteral("tessaron.node.%1").arg(world.nodes.size() - 1));
                EXPECT_TRUE(list->viewport()->rect().contains(
                    QRect(last->mapTo(list->viewport(), QPoint()), last->size())));
                bar->setValue(0);
            }
            world.tray->togglePanel();
            EXPECT_FALSE(panel->isVisible());
        }
    }
}

} // namespace
} // namespace tessaron::testing
