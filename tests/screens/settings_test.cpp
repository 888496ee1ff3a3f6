#include "platform/bundle_info.hpp"
#include "platform/system_log.hpp"
#include "platform/vpn_error.hpp"
#include "profiles/connection_log.hpp"
#include "screens/connection_log_view.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/guide/guide_text.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/home_fixture.hpp"
#include "screens/page_bar.hpp"
#include "screens/screen_capture.hpp"
#include "screens/settings_form.hpp"
#include "screens/settings_pages.hpp"
#include "screens/support_links.hpp"
#include "screens/tessaron_theme.hpp"
#include "support/fake_workspace.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

using namespace std::chrono_literals;

namespace tessaron {

void PrintTo(const TessaronGuideBlock& block, std::ostream* out) {
    *out << static_cast<int>(block.kind) << ":" << block.text.toStdString() << ":"
         << block.items.join(QLatin1Char('|')).toStdString() << ":" << block.imageName.toStdString();
}

namespace testing {
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

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
    ASSERT_TRUE(harness.session->connectOnDemand());
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

TEST_F(SettingsFormTest, TheErrorShowsAboveEverythingUntilDismissedAndTheUpdateRowOffersTheRelease) {
    EXPECT_FALSE(shown("tessaron.settings.error"));
    harness.session->setSuggestedNodeID(QUuid::createUuid());
    harness.session->setLastError(QStringLiteral("The request failed."));
    form().adjustSize();
    auto* error = find("tessaron.settings.error");
    EXPECT_TRUE(error->isVisibleTo(&form()));
    for (auto* child : form().findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(child == error || !child->isVisibleTo(&form()) || error->y() < child->y())
            << child->objectName().toStdString();
    find<QAbstractButton>("tessaron.dismissError")->click();
    EXPECT_FALSE(harness.session->lastError() || harness.session->suggestedNodeID());
    EXPECT_FALSE(error->isVisibleTo(&form()));

    EXPECT_FALSE(shown("tessaron.settings.download"));
    updates.setAvailable(
        TessaronReleaseOffer{QStringLiteral("2.5.0"), QUrl(QStringLiteral("https://example.org"))});
    EXPECT_TRUE(shown("tessaron.settings.download"));
    EXPECT_EQ(find<QPushButton>("tessaron.settings.download")->text(), "Download 2.5.0");
}

TEST_F(SettingsFormTest, DataUsageRowShowsTheAmountInTheColourOfItsLevel) {
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

// Each page opens over the form, with its own title, and Back returns to the form.
TEST(SettingsPages, PagesOpenOverTheFormAndBackReturns) {
    HomeWorld world;
    world.harness.start();
    FakeUpdateState updates;
    FakeWorkspace workspace;
    TessaronSettingsPages pages(*world.harness.session, updates, {}, workspace);
    capture(pages, {520, 560}, QStringLiteral("settings-form"));
    QWidget* root = pages.currentPage();
    const std::tuple<const char*, const char*, bool> links[] = {
        {"tessaron.settings.guideLink", "settings-guide", true},
        {"tessaron.settings.privacyLink", "settings-privacy", false},
        {"tessaron.connectionLog.link", "settings-log", false}};
    for (const auto& [link, picture, guide] : links) {
        pages.findChild<QAbstractButton*>(QString::fromLatin1(link))->click();
        ASSERT_NE(pages.currentPage(), root) << link;
        // The guide is shown in the application.
        EXPECT_EQ(pages.currentPage()->findChild<TessaronGuideView*>() != nullptr, guide) << link;
        capture(pages, {520, 560}, QString::fromLatin1(picture));
        pages.currentPage()->findChild<QAbstractButton*>(QStringLiteral("tessaron.backButton"))->click();
        EXPECT_EQ(pages.currentPage(), root) << link;
    }
}

// The log view on a real log: redaction and the copied text are the log's own.
TEST(ConnectionLogView, NewestFirstInTwentyFourHourTimesCopiesAndClears) {
    ManualClock clock;
    MemoryPreferences preferences;
    TessaronConnectionLog log{preferences, clock};
    TessaronConnectionLogView view{log};
    TessaronPageBar bar{QStringLiteral("Connection log")};
    view.addActions(bar);
    view.resize(520, 500);
    view.show();
    const auto rows = [&] {
        // Rows of an earlier draw are deleted later.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList shown;
        for (auto* row : view.findChildren<QWidget*>(QStringLiteral("tessaron.connectionLog.entry")))
            shown << row->findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.time"))->text() + " " +
                         row->findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.text"))->text();
        return shown;
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
    click("tessaron.connectionLog.copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), log.exportText());
    click("tessaron.connectionLog.clear");
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_TRUE(view.findChild<QLabel*>(QStringLiteral("tessaron.connectionLog.empty"))->isVisible());
    QLocale::setDefault(previous);
}

using B = TessaronGuideBlock;

TEST(GuideParser, LineGrammar) {
    struct Row {
        const char* text;
        QList<B> blocks;
    };
    const Row rows[] = {
        {"", {}},
        {"\n  \n\t\n", {}},
        {"# Title\n## Part\nText", {B::title("Title"), B::heading("Part"), B::paragraph("Text")}},
        {"one\ntwo\n\nthree", {B::paragraph("one\ntwo"), B::paragraph("three")}},
        {"- a\n- b\n1. c\n2. d", {B::bullets({"a", "b"}), B::numbered({"c", "d"})}},
        {"- a\ntext\n- b", {B::bullets({"a"}), B::paragraph("text"), B::bullets({"b"})}},
        {"12. twelve", {B::numbered({"twelve"})}},
        {"1.5 apples\n3.", {B::paragraph("1.5 apples\n3.")}},
        {"   - indented\n-dash", {B::bullets({"indented"}), B::paragraph("-dash")}},
        {"### deep\n#tight", {B::paragraph("### deep\n#tight")}},
        {"![Setup](setup-1.png)", {B::image("setup-1.png", "Setup")}},
        {"![](a.png)", {B::image("a.png", "")}},
        {"- item\n![x](b.png)\nafter", {B::bullets({"item"}), B::image("b.png", "x"), B::paragraph("after")}},
        // Carriage returns hide neither blank nor image lines.
        {"# T\r\n\r\none\r\n\r\n![c](p-1.png)\r\n- a\r\n",
         {B::title("T"), B::paragraph("one"), B::image("p-1.png", "c"), B::bullets({"a"})}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parseGuide(QString::fromUtf8(row.text)), row.blocks) << row.text;
}

TEST(GuideParser, ImageLinesThatBreakTheRulesAreText) {
    for (const char* line : {"![x](Setup.png)", "![x](setup.jpg)", "![x](a/b.png)", "![x](.png)", "![x]()",
                             "![x]", "![x](a.png) trailing", "!["}) {
        EXPECT_EQ(guideImageLine(QString::fromUtf8(line)), std::nullopt) << line;
        EXPECT_EQ(parseGuide(QString::fromUtf8(line)).first().kind, B::Kind::paragraph) << line;
    }
    EXPECT_EQ(guideNumberedItem(QStringLiteral("\u0663. arabic digit")), std::nullopt);
}

TEST(GuideText, AutolinksBareUrls) {
    const std::pair<const char*, const char*> rows[] = {
        {"See https://a.example/x.", "See <https://a.example/x>."},
        {"Two: http://a.example, ftp://b.example;", "Two: <http://a.example>, <ftp://b.example>;"},
        {"Kept <https://a.example> and [t](https://b.example)",
         "Kept <https://a.example> and [t](https://b.example)"},
        {"No links here", "No links here"},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(autolinkBareURLs(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
    EXPECT_EQ(guideInlineHtml(QStringLiteral("Go to https://a.example/x. <b>")),
              QStringLiteral("Go to <a href=\"https://a.example/x\">https://a.example/x</a>. &lt;b&gt;"));
    EXPECT_EQ(guideInlineHtml(QStringLiteral("`code` and [site](https://s.example)")),
              QStringLiteral("<code>code</code> and <a href=\"https://s.example\">site</a>"));
}

TEST(GuideText, LanguageChoice) {
    EXPECT_EQ(guideResourceName({"zh-Hant-TW", "en"}), "Guide.zh-Hans");
    for (const QStringList& languages : {QStringList{"en-GB"}, QStringList{"fr", "zh"}, QStringList{}})
        EXPECT_EQ(guideResourceName(languages), "Guide.en");
}

TEST(GuideText, BundledGuidesAreWellFormed) {
    for (const char* language : {"en", "zh-Hans"}) {
        const auto text = loadBundledGuide({QString::fromLatin1(language)});
        ASSERT_TRUE(text) << language;
        const auto blocks = parseGuide(*text);
        ASSERT_FALSE(blocks.isEmpty());
        EXPECT_EQ(blocks.first().kind, B::Kind::title) << language;
        for (const auto& block : blocks) {
            if (block.kind == B::Kind::image) {
                EXPECT_FALSE(guideImage(block.imageName).isNull()) << block.imageName.toStdString();
            }
            if (block.kind == B::Kind::paragraph) {
                EXPECT_FALSE(block.text.startsWith(QStringLiteral("![")) ||
                             block.text.startsWith(QLatin1Char('#')))
                    << block.text.toStdString();
            }
        }
    }
}

TEST(GuideView, PicturesByIdentifierAndMissingOnesLogged) {
    SystemLog::Capture log;
    FakeWorkspace workspace;
    TessaronGuideView view(
        {B::title("Guide"), B::image("home-1.png", "Home"), B::image("gone-2.png", "Gone")}, workspace);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tessaron.guide.image.home-1")), nullptr);
    EXPECT_NE(view.findChild<QWidget*>(QStringLiteral("tessaron.guide.image.gone-2")), nullptr);
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("guide image missing: gone-2.png")});
    view.findChild<QAbstractButton*>(QStringLiteral("tessaron.guide.openOnWeb"))->click();
    EXPECT_EQ(workspace.opened, QList<QUrl>{TessaronSupportLinks::guidePage()});
}

} // namespace
} // namespace testing
} // namespace tessaron
