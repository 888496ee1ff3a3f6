#include "profiles/connection_log.hpp"
#include "screens/connection_log_view.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/page_bar.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/sheet_host.hpp"
#include "session/session_harness.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QAbstractButton>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

const QUrl invitation(QStringLiteral("tessaron://invite?invite=") + QString(40, QLatin1Char('a')));

// The privacy sheet in the sheet host over a real session that holds an invitation waiting for consent.
class PrivacySheetTest : public ::testing::Test {
protected:
    PrivacySheetTest() {
        auto& session = harness.launch();
        host = new TessaronSheetHost(
            session, updates, window,
            [&session](TessaronSheet, QWidget& window) {
                return TessaronSheetHost::sheetDialog(window, [&session](QDialog& dialog) {
                    return new TessaronPrivacySheet(
                        session, [&dialog] { dialog.reject(); }, &dialog);
                });
            },
            [](QWidget& w) { return new QWidget(&w); });
        harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
        track(session.openInvitationLink(invitation));
        harness.settle();
    }
    QAbstractButton* button(const char* name) {
        return host->presentedDialog()->findChild<QAbstractButton*>(QString::fromLatin1(name));
    }
    qsizetype redemptions() const { return harness.pairing.sent(QStringLiteral("/v1/redeem")).size(); }

    SessionHarness harness;
    FakeUpdateState updates;
    QWidget window;
    TessaronSheetHost* host;
};

TEST_F(PrivacySheetTest, AgreeRecordsConsentAndRedeemsTheWaitingInvitation) {
    ASSERT_EQ(host->presentedSheet(), TessaronSheet::privacy);
    button("tessaron.agreeButton")->click();
    harness.settle();
    EXPECT_TRUE(harness.session->consentGranted());
    EXPECT_EQ(harness.preferences.boolean(QStringLiteral("tessaron.privacyConsent")), true);
    EXPECT_EQ(host->presentedDialog(), nullptr);
    EXPECT_EQ(redemptions(), 1);
}

TEST_F(PrivacySheetTest, NotNowAndEscapeRecordNothingAndDropTheInvitation) {
    for (const bool escape : {false, true}) {
        ASSERT_EQ(host->presentedSheet(), TessaronSheet::privacy);
        if (escape)
            QTest::keyClick(host->presentedDialog(), Qt::Key_Escape);
        else
            button("tessaron.notNowButton")->click();
        harness.settle();
        EXPECT_EQ(harness.session->activeSheet(), std::nullopt);
        EXPECT_FALSE(harness.session->consentGranted());
        // Consent given later no longer redeems the dropped code.
        harness.session->setActiveSheet(TessaronSheet::privacy);
        harness.settle();
    }
    harness.session->grantPrivacyConsent();
    harness.settle();
    EXPECT_EQ(redemptions(), 0);
}

// The log view on a real log whose clock starts 2026-01-01 00:00 UTC.
class ConnectionLogViewTest : public ::testing::Test {
protected:
    ConnectionLogViewTest() {
        view.addActions(bar);
        view.resize(520, 500);
        view.show();
    }
    QStringList rows() const {
        // Rows of an earlier draw are deleted later.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList shown;
        for (auto* row : view.findChildren<QWidget*>(QStringLiteral("tessaron.connectionLog.entry")))
            shown << row->findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.time"))->text() + " " +
                         row->findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.text"))->text();
        return shown;
    }
    void click(const char* name) { bar.findChild<QAbstractButton*>(QString::fromLatin1(name))->click(); }

    ManualClock clock;
    MemoryPreferences preferences;
    TessaronConnectionLog log{preferences, clock};
    TessaronConnectionLogView view{log};
    TessaronPageBar bar{QStringLiteral("Connection log")};
};

TEST_F(ConnectionLogViewTest, NewestFirstCopiesOldestFirstAndRedacts) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); // a 12-hour locale
    const QDateTime start = clock.now().toLocalTime();
    log.append(QStringLiteral("connect tapped"));
    clock.advance(1'250ms);
    log.append(QStringLiteral("signed in as someone@example.org from 203.0.113.7"));
    const QString first = start.toString(QStringLiteral("HH:mm:ss"));
    const QString second = start.addMSecs(1'250).toString(QStringLiteral("HH:mm:ss"));

    const QStringList shown = rows();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].startsWith(second + " signed in as ")) << shown[0].toStdString();
    EXPECT_EQ(shown[1], first + " connect tapped");
    EXPECT_FALSE(shown[0].contains("example.org") || shown[0].contains("203.0.113.7"));
    EXPECT_TRUE(shown[0].contains("\u2039redacted\u203a"));

    click("tessaron.connectionLog.copy");
    const QString copied = QGuiApplication::clipboard()->text();
    const QStringList lines = copied.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], start.toString(QStringLiteral("HH:mm:ss.zzz")) + "  connect tapped");
    EXPECT_TRUE(lines[1].startsWith(start.addMSecs(1'250).toString(QStringLiteral("HH:mm:ss.zzz")) + "  "));
    EXPECT_TRUE(lines[1].contains("\u2039redacted\u203a"));

    click("tessaron.connectionLog.clear");
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.empty"))->isVisible());
    click("tessaron.connectionLog.copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "");
    QLocale::setDefault(previous);
}

} // namespace
} // namespace tessaron::testing
