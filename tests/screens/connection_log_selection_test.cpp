#include "profiles/connection_log.hpp"
#include "screens/connection_log_list.hpp"
#include "screens/connection_log_model.hpp"
#include "screens/connection_log_row_text.hpp"
#include "screens/connection_log_view.hpp"
#include "screens/screen_capture.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"
#include "support/qt_printers.hpp"
#include "widgets/page_bar.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

// A log page of two rows, newest first: "tunnel status: connected", then "connect tapped".
struct LogPage {
    MemoryPreferences preferences;
    ManualClock clock;
    TessaronConnectionLog log{preferences, clock};
    std::unique_ptr<TessaronConnectionLogView> view;
    TessaronConnectionLogList* list = nullptr;

    LogPage() {
        for (const char* line : {"connect tapped", "tunnel status: connected"}) {
            clock.advance(1s);
            log.append(QString::fromLatin1(line));
        }
        view = std::make_unique<TessaronConnectionLogView>(log);
        view->resize(520, 300);
        view->show();
        QApplication::setActiveWindow(view.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(view.get()));
        list = view->findChild<TessaronConnectionLogList*>();
    }

    QWidget* rows() const { return list->viewport(); }
    TessaronConnectionLogRowText* rowText() const { return view->findChild<TessaronConnectionLogRowText*>(); }
    QModelIndex row(int fromTop) const { return list->model()->index(fromTop, 0); }
    QRect textBox(int fromTop) const { return list->rowDelegate().textBox(list->visualRect(row(fromTop))); }
    // Where, in the rows' viewport, the text of a row is cut after `characters` characters.
    QPoint afterCharacters(int fromTop, int characters) const {
        const QFontMetrics metrics(list->rowDelegate().font());
        const QRect box = textBox(fromTop);
        return {box.left() + metrics.horizontalAdvance(QString(characters, u'm')), box.center().y()};
    }
    void drag(QPoint from, QPoint to) const {
        QTest::mousePress(rows(), Qt::LeftButton, {}, from);
        QTest::mouseMove(rows(), (from + to) / 2);
        QTest::mouseMove(rows(), to);
        QTest::mouseRelease(rows(), Qt::LeftButton, {}, to);
    }
    // A double click as the window delivers it where the editor does not lie yet: the first press and
    // release go to the rows, the second press, by then over the editor the first laid there, goes to the
    // editor as a plain press.
    void doubleClickOverNoEditor(QPoint at) const {
        deliver(rows(), QEvent::MouseButtonPress, at, 1000);
        deliver(rows(), QEvent::MouseButtonRelease, at, 1050);
        QWidget* text = rowText()->viewport();
        deliver(text, QEvent::MouseButtonPress, text->mapFrom(rows(), at), 1150);
        deliver(text, QEvent::MouseButtonRelease, text->mapFrom(rows(), at), 1200);
    }
    static void deliver(QWidget* to, QEvent::Type type, QPoint at, quint64 timestamp) {
        const auto held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, at, to->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        event.setTimestamp(timestamp);
        QSpontaneKeyEvent::setSpontaneous(&event);
        QApplication::instance()->notify(to, &event);
    }
    void keyboardOn(int fromTop) const {
        list->setFocus();
        list->selectionModel()->setCurrentIndex(row(fromTop), QItemSelectionModel::NoUpdate);
    }
    QString focusName() const {
        auto* focus = QApplication::focusWidget();
        return focus ? focus->objectName() : QString();
    }
};

// What a person's gesture leaves: the clipboard after Ctrl+C, the rows selected whole, and where the focus
// is. The clipboard holds "earlier" before each gesture.
struct Left {
    QString clipboard;
    int rowsSelected;
    QString focus;
    bool operator==(const Left&) const = default;
};

void PrintTo(const Left& left, std::ostream* out) {
    *out << "{" << left.clipboard.toStdString() << ", " << left.rowsSelected << ", "
         << left.focus.toStdString() << "}";
}

// The row time of the entry logged `seconds` after the manual clock's start, and the space after it.
QString stamp(int seconds) {
    ManualClock clock;
    clock.advance(seconds * 1s);
    return clock.now().toLocalTime().toString(QStringLiteral("HH:mm:ss "));
}

