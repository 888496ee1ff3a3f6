#include "screens/fake_update_state.hpp"
#include "screens/home_fixture.hpp"
#include "screens/menu_bar_content.hpp"
#include "screens/node_list.hpp"
#include "screens/reader_view.hpp"
#include "screens/settings_sheet.hpp"
#include "support/fake_workspace.hpp"
#include "support/qt_printers.hpp"
#include "widgets/scroll_area_accessible.hpp"

#include <QTest>
#include <QVBoxLayout>

#include <functional>

namespace tessaron::testing {
namespace {

// What a reader meets that it should not: elements without a name, and elements read against the screen's
// order.
std::pair<QStringList, QStringList> readingFaults(QWidget& root) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents();
    const auto read = readElements(root);
    return {readWithoutName(read), readAgainstScreenOrder(read)};
}

const std::pair<QStringList, QStringList> noFaults;

// Nodes that arrive after the others (a second roster, an invitation) and a renamed node take their places
// among the rows: readers meet the rows as the screen lists them, by name, and not in the order they were
// made. The whole main column reads top to bottom, every element named, with a long address and a message
// with its suggestion.
TEST(ReadingOrder, TheMainColumnReadsAsTheScreenShowsItEveryElementNamed) {
    installScrollAreaAccessible();
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.account.set(true,
                  QStringLiteral("ada.lovelace.countess.of.lovelace.analyticaengine@mathematics-club.org"));
    w.show();
    auto aachen = w.tokyo;
    aachen.name = QStringLiteral("Aachen Relay With A Name Long Enough To Be Cut In The Row");
    const auto roster = [&](const QList<TessaronProfile>& nodes) {
        return [&w, nodes] {
            w.pullRoster(nodes);
        };
    };
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"as started",
         [] {
         }},
        {"nodes arrived later", roster({sampleProfile(QStringLiteral("Amsterdam")), w.oslo,
                                        sampleProfile(QStringLiteral("Bergen")), w.tokyo})},
        {"a node renamed to the top", roster({w.oslo, aachen})},
        {"a message with a suggestion",
         [&] {
             session.setLastError(QStringLiteral("That node did not answer."));
             session.setSuggestedNodeID(aachen.id);
         }},
    };
    for (const auto& [step, act] : steps) {
        act();
        EXPECT_EQ(readingFaults(w.view()), noFaults) << step;
    }
    EXPECT_EQ(w.rowsFromTop().first(),
              QStringLiteral("Aachen Relay With A Name Long Enough To Be Cut In The Row").section(u' ', -1));
}

// The tray panel lists the nodes through the same list: its rows read in the screen's order too.
TEST(ReadingOrder, TheTrayPanelsNodesReadAsTheScreenShowsThem) {
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    MenuBarContentView panel(session, w.account, w.sharedPower);
    panel.show();
    w.pullRoster({sampleProfile(QStringLiteral("Amsterdam")), w.oslo, sampleProfile(QStringLiteral("Bergen")),
                  w.tokyo});
    auto* nodes = panel.findChild<TessaronNodeList*>();
    ASSERT_NE(nodes, nullptr);
    EXPECT_EQ(readElements(*nodes).size(), 6) << "the heading, Auto and four nodes";
    EXPECT_EQ(readingFaults(*nodes), noFaults);
}

// Tab goes from control to control, each named: never onto the main column or the Settings form that holds
// them, also while connected, when the rows are locked. Settings reads top to bottom, its
// About header before its rows.
TEST(TabOrder, GoesFromControlToControlInTheMainColumnAndSettings) {
    installScrollAreaAccessible();
    HomeWorld w;
    auto& session = w.startWithRoster({w.oslo, w.tokyo});
    w.show();
    w.view().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.view()));
    const auto names = [](const QList<QWidget*>& stops) {
        QStringList named;
        for (QWidget* stop : stops)
            named.append(QAccessible::queryAccessibleInterface(stop)->text(QAccessible::Name));
        return named;
    };
    const auto disconnected = tabRound(w.view());
    EXPECT_EQ(std::pair(names(disconnected).size(), containerStops(disconnected)),
              std::pair(qsizetype(4), QStringList()))
        << names(disconnected).join(u'|').toStdString();
    w.harness.connectFully();
    const auto connected = tabRound(w.view());
    EXPECT_EQ(std::pair(names(connected).contains(QString()), containerStops(connected)),
              std::pair(false, QStringList()))
        << names(connected).join(u'|').toStdString();

    FakeUpdateState updates;
    FakeWorkspace workspace;
    QWidget window;
    window.resize(520, 560);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new TessaronSettingsSheet(session, updates, {}, workspace, &window));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    if (!window.focusWidget())
        QTest::keyClick(&window, Qt::Key_Tab);
    const auto settings = tabRound(window);
    EXPECT_EQ(std::pair(names(settings).contains(QStringLiteral("Connection log")), containerStops(settings)),
              std::pair(true, QStringList()))
        << names(settings).join(u'|').toStdString();
    EXPECT_EQ(readingFaults(window), noFaults);
}

} // namespace
} // namespace tessaron::testing
