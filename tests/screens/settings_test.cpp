#include "platform/bundle_info.hpp"
#include "platform/url_opener.hpp"
#include "platform/vpn_error.hpp"
#include "profiles/connection_log.hpp"
#include "screens/connection_log_list.hpp"
#include "screens/connection_log_model.hpp"
#include "screens/connection_log_view.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/home_fixture.hpp"
#include "screens/link_failure_note.hpp"
#include "screens/screen_capture.hpp"
#include "screens/settings_form.hpp"
#include "screens/settings_sheet.hpp"
#include "support/fake_workspace.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/scroll_area_accessible.hpp"
#include "widgets/settings_switch.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

// Takes the URLs the desktop would open.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(QUrl& opened)
        : opened_(opened) {}
    Q_INVOKABLE void open(const QUrl& url) { opened_ = url; }

private:
    QUrl& opened_;
};

TEST(SettingsTexts, VersionUsageAndWarningTexts) {
    const auto version = [](QVariantMap info) {
        return TessaronSettingsForm::versionText(BundleInfo(info, {}));
    };
    EXPECT_EQ(version({{"CFBundleShortVersionString", "2.4.1"}, {"CFBundleVersion", "318"}}), "2.4.1 (318)");
    EXPECT_EQ(version({{"CFBundleShortVersionString", "2.4.1"}}), "2.4.1 (\u2014)");
    EXPECT_EQ(version({{"CFBundleShortVersionString", 3}, {"CFBundleVersion", "318"}}), "\u2014 (318)");
    EXPECT_EQ(version({}), "\u2014 (\u2014)");

    const std::pair<qint64, const char*> amounts[] = {
        {1'234'567'890, "1.2 GB"}, {5'000'000'000, "5 GB"}, {0, "0 GB"}, {12'345'000'000, "12.3 GB"}};
    for (const auto& [bytes, text] : amounts)
        EXPECT_EQ(TessaronSettingsForm::formatGigabytes(bytes, english), text) << bytes;
    EXPECT_EQ(TessaronSettingsForm::formatGigabytes(1'250'000'000, QLocale(QLocale::German)), "1,3 GB");

    const QDateTime resets(QDate(2026, 3, 5), QTime(12, 0));
    const QString usedUp = QStringLiteral("This month's data is used up. Access resumes on Mar 5.");
    const std::tuple<qint64, qint64, std::optional<QString>> rows[] = {
        {10, 100, std::nullopt},
        {79, 100, std::nullopt},
        {80, 100, "Most of this month's data is used. It resets on Mar 5."},
        {100, 100, usedUp},
        {0, 0, usedUp},
    };
    for (const auto& [used, cap, warning] : rows)
        EXPECT_EQ(TessaronSettingsForm::usageWarning({used, cap, resets}, english), warning) << used;
}

// The form over a real session on fakes, with the Linux configuration store played by the fake managers.
class SettingsFormTest : public ::testing::Test {
protected:
    TessaronSettingsForm& form() {
        if (!form_) {
            harness.save(profile);
            harness.installConfiguration(profile);
            harness.launch();
            form_ = std::make_unique<TessaronSettingsForm>(*harness.session, updates, nullptr);
            form_->resize(520, 900);
            form_->show();
        }
        return *form_;
    }
    template <typename Widget = QWidget> Widget* find(const char* name) {
        auto* widget = form().findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool shown(const char* name) { return find(name)->isVisibleTo(&form()); }
    bool footerShown(const QString& footer) {
        for (auto* label : form().findChildren<QLabel*>())
            if (label->text() == footer && label->isVisibleTo(&form()))
                return true;
        return false;
    }

    HomeWorld strings; // installs the English string table
    SessionHarness harness;
    FakeUpdateState updates;
    const TessaronProfile profile = sampleProfile(QStringLiteral("Oslo"));
    std::unique_ptr<TessaronSettingsForm> form_;
};

TEST_F(SettingsFormTest, EachToggleShowsWhatTheSessionPublishesAndOnDemandLocksIdleDisconnect) {
    const std::tuple<const char*, bool (TessaronSession::*)() const, bool> toggles[] = {
        {"tessaron.settings.killSwitch", &TessaronSession::killSwitch, true},
        {"tessaron.settings.idleDisconnect", &TessaronSession::idleDisconnect, false},
        {"tessaron.settings.connectOnDemand", &TessaronSession::connectOnDemand, true},
    };
    form();
    harness.tunnels.setLatency(1s);
    for (const bool saveFails : {false, true}) {
        for (const auto& [name, value, rewritesConfiguration] : toggles) {
            if (saveFails && !rewritesConfiguration)
                continue;
            SCOPED_TRACE(std::string(name) + (saveFails ? " failing" : ""));
            auto* toggle = find<QCheckBox>(name);
            const bool before = (*harness.session.*value)();
            ASSERT_EQ(toggle->isChecked(), before);
            if (saveFails)
                harness.tunnels.failNext(FakeTunnelManagers::Operation::save,
                                         VpnError(VpnErrorKind::configurationReadWriteFailed));
            toggle->click();
            if (rewritesConfiguration) {
                for (const char* control :
                     {"tessaron.settings.killSwitch", "tessaron.settings.connectOnDemand",
                      "tessaron.settings.idleDisconnect", "tessaron.settings.removeConfiguration"})
                    EXPECT_FALSE(find(control)->isEnabled()) << control;
            }
            harness.advance(3s);
            EXPECT_EQ((*harness.session.*value)(), saveFails ? before : !before);
            EXPECT_EQ(toggle->isChecked(), (*harness.session.*value)());
        }
    }
    // Connect on demand is on now: it keeps the connection up, so disconnecting when idle is locked.
    EXPECT_TRUE(footerShown("Turn off Connect on demand to use this."));
    EXPECT_FALSE(find("tessaron.settings.idleDisconnect")->isEnabled());
}

TEST_F(SettingsFormTest, RemoveAsksFirstAndOnlyRemoveRemoves) {
    EXPECT_EQ(find<QLabel>("tessaron.settings.allNetworks")->text(), "Requested");
    for (const char* choice :
         {"tessaron.settings.confirmRemove.cancel", "tessaron.settings.confirmRemove.remove"}) {
        find<QPushButton>("tessaron.settings.removeConfiguration")->click();
        auto* dialog = find<QMessageBox>("tessaron.settings.confirmRemove");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->text(), "Remove the Tessaron VPN configuration?");
        dialog->findChild<QAbstractButton*>(QString::fromLatin1(choice))->click();
        harness.advance(3s);
    }
    EXPECT_TRUE(harness.tunnels.stored().isEmpty());
    EXPECT_FALSE(find("tessaron.settings.removeConfiguration")->isEnabled());
    EXPECT_EQ(find<QLabel>("tessaron.settings.allNetworks")->text(), "Not requested yet");
    EXPECT_TRUE(footerShown("Saved on this device and applied the next time you connect."));
}

TEST_F(SettingsFormTest,
       TheErrorShowsAboveEverythingUntilDismissedTheUpdateRowOffersTheReleaseAndUsageShowsItsLevel) {
    EXPECT_FALSE(shown("tessaron.settings.error"));
    harness.session->setSuggestedNodeID(QUuid::createUuid());
    harness.session->setLastError(QStringLiteral("The request failed."));
    form().adjustSize();
    auto* error = find("tessaron.settings.error");
    EXPECT_TRUE(error->isVisibleTo(&form()));
    for (auto* child : form().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(child == error || !child->isVisibleTo(&form()) || error->y() < child->y())
            << child->objectName().toStdString();
    // A message over a plain "Dismiss"; a long one wraps and pushes it down.
    auto* message = error->findChild<QLabel*>();
    auto* dismiss = error->findChild<QPushButton*>();
    EXPECT_EQ(dismiss->text(), "Dismiss");
    const int oneLine = dismiss->y();
    harness.session->setLastError(QStringLiteral("The request failed. ").repeated(12).trimmed());
    form().adjustSize();
    capture(form(), {520, 900}, QStringLiteral("settings-error-banner-long"));
    EXPECT_TRUE(message->height() > 3 * message->fontMetrics().lineSpacing() &&
                message->height() >= message->heightForWidth(message->width()));
    EXPECT_TRUE(dismiss->y() > oneLine && dismiss->y() >= message->geometry().bottom());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(error)->text(QAccessible::Name), message->text());
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(message)->state().invisible)
        << "read once, as the name";
    dismiss->click();
    EXPECT_FALSE(harness.session->lastError() || harness.session->suggestedNodeID());
    EXPECT_FALSE(error->isVisibleTo(&form()));

    // The button opens the feed's address only when it is https.
    QUrl opened;
    UrlRecorder recorder(opened);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    const QUrl page = BundleInfo::main().locations().downloadPage;
    const std::pair<const char*, QUrl> offers[] = {
        {"https://example.org/get/2.5.0", QUrl(QStringLiteral("https://example.org/get/2.5.0"))},
        {"HTTPS://example.org/get", QUrl(QStringLiteral("https://example.org/get"))},
        {"http://example.org/get", page},
        {"file:///etc/passwd", page},
        {"https:nothing", page},
    };
    EXPECT_FALSE(shown("tessaron.settings.download"));
    for (const auto& [url, expected] : offers) {
        updates.setAvailable(TessaronReleaseOffer{QStringLiteral("2.5.0"), QUrl(QString::fromLatin1(url))});
        EXPECT_TRUE(shown("tessaron.settings.download"));
        find<QPushButton>("tessaron.settings.download")->click();
        EXPECT_EQ(opened, expected) << url;
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(find<QPushButton>("tessaron.settings.download")->text(), "Download 2.5.0");
    // No browser took it: the row says so.
    Q_EMIT UrlOpener::shared().failed(page);
    EXPECT_TRUE(footerShown(TessaronLinkFailureNote::text(page)));

    const std::pair<qint64, QColor> rows[] = {{1'234'567'890, TessaronTheme::textSecondary()},
                                              {45'000'000'000, TessaronTheme::warning()},
                                              {50'000'000'000, TessaronTheme::danger()}};
    auto* value = find<QLabel>("tessaron.settings.dataUsage");
    EXPECT_FALSE(value->isVisibleTo(&form())) << "no usage known yet";
    for (const auto& [used, colour] : rows) {
        TessaronRosterResponse roster;
        roster.profiles = {profile};
        roster.usage = TessaronDataUsage{used, 50'000'000'000, harness.clock.now().addDays(9)};
        harness.pairing.setRoster(profile.id, roster);
        track(harness.session->pullRoster(profile.id));
        harness.settle();
        ASSERT_TRUE(value->isVisibleTo(&form())) << used;
        EXPECT_EQ(value->text(), TessaronSettingsForm::usageText(*roster.usage, QLocale()));
        EXPECT_TRUE(value->styleSheet().contains(colour.name())) << used;
        const auto warning = TessaronSettingsForm::usageWarning(*roster.usage, QLocale());
        EXPECT_TRUE(!warning || footerShown(*warning)) << used;
    }
}

// The settings stay where the person works: a switch keeps the focus and the page its place while the
// session applies the change, an unavailable switch fades and takes no toggle, the row's label toggles,
// and Escape goes back, then closes the window.
TEST_F(SettingsFormTest, TheKeyboardAndPointerStayWhereThePersonWorks) {
    harness.save(profile);
    harness.installConfiguration(profile);
    harness.launch();
    harness.tunnels.setLatency(1s);
    FakeWorkspace workspace;
    QWidget window;
    window.resize(520, 360);
    auto* layout = new QVBoxLayout(&window);
    auto* pages = new TessaronSettingsSheet(*harness.session, updates, {}, workspace, &window);
    layout->addWidget(pages);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* scroll = pages->findChild<QScrollArea*>();
    auto* kill = pages->findChild<TessaronSettingsSwitch*>(QStringLiteral("tessaron.settings.killSwitch"));
    auto* idle =
        pages->findChild<TessaronSettingsSwitch*>(QStringLiteral("tessaron.settings.idleDisconnect"));
    scroll->ensureWidgetVisible(kill);
    const int top = scroll->verticalScrollBar()->value();
    const qint64 available = drawnGreys(*idle).total;

    const bool before = harness.session->killSwitch();
    kill->setFocus();
    QTest::keyClick(kill, Qt::Key_Space);
    ASSERT_TRUE(harness.session->isActing());
    EXPECT_EQ(std::pair(QApplication::focusWidget(), scroll->verticalScrollBar()->value()),
              std::pair(static_cast<QWidget*>(kill), top));
    EXPECT_LT(drawnGreys(*idle).total, available * 6 / 10) << "an unavailable switch fades";
    // Space again while the change runs toggles nothing and opens nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    harness.advance(3s);
    EXPECT_EQ(std::tuple(harness.session->killSwitch(), kill->isChecked(),
                         pages->currentPage()->findChild<TessaronGuideView*>()),
              std::tuple(!before, !before, nullptr));
    EXPECT_EQ(QApplication::focusWidget(), kill);

    // A click on the row's words toggles it.
    QLabel* words = nullptr;
    for (auto* label : pages->findChildren<QLabel*>())
        words = label->text() == QStringLiteral("Block traffic if Tessaron drops") ? label : words;
    ASSERT_NE(words, nullptr);
    QTest::mouseClick(words, Qt::LeftButton);
    harness.advance(3s);
    EXPECT_EQ(harness.session->killSwitch(), before);

    auto* guide = pages->findChild<QAbstractButton*>(QStringLiteral("tessaron.settings.guideLink"));
    QWidget* root = pages->currentPage();
    guide->setFocus();
    QTest::keyClick(guide, Qt::Key_Space);
    ASSERT_NE(pages->currentPage(), root);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(std::tuple(pages->currentPage(), QApplication::focusWidget(), window.isVisible()),
              std::tuple(root, static_cast<QWidget*>(guide), true));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

// Each page opens over the form, with its own title, and Back returns to the form.
TEST(SettingsSheet, PagesOpenOverTheFormAndBackReturns) {
    HomeWorld world;
    world.harness.start();
    FakeUpdateState updates;
    FakeWorkspace workspace;
    TessaronSettingsSheet pages(*world.harness.session, updates, {}, workspace);
    capture(pages, {520, 560}, QStringLiteral("settings-form"));
    QWidget* root = pages.currentPage();
    // Each row, the name readers say for it (its words, without the chevron drawn after them), the picture,
    // whether it is the guide, and the title of its page.
    const std::tuple<const char*, const char*, const char*, bool, const char*> links[] = {
        {"tessaron.settings.guideLink", "User guide", "settings-guide", true, "Guide"},
        {"tessaron.settings.privacyLink", "Privacy", "settings-privacy", false, "Privacy"},
        {"tessaron.connectionLog.link", "Connection log", "settings-log", false, "Connection log"}};
    for (const auto& [link, read, picture, guide, title] : links) {
        auto* row = pages.findChild<QAbstractButton*>(QString::fromLatin1(link));
        const auto* reader = QAccessible::queryAccessibleInterface(row);
        EXPECT_EQ(std::pair(reader->text(QAccessible::Name), reader->role()),
                  std::pair(QString::fromLatin1(read), QAccessible::Button));
        row->click();
        ASSERT_NE(pages.currentPage(), root) << link;
        EXPECT_EQ(pages.currentPage()->findChild<TessaronPageBar*>()->title(), QString::fromLatin1(title));
        // The guide is shown in the application.
        EXPECT_EQ(pages.currentPage()->findChild<TessaronGuideView*>() != nullptr, guide) << link;
        capture(pages, {520, 560}, QString::fromLatin1(picture));
        auto* back = pages.currentPage()->findChild<QAbstractButton*>(QStringLiteral("tessaron.backButton"));
        // Readers say the word, without the chevron drawn before it.
        EXPECT_EQ(QAccessible::queryAccessibleInterface(back)->text(QAccessible::Name), "Back") << link;
        back->click();
        EXPECT_EQ(pages.currentPage(), root) << link;
    }
}

// What a reader read of a tree: the names, and each node's id with the number of children it counted there.
struct ReaderMemory {
    QStringList names;
    QList<std::pair<QAccessible::Id, int>> counted;

    void read(QAccessibleInterface* node) {
        names.append(node->text(QAccessible::Name));
        const int count = node->childCount();
        counted.append({QAccessible::uniqueId(node), count});
        for (int index = 0; index < count; ++index)
            if (QAccessibleInterface* child = node->child(index))
                read(child);
    }
};

// A reader counts a node's children in one request and asks for each in the next. A page that opens in
// between hides the form's scroll area with its scroll bar: each child asked for by the old count is one
// the node has, or none, and the tree reads whole at once.
TEST(SettingsSheet, AReaderThatCountedBeforeAPageOpenedReadsItAtOnce) {
    installScrollAreaAccessible();
    HomeWorld world;
    world.harness.start();
    FakeUpdateState updates;
    FakeWorkspace workspace;
    for (const char* link : {"tessaron.settings.privacyLink", "tessaron.connectionLog.link"}) {
        QWidget window;
        window.resize(520, 360);
        auto* layout = new QVBoxLayout(&window);
        auto* pages = new TessaronSettingsSheet(*world.harness.session, updates, {}, workspace, &window);
        layout->addWidget(pages);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(pages->findChild<QScrollArea*>()->verticalScrollBar()->isVisible()) << "the form scrolls";
        ReaderMemory before;
        before.read(QAccessible::queryAccessibleInterface(&window));

        pages->findChild<QAbstractButton*>(QString::fromLatin1(link))->click();
        ReaderMemory after;
        for (const auto& [id, count] : before.counted) {
            QAccessibleInterface* node = QAccessible::accessibleInterface(id);
            for (int index = 0; node && node->isValid() && index < count; ++index)
                if (QAccessibleInterface* child = node->child(index))
                    after.read(child);
        }
        after.read(QAccessible::queryAccessibleInterface(&window));
        EXPECT_TRUE(after.names.contains(pages->currentPage()->findChild<TessaronPageBar*>()->title()))
            << link;
    }
}

// The rows as a screen reader reads them, from the top.
QStringList readRows(const TessaronConnectionLogView& view) {
    const auto* list = view.findChild<TessaronConnectionLogList*>();
    if (!list)
        return {};
    auto* rows = QAccessible::queryAccessibleInterface(const_cast<TessaronConnectionLogList*>(list));
    QStringList read;
    for (int index = 0; index < rows->childCount(); ++index)
        read << rows->child(index)->text(QAccessible::Name);
    return read;
}

// The log view on a real log: redaction and the copied text are the log's own.
TEST(ConnectionLogView, NewestFirstInTwentyFourHourTimesCopiesAndClears) {
    SessionHarness harness;
    auto& clock = harness.clock;
    auto& log = harness.log;
    TessaronConnectionLogView view{log};
    TessaronPageBar bar{QStringLiteral("Connection log")};
    view.addActions(bar);
    view.show();
    const auto rows = [&] {
        return readRows(view);
    };
    const auto click = [&](const char* name) {
        bar.findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
    };
    const QLocale previous;
    QLocale::setDefault(english); // a 12-hour locale
    const QDateTime first = clock.now().toLocalTime().addSecs(13 * 3600);
    clock.advance(13h);
    log.append(QStringLiteral("connect tapped"));
    clock.advance(1'250ms);
    log.append(QStringLiteral("signed in"));
    EXPECT_EQ(rows(), (QStringList{first.addMSecs(1'250).toString("HH:mm:ss") + " signed in",
                                   first.toString("HH:mm:ss") + " connect tapped"}));
    // The event's text reads against the black page: its brightest pixel stands well above it.
    const QImage page = capture(view, {520, 300}, QStringLiteral("connection-log"));
    const auto* list = view.findChild<TessaronConnectionLogList*>();
    const QModelIndex newest = list->model()->index(0, 0);
    const QRect row = list->visualRect(newest);
    const QRect text = list->rowDelegate().textRect(row, newest);
    int brightest = 0;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x)
            brightest = std::max(brightest, qGray(page.pixel(list->viewport()->mapTo(&view, QPoint(x, y)))));
    EXPECT_GT(brightest, 140);
    // A one-line event's row is no taller than its line.
    EXPECT_LE(row.height(), text.height() + 12);
    // Rows are selected whole; the keyboard's Copy takes them as they read, oldest first as in the export.
    auto* rowList = view.findChild<TessaronConnectionLogList*>();
    rowList->selectAll();
    QTest::keySequence(rowList, QKeySequence::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), first.toString("HH:mm:ss") + " connect tapped\n" +
                                                        first.addMSecs(1'250).toString("HH:mm:ss") +
                                                        " signed in");
    click("tessaron.connectionLog.copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), log.exportText());
    click("tessaron.connectionLog.clear");
    EXPECT_TRUE(rows().isEmpty());
    const auto* empty = view.findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.empty"));
    EXPECT_TRUE(empty->isVisible());
    // Neither button is ever disabled; Copy of an empty log leaves an empty text, not what was there.
    click("tessaron.connectionLog.copy");
    const auto enabled = [&](const char* name) {
        return bar.findChild<QAbstractButton*>(QString::fromLatin1(name))->isEnabled();
    };
    EXPECT_EQ(std::tuple(QGuiApplication::clipboard()->text(), enabled("tessaron.connectionLog.copy"),
                         enabled("tessaron.connectionLog.clear")),
              std::tuple(QString(), true, true));
    // Its words stand 24 in from the page's edge and from the caption's foot, as the rows' do.
    const QImage cleared = capture(view, {520, 300}, QStringLiteral("connection-log-empty"));
    QRect words;
    for (int y = empty->y(); y < empty->y() + empty->height(); ++y)
        for (int x = 0; x < cleared.width(); ++x)
            if (qGray(cleared.pixel(x, y)) > 140)
                words |= QRect(x, y, 1, 1);
    EXPECT_EQ(std::pair(words.left() >= 24, words.top() - empty->y() >= 24), std::pair(true, true))
        << words.left() << "," << words.top() - empty->y();
    QLocale::setDefault(previous);
}

TEST(ConnectionLogView, RowsAreAsTallAsTheirLinesAndANewEventLeavesTheReaderInPlace) {
    SessionHarness harness;
    auto& log = harness.log;
    // The oldest event is long, with a run no line can hold whole.
    log.append(
        QStringLiteral("failover: blocked after the tunnel stayed blocked for 20 s while the check failed "
                       "three times at ") +
        QStringLiteral("x.").repeated(50));
    for (int index = 0; index < 40; ++index)
        log.append(QStringLiteral("event %1").arg(index));
    TessaronConnectionLogView view{log};
    view.resize(520, 300);
    view.show();
    QCoreApplication::processEvents();
    auto* list = view.findChild<TessaronConnectionLogList*>();
    auto* model = list->model();
    auto* bar = list->verticalScrollBar();
    // Every row is as tall as its text's lines and the row's margins: one line for a short event; the long
    // one wraps within the row's margin.
    const int lineSpacing =
        QFontMetrics(TessaronTheme::font(TessaronTheme::captionSize, QFont::Normal, true)).lineSpacing();
    ASSERT_EQ(model->rowCount(), 41);
    for (int index = 0; index < model->rowCount(); ++index) {
        const QModelIndex entry = model->index(index, 0);
        const QRect row = list->visualRect(entry);
        const QRect text = list->rowDelegate().textRect(row, entry);
        const bool oneLine = text.height() < 2 * lineSpacing;
        EXPECT_EQ(std::tuple(row.height() - text.height(), oneLine, text.right() <= row.right() - 24),
                  std::tuple(12, index < 40, true))
            << index;
    }

    bar->setValue(bar->maximum());
    capture(view, {520, 300}, QStringLiteral("connection-log-wrapped"));

    // Part way down, with a row selected and the keyboard on it: a new event leaves the row, its place and
    // the selection alone.
    ASSERT_GT(bar->maximum(), 200);
    bar->setValue(200);
    const QPersistentModelIndex read = list->indexAt(QPoint(40, 100));
    ASSERT_TRUE(read.isValid());
    list->setFocus();
    list->setCurrentIndex(read);
    capture(view, {520, 300}, QStringLiteral("connection-log-selected"));
    const QString readText = read.data().toString();
    const QPoint place = list->visualRect(read).topLeft();
    log.append(QStringLiteral("event 40"));
    QCoreApplication::processEvents();
    const auto selected = list->selectionModel()->selectedRows();
    EXPECT_EQ(std::tuple(list->visualRect(read).topLeft(),
                         list->indexAt(place + QPoint(40, 1)).data().toString(),
                         selected.size() == 1 ? selected.first().data().toString() : QString(),
                         list->currentIndex().data().toString()),
              std::tuple(place, readText, readText, readText));

    // At the top the new event shows at once, above the others.
    bar->setValue(0);
    log.append(QStringLiteral("event 41"));
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(readRows(view).first().endsWith(QStringLiteral(" event 41")));
    EXPECT_EQ(readRows(view).size(), 43);
}

// The rows follow the log by difference: a new line is one row inserted at the top, a line the full log drops
// is one row removed at the bottom, and Clear removes the rows; none of them resets the list, which would
// lose the reader's place and the selection.
TEST(ConnectionLogView, ANewLineInsertsOneRowAndADroppedOneRemovesOne) {
    SessionHarness harness;
    auto& log = harness.log;
    TessaronConnectionLogModel model{log};
    using Change = std::tuple<char, int, int>;
    QList<Change> changes;
    const auto record = [&](char kind) {
        return [&changes, kind](const QModelIndex&, int first, int last) {
            changes.append({kind, first, last});
        };
    };
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model, record('+'));
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &model, record('-'));
    QObject::connect(&model, &QAbstractItemModel::modelReset, &model, [&] { changes.append({'!', 0, 0}); });
    constexpr int full = int(TessaronConnectionLog::capacity);
    // Lines in the log before one more is appended (or, at -1, before Clear), and what the rows do.
    const std::pair<int, QList<Change>> rows[] = {
        {0, {{'+', 0, 0}}},         {1, {{'+', 0, 0}}},
        {full - 1, {{'+', 0, 0}}},  {full, {{'-', full - 1, full - 1}, {'+', 0, 0}}},
        {-1, {{'-', 0, full - 1}}},
    };
    int next = 0;
    for (const auto& [before, expected] : rows) {
        while (before >= 0 && log.entries().size() < before)
            log.append(QStringLiteral("line %1").arg(next++));
        changes.clear();
        if (before >= 0)
            log.append(QStringLiteral("line %1").arg(next++));
        else
            log.clear();
        EXPECT_EQ(changes, expected) << before;
        EXPECT_EQ(model.rowCount(), log.entries().size()) << before;
        if (model.rowCount() > 0)
            EXPECT_EQ(model.index(0, 0).data().toString(), log.entries().last().text) << before;
    }
}

// What each watched widget painted, in its own coordinates.
class PaintedRegions final : public QObject {
public:
    explicit PaintedRegions(std::initializer_list<QWidget*> widgets) {
        for (auto* widget : widgets)
            widget->installEventFilter(this);
    }
    QRegion of(QWidget* widget) const { return painted_.value(widget); }
    void clear() { painted_.clear(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted_[static_cast<QWidget*>(watched)] += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

private:
    QHash<QWidget*, QRegion> painted_;
};

// A new line while the person reads a full log, at its top or further down: the rows in view are not
// painted again, only what moved; and the window then shows what painting it whole shows.
TEST(ConnectionLogView, ANewLinePaintsOnlyWhatItChangesInView) {
    SessionHarness harness;
    auto& log = harness.log;
    // Every seventh line wraps: a new line is mostly of another height than the one the full log drops,
    // and the scroll bar's range changes with it.
    const auto line = [](int index) {
        return index % 7 == 4
                   ? QStringLiteral("failover: blocked after the tunnel stayed blocked for 20 s while "
                                    "the reachability check failed three times (%1)")
                         .arg(index)
                   : QStringLiteral("tunnel status: connected %1").arg(index);
    };
    int next = 0;
    while (log.entries().size() < TessaronConnectionLog::capacity)
        log.append(line(next++));
    TessaronConnectionLogView view{log};
    view.resize(520, 300);
    view.show();
    QCoreApplication::processEvents();
    auto* list = view.findChild<TessaronConnectionLogList*>();
    auto* bar = list->verticalScrollBar();
    auto* rows = list->viewport();
    PaintedRegions painted{rows, bar};
    const auto shown = [&] {
        return view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const auto whole = [&] {
        return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    struct Place {
        const char* name;
        double at; // of the bar's range
        // The most of the rows' and the bar's heights painted again.
        int rowsPainted;
        int barPainted;
    };
    // Part way down the row being read stays and the handle moves by a pixel or so; at the foot the dropped
    // row leaves no room to hold it, and what is in view moves down by one row's height; at the top the new
    // row is painted above the others, which move down, and the handle only grows or shrinks.
    const Place places[] = {{"part way down", 0.5, 0, bar->height() / 4},
                            {"foot", 1.0, 60, bar->height()},
                            {"top", 0.0, 60, bar->height() / 4}};
    for (const auto& place : places) {
        bar->setValue(int(bar->maximum() * place.at));
        QCoreApplication::processEvents();
        const QString reading = list->indexAt(QPoint(40, 100)).data().toString();
        for (int round = 0; round < 3; ++round) {
            painted.clear();
            log.append(line(next++));
            QCoreApplication::processEvents();
            EXPECT_LE(painted.of(rows).boundingRect().height(), place.rowsPainted) << place.name;
            EXPECT_LE(painted.of(bar).boundingRect().height(), place.barPainted) << place.name;
            EXPECT_TRUE(shown() == whole()) << place.name << " " << round;
        }
        if (place.at > 0 && place.at < 1)
            EXPECT_EQ(list->indexAt(QPoint(40, 100)).data().toString(), reading);
    }
}

// Readers meet the log as a named list whose items read as their time and text, newest first, and move
// through it row by row with the keyboard.
TEST(ConnectionLogView, ReadersMeetAListOfNamedItemsAndMoveRowByRow) {
    SessionHarness harness;
    auto& log = harness.log;
    for (const char* line : {"connect tapped", "tunnel status: connected", "signed in"}) {
        harness.clock.advance(1s);
        log.append(QString::fromLatin1(line));
    }
    TessaronConnectionLogView view{log};
    view.resize(520, 300);
    view.show();
    QCoreApplication::processEvents();
    auto* list = view.findChild<TessaronConnectionLogList*>();
    auto* reader = QAccessible::queryAccessibleInterface(list);
    const auto time = [&](int fromNewest) {
        return log.entries()[log.entries().size() - 1 - fromNewest].at.toLocalTime().toString("HH:mm:ss");
    };
    QList<std::pair<QAccessible::Role, QString>> items;
    for (int index = 0; index < reader->childCount(); ++index)
        items.append({reader->child(index)->role(), reader->child(index)->text(QAccessible::Name)});
    EXPECT_EQ(std::pair(reader->role(), reader->text(QAccessible::Name)),
              std::pair(QAccessible::List, QStringLiteral("Connection log")));
    EXPECT_EQ(items, (QList<std::pair<QAccessible::Role, QString>>{
                         {QAccessible::ListItem, time(0) + " signed in"},
                         {QAccessible::ListItem, time(1) + " tunnel status: connected"},
                         {QAccessible::ListItem, time(2) + " connect tapped"}}));

    list->setFocus();
    list->setCurrentIndex(list->model()->index(0, 0));
    QStringList focused;
    for (int step = 0; step < 3; ++step) {
        for (int index = 0; index < reader->childCount(); ++index)
            if (reader->child(index)->state().focused)
                focused.append(reader->child(index)->text(QAccessible::Name));
        QTest::keyClick(list, Qt::Key_Down);
    }
    EXPECT_EQ(focused, (QStringList{time(0) + " signed in", time(1) + " tunnel status: connected",
                                    time(2) + " connect tapped"}));
}

} // namespace
} // namespace tessaron::testing

#include "settings_test.moc"