TEST(ConnectionLogSelection, TextIsSelectedInPartRowsWholeOnTheirTimeAndCopyNeverEmptiesTheClipboard) {
    const QString list = QStringLiteral("tessaron.connectionLog.list");
    const QString text = QStringLiteral("tessaron.connectionLog.text");
    const std::tuple<const char*, std::function<void(LogPage&)>, Left> gestures[] = {
        {"a drag over the first word of the newest row",
         [](LogPage& page) {
             page.drag(page.afterCharacters(0, 0) + QPoint(1, 0), page.afterCharacters(0, 6));
         },
         {"tunnel", 0, text}},
        {"a double click on a word",
         [](LogPage& page) {
             QTest::mouseDClick(page.rows(), Qt::LeftButton, {}, page.afterCharacters(1, 2));
         },
         {"connect", 0, text}},
        {"a double click on a word of a row no editor lay over",
         [](LogPage& page) { page.doubleClickOverNoEditor(page.afterCharacters(1, 2)); },
         {"connect", 0, text}},
        {"a click on the text, nothing dragged",
         [](LogPage& page) {
             QTest::mouseClick(page.rows(), Qt::LeftButton, {}, page.afterCharacters(0, 3));
         },
         {"earlier", 0, text}},
        {"a click on the time, then Shift+Down",
         [](LogPage& page) {
             const QRect time = page.list->rowDelegate().timeRect(page.list->visualRect(page.row(0)));
             QTest::mouseClick(page.rows(), Qt::LeftButton, {}, time.center());
             QTest::keyClick(page.list, Qt::Key_Down, Qt::ShiftModifier);
         },
         {stamp(1) + "connect tapped\n" + stamp(2) + "tunnel status: connected", 2, list}},
        {"the keyboard on a row, nothing selected",
         [](LogPage& page) { page.keyboardOn(1); },
         {"earlier", 0, list}},
        {"Return on the keyboard's row, then Shift+End",
         [](LogPage& page) {
             page.keyboardOn(1);
             QTest::keyClick(page.list, Qt::Key_Return);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_End, Qt::ShiftModifier);
         },
         {"connect tapped", 0, text}},
        {"Return on the keyboard's row, then Escape",
         [](LogPage& page) {
             page.keyboardOn(1);
             QTest::keyClick(page.list, Qt::Key_Return);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
         },
         {"earlier", 0, list}},
    };
    for (const auto& [gesture, act, expected] : gestures) {
        LogPage page;
        QGuiApplication::clipboard()->setText(QStringLiteral("earlier"));
        act(page);
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::Copy);
        EXPECT_EQ((Left{QGuiApplication::clipboard()->text(),
                        int(page.list->selectionModel()->selectedRows().size()), page.focusName()}),
                  expected)
            << gesture;
    }
}

// What a person sees of a part selected: the highlight over the selected characters alone, on the row
// they were dragged over, which keeps it while new lines come in above. Every row carries its identifier,
// and the editor reads as its row's text.
TEST(ConnectionLogSelection, TheSelectedPartIsHighlightedOnItsRowAndStaysWithItAsLinesComeIn) {
    LogPage page;
    page.drag(page.afterCharacters(0, 0) + QPoint(1, 0), page.afterCharacters(0, 6));
    const int lineHeight = QFontMetrics(page.list->rowDelegate().font()).height();
    // The darkest and the brightest grey over the first line of a row's text, from one character to another.
    const auto greys = [&](const QImage& shown, int fromTop, int from, int to) {
        const QRect box = page.textBox(fromTop);
        std::pair<int, int> found{255, 0};
        for (int y = box.top() + 1; y < box.top() + lineHeight - 1; ++y)
            for (int x = page.afterCharacters(fromTop, from).x() + 1;
                 x < page.afterCharacters(fromTop, to).x() - 1; ++x) {
                const int grey = qGray(shown.pixel(x, y));
                found = {std::min(found.first, grey), std::max(found.second, grey)};
            }
        return found;
    };
    const auto check = [&](int fromTop, const char* picture) {
        const QImage shown = capture(*page.rows(), page.rows()->size(), QString::fromLatin1(picture));
        // Selected: no pixel is left black. Unselected: black around legible white text.
        const auto [selectedDarkest, selectedBrightest] = greys(shown, fromTop, 0, 6);
        const auto [restDarkest, restBrightest] = greys(shown, fromTop, 7, 14);
        const bool selectedLit = selectedDarkest > 40;
        const bool restBlack = restDarkest < 10;
        const bool restLegible = restBrightest > 140;
        EXPECT_EQ(std::tuple(selectedLit, restBlack, restLegible), std::tuple(true, true, true))
            << picture << ": " << selectedDarkest << " " << restDarkest << " " << restBrightest;
        EXPECT_EQ(std::pair(page.rowText()->geometry(), page.rowText()->textCursor().selectedText()),
                  std::pair(page.textBox(fromTop), QStringLiteral("tunnel")))
            << picture;
    };
    check(0, "connection-log-part-selected");
    page.clock.advance(1s);
    page.log.append(QStringLiteral("signed in"));
    QCoreApplication::processEvents();
    check(1, "connection-log-part-selected-after-a-new-line");

    QStringList identifiers;
    for (int index = 0; index < page.list->model()->rowCount(); ++index)
        identifiers << page.row(index).data(TessaronConnectionLogModel::IdentifierRole).toString();
    EXPECT_EQ(identifiers, QStringList(3, QStringLiteral("tessaron.connectionLog.entry")));
    // Readers meet the editor in the list, as a label named by its row, whose text and selection they read.
    auto* reader = QAccessible::queryAccessibleInterface(page.rowText());
    QAccessibleTextInterface* text = reader->textInterface();
    ASSERT_NE(text, nullptr);
    int selectedFrom = -1, selectedTo = -1;
    text->selection(0, &selectedFrom, &selectedTo);
    EXPECT_EQ(std::tuple(reader->role(), reader->text(QAccessible::Name), reader->parent()->object(),
                         text->text(0, text->characterCount()), text->text(selectedFrom, selectedTo)),
              std::tuple(QAccessible::StaticText, stamp(2) + "tunnel status: connected",
                         static_cast<QObject*>(page.list), QStringLiteral("tunnel status: connected"),
                         QStringLiteral("tunnel")));
}

// A turn of the wheel over `at` in the rows, delivered as the window system delivers it: to the widget under
// the pointer, and on to its parents while none of them takes it.
void turnWheel(QWidget* rows, QPoint at, int notches) {
    QWidget* under = rows->childAt(at) ? rows->childAt(at) : rows;
    const QPointF local = under->mapFrom(rows, QPointF(at));
    QWheelEvent wheel(local, under->mapToGlobal(local), {}, QPoint(0, -120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(under, &wheel);
}

// Over the row whose text is being selected, the wheel and the page keys scroll the list as over any row, and
// nothing scrolls the text inside its row: the editor keeps no scroll range of its own.
TEST(ConnectionLogSelection, TheWheelAndThePageKeysOverTheRowBeingSelectedScrollTheListNeverItsText) {
    using Gesture = std::function<void(LogPage&, QPoint)>;
    const auto key = [](Qt::Key pressed) {
        return [pressed](LogPage&, QPoint) {
            QTest::keyClick(QApplication::focusWidget(), pressed);
        };
    };
    // The gesture, made with the editor open over a row half way down, and which way the list scrolls.
    const std::tuple<const char*, Gesture, int> gestures[] = {
        {"the wheel turned down", [](LogPage& page, QPoint on) { turnWheel(page.rows(), on, 1); }, 1},
        {"the wheel turned up", [](LogPage& page, QPoint on) { turnWheel(page.rows(), on, -1); }, -1},
        {"Page Down", key(Qt::Key_PageDown), 1},
        {"Page Up", key(Qt::Key_PageUp), -1},
        {"a drag from the text far past its foot",
         [](LogPage& page, QPoint on) { page.drag(on, on + QPoint(0, 120)); }, 0},
    };
    for (const auto& [gesture, act, direction] : gestures) {
        LogPage page;
        for (int line = 0; line < 40; ++line) {
            page.clock.advance(1s);
            page.log.append(QStringLiteral("route %1 added through the tunnel's own interface, then checked "
                                           "again against the node's answer")
                                .arg(line));
        }
        QCoreApplication::processEvents();
        QScrollBar* list = page.list->verticalScrollBar();
        list->setValue(list->maximum() / 2);
        const QModelIndex row = page.list->indexAt(page.rows()->rect().center());
        const QPoint on =
            page.list->rowDelegate().textBox(page.list->visualRect(row)).topLeft() + QPoint(20, 4);
        QTest::mouseClick(page.rows(), Qt::LeftButton, {}, on);
        ASSERT_EQ(page.focusName(), QStringLiteral("tessaron.connectionLog.text")) << gesture;
        const int before = list->value();
        act(page, on);
        TessaronConnectionLogRowText* text = page.rowText();
        const auto sign = [](int value) {
            return (value > 0) - (value < 0);
        };
        EXPECT_EQ(std::tuple(sign(list->value() - before), text->verticalScrollBar()->value(),
                             text->verticalScrollBar()->maximum(), text->horizontalScrollBar()->value(),
                             text->horizontalScrollBar()->maximum()),
                  std::tuple(direction, 0, 0, 0, 0))
            << gesture;
        // Open, the editor still lies over its row's text.
        if (text->isVisible())
            EXPECT_EQ(text->geometry(), page.list->rowDelegate().textBox(page.list->visualRect(row)))
                << gesture;
    }
}

} // namespace
} // namespace tessaron::testing
