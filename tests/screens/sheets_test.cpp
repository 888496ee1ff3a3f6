#include "platform/bundle_info.hpp"
#include "platform/system_log.hpp"
#include "platform/vpn_error.hpp"
#include "profiles/connection_log.hpp"
#include "screens/button_styles.hpp"
#include "screens/connection_log_view.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/guide/guide_text.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/home_fixture.hpp"
#include "screens/invitation_import_sheet.hpp"
#include "screens/invitation_input_section.hpp"
#include "screens/page_bar.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/screen_capture.hpp"
#include "screens/secondary_button.hpp"
#include "screens/settings_form.hpp"
#include "screens/settings_pages.hpp"
#include "screens/sheet_host.hpp"
#include "screens/string_table.hpp"
#include "screens/support_links.hpp"
#include "screens/tessaron_theme.hpp"
#include "screens/update_card.hpp"
#include "screens/update_required_view.hpp"
#include "support/fake_workspace.hpp"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace std::chrono_literals;

namespace tessaron {

void PrintTo(const TessaronGuideBlock& block, std::ostream* out) {
    *out << static_cast<int>(block.kind) << ":" << block.text.toStdString() << ":"
         << block.items.join(QLatin1Char('|')).toStdString() << ":" << block.imageName.toStdString();
}

namespace testing {
namespace {

using Sheet = std::optional<TessaronSheet>;

// A host over `window` whose sheets hold what `content` makes.
TessaronSheetHost* hostWith(TessaronSession& session, TessaronUpdateState& updates, QWidget& window,
                            std::function<QWidget*(TessaronSheet, QDialog&)> content) {
    const auto sheets = [content](TessaronSheet sheet, QWidget& window) {
        return TessaronSheetHost::sheetDialog(window,
                                              [&](QDialog& dialog) { return content(sheet, dialog); });
    };
    return new TessaronSheetHost(session, updates, window, sheets,
                                 [](QWidget& w) { return new QWidget(&w); });
}

// A real session on fakes, a window, and a host whose sheets are labelled with their case.
TEST(SheetHost, SignInOverSettingsClosesBackToItAndARequiredUpdateClosesAndDefersSheets) {
    SessionHarness harness;
    FakeUpdateState updates;
    QWidget window;
    window.resize(480, 600);
    harness.grantConsent();
    auto& session = harness.start();
    auto* host = hostWith(session, updates, window, [](TessaronSheet sheet, QDialog& dialog) {
        return new QLabel(QString::number(static_cast<int>(sheet)), &dialog);
    });
    const auto assign = [&](Sheet sheet) {
        session.setActiveSheet(sheet);
        harness.settle();
    };
    // The user's dismissal: Escape in the dialog.
    const auto escape = [&] {
        ASSERT_NE(host->presentedDialog(), nullptr);
        QTest::keyClick(host->presentedDialog(), Qt::Key_Escape);
        harness.settle();
    };
    // What the session asks for and what the host shows.
    const auto sheets = [&] {
        return std::pair(session.activeSheet(),
                         host->presentedDialog() ? host->presentedSheet() : std::nullopt);
    };
    const auto require = [&](bool required) {
        updates.setRequired(required ? std::optional(TessaronReleaseOffer{QStringLiteral("9.0"), {}})
                                     : std::nullopt);
        harness.settle();
    };
    assign(TessaronSheet::settings);
    EXPECT_EQ(sheets(), std::pair(Sheet(TessaronSheet::settings), Sheet(TessaronSheet::settings)));
    assign(TessaronSheet::signIn);
    // The host closed settings itself: nothing was written back over the sign-in.
    EXPECT_EQ(sheets(), std::pair(Sheet(TessaronSheet::signIn), Sheet(TessaronSheet::signIn)));
    escape();
    EXPECT_EQ(sheets(), std::pair(Sheet(TessaronSheet::settings), Sheet(TessaronSheet::settings)));
    escape();
    EXPECT_EQ(sheets(), std::pair(Sheet(), Sheet()));

    // A required update closes the sheet, covers the window and holds later sheets back until it is gone.
    assign(TessaronSheet::settings);
    require(true);
    EXPECT_EQ(sheets(), std::pair(Sheet(), Sheet()));
    ASSERT_NE(host->cover(), nullptr);
    window.show();
    EXPECT_EQ(host->cover()->geometry(), window.rect());
    EXPECT_EQ(window.childAt(window.width() / 2, window.height() / 2), host->cover());
    assign(TessaronSheet::signIn);
    EXPECT_EQ(host->presentedDialog(), nullptr);
    require(false);
    EXPECT_EQ(host->cover(), nullptr);
    EXPECT_EQ(host->presentedSheet(), TessaronSheet::signIn);
}

TEST(SheetHost, PrivacyIsOfferedOnceWhenConsentIsMissingAndNothingElseIsOpen) {
    // Consent given, sheet open before, update required: the sheet after the offer.
    const std::tuple<const char*, bool, Sheet, bool, Sheet> cases[] = {
        {"first launch", false, std::nullopt, false, TessaronSheet::privacy},
        {"consent given", true, std::nullopt, false, std::nullopt},
        {"sign-in already asked for", false, TessaronSheet::signIn, false, TessaronSheet::signIn},
        {"update required", false, TessaronSheet::settings, true, std::nullopt},
    };
    for (const auto& [name, consent, before, required, after] : cases) {
        SessionHarness world;
        if (consent)
            world.grantConsent();
        auto& session = world.start();
        FakeUpdateState checker;
        if (required)
            checker.setRequired(TessaronReleaseOffer{QStringLiteral("9.0"), {}});
        QWidget frame;
        TessaronSheetHost offer(
            session, checker, frame, [](TessaronSheet, QWidget& w) { return new QDialog(&w); },
            [](QWidget& w) { return new QWidget(&w); });
        session.setActiveSheet(before);
        offer.offerPrivacy();
        EXPECT_EQ(session.activeSheet(), after) << name;
        session.setActiveSheet(std::nullopt);
        offer.offerPrivacy();
        EXPECT_EQ(session.activeSheet(), std::nullopt) << name << ": offered twice";
    }
}

TEST(PrivacySheet, AgreeRecordsConsentAndRedeemsNotNowOnlyCloses) {
    // Escape closes it as it closes any sheet.
    for (const bool agreed : {true, false}) {
        SCOPED_TRACE(agreed);
        SessionHarness harness;
        FakeUpdateState updates;
        QWidget window;
        auto& session = harness.launch();
        auto* host = hostWith(session, updates, window, [&session](TessaronSheet, QDialog& dialog) {
            return new TessaronPrivacySheet(
                session, [&dialog] { dialog.reject(); }, &dialog);
        });
        harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
        track(
            session.openInvitationLink(QUrl(QStringLiteral("tessaron://invite?invite=") + QString(40, 'a'))));
        harness.settle();
        ASSERT_EQ(host->presentedSheet(), TessaronSheet::privacy);
        const char* choice = agreed ? "tessaron.agreeButton" : "tessaron.notNowButton";
        host->presentedDialog()->findChild<QAbstractButton*>(QString::fromLatin1(choice))->click();
        harness.settle();
        EXPECT_EQ(host->presentedDialog(), nullptr);
        EXPECT_EQ(std::pair(session.activeSheet(), session.consentGranted()), std::pair(Sheet(), agreed));
        EXPECT_EQ(harness.pairing.sent(QStringLiteral("/v1/redeem")).size(), agreed ? 1 : 0);
    }
}

const QUrl page(QStringLiteral("https://tessaron.test/download/mac"));

// The texts of labels and buttons from top to bottom.
QStringList textsInOrder(const QWidget& view) {
    QMultiMap<int, QString> texts;
    for (const auto* widget : view.findChildren<QWidget*>()) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        const auto* button = qobject_cast<const QAbstractButton*>(widget);
        if (label || button)
            texts.insert(widget->mapTo(&view, QPoint()).y(), label ? label->text() : button->text());
    }
    return texts.values();
}

class UpdateRequiredViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(installStringTable(*qApp)); }

    std::unique_ptr<TessaronUpdateRequiredView> makeView(TessaronUpdateRequiredView::Fields fields) {
        fields.primaryAction = [this] {
            ++primaryActions;
        };
        auto view = std::make_unique<TessaronUpdateRequiredView>(std::move(fields), workspace);
        view->show();
        render(*view, {800, 600});
        return view;
    }

    FakeWorkspace workspace;
    int primaryActions = 0;
};

TEST_F(UpdateRequiredViewTest, ShowsItsTextsInANarrowColumnAndTheLinkOnlyWithAPage) {
    const QString message =
        QStringLiteral("Tessaron 2.0.1 is required to keep connecting. Update to continue.");
    const QString note = QStringLiteral(
        "Tessaron opens the download page for you. Install the new version, then open Tessaron again.");
    auto view = makeView({.version = QStringLiteral("2.0.1"), .installed = QString(), .secondaryURL = {}});
    EXPECT_EQ(textsInOrder(*view),
              QStringList({"Update required", message, note, "Update Tessaron", "Version  installed"}));

    view = makeView(
        {.version = QStringLiteral("2.0.1"), .installed = QStringLiteral("1.4.0"), .secondaryURL = page});
    EXPECT_EQ(textsInOrder(*view), QStringList({"Update required", message, note, "Update Tessaron",
                                                "Open download page", "Version 1.4.0 installed"}));
    const QImage image = capture(*view, {800, 600}, QStringLiteral("update-required"));
    EXPECT_EQ(view->findChildren<QLabel*>().front()->width(), 420 - 2 * 24);
    const auto* primaryButton = view->findChild<TessaronPrimaryButton*>();
    EXPECT_EQ(primaryButton->mapTo(view.get(), QPoint()).x(), 400 - 140);
    EXPECT_EQ(primaryButton->size(), QSize(280, 48));
    EXPECT_EQ(QColor(image.pixel(799, 599)), QColor(Qt::black));
    QTest::mouseClick(view->findChild<TessaronSecondaryButton*>(), Qt::LeftButton);
    EXPECT_EQ(workspace.opened, QList<QUrl>{page});
}

TEST_F(UpdateRequiredViewTest, PrimaryOpensItsURLWithFallbackElseRunsTheAction) {
    const QUrl primary(QStringLiteral("https://tessaron.test/get"));
    const QUrl fallback(QStringLiteral("https://tessaron.test/fallback"));
    // URL, fallback URL, URLs the desktop refuses: URLs opened, actions run.
    const std::tuple<std::optional<QUrl>, std::optional<QUrl>, QList<QUrl>, QList<QUrl>, int> cases[] = {
        {primary, fallback, {}, {primary}, 0},
        {primary, fallback, {primary}, {primary, fallback}, 0},
        {primary, std::nullopt, {primary}, {primary}, 0},
        {std::nullopt, fallback, {}, {}, 1},
    };
    for (const auto& [url, fallbackURL, refused, opened, actions] : cases) {
        workspace = FakeWorkspace();
        workspace.refused = refused;
        primaryActions = 0;
        const auto view =
            makeView({.primaryURL = url, .primaryFallbackURL = fallbackURL, .secondaryURL = page});
        QTest::mouseClick(view->findChild<TessaronPrimaryButton*>(), Qt::LeftButton);
        EXPECT_EQ(std::pair(workspace.opened, primaryActions), std::pair(opened, actions));
    }
}

TEST_F(UpdateRequiredViewTest, CoversItsHostSoNothingBeneathIsReached) {
    QWidget host;
    QPushButton beneath(QStringLiteral("Connect"), &host);
    beneath.setGeometry(20, 20, 120, 40);
    host.resize(500, 400);
    QSignalSpy clicked(&beneath, &QAbstractButton::clicked);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    beneath.setFocus();

    TessaronUpdateRequiredView view({}, workspace);
    view.showOver(host);
    host.resize(700, 520);
    EXPECT_EQ(view.geometry(), host.rect());
    // Focus leaves what is covered and comes back when something beneath takes it.
    auto* primaryButton = view.findChild<TessaronPrimaryButton*>();
    EXPECT_EQ(QApplication::focusWidget(), primaryButton);
    beneath.setFocus();
    EXPECT_EQ(QApplication::focusWidget(), primaryButton);
    // Through the window, as the desktop delivers clicks.
    QTest::mouseClick(host.windowHandle(), Qt::LeftButton, {}, beneath.geometry().center());
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(&view)->state().modal);

    // The update card, hidden while nothing is offered, takes no space in a column.
    QWidget column;
    auto* layout = new QVBoxLayout(&column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new TessaronUpdateCard(&column));
    auto* first = new QLabel(QStringLiteral("first"), &column);
    layout->addWidget(first);
    column.show();
    EXPECT_EQ(first->y(), 0);
}

const QString code = QStringLiteral("Tq7xK2mVn9bL4wR8sD3fH6jP1cZ5yE0a");
const QUrl pairingBase(QStringLiteral("https://pairing.test:8443/api"));

TEST(InvitationURL, LinksPassAndCodesGoToThePairingHost) {
    const auto link =
        TessaronAccessInput::parse(QStringLiteral("https://tessaron.app/connect#invite=") + code);
    EXPECT_EQ(invitationURL(link, std::nullopt), link.link());
    const auto token = TessaronAccessInput::parse(QStringLiteral("  ") + code + QStringLiteral("\n"));
    EXPECT_EQ(invitationURL(token, pairingBase),
              QUrl(QStringLiteral("https://pairing.test/connect#invite=") + code));
    EXPECT_EQ(invitationURL(TessaronAccessInput::invalid(), pairingBase), std::nullopt);
    // Without a pairing service a code has none: driven through the section below.
}

class InvitationSectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        harness.grantConsent();
        harness.launch();
        open(pairingBase);
    }
    void open(std::optional<QUrl> base) {
        section = std::make_unique<TessaronInvitationInputSection>(*harness.session, base);
        section->resize(420, 200);
        section->show();
        field = section->findChild<QLineEdit*>(QStringLiteral("tessaron.accessKeyField"));
        button = section->findChild<QAbstractButton*>(QStringLiteral("tessaron.accessKeyButton"));
    }
    bool errorShown() {
        return !section->findChild<QLabel*>(QStringLiteral("tessaron.accessInputError"))->isHidden();
    }
    void type(const QString& text) {
        field->clear();
        QTest::keyClicks(field, text);
    }
    void pressReturn() {
        QTest::keyClick(field, Qt::Key_Return);
        harness.settle();
    }

    SessionHarness harness;
    std::unique_ptr<TessaronInvitationInputSection> section;
    QLineEdit* field = nullptr;
    QAbstractButton* button = nullptr;
};

TEST_F(InvitationSectionTest, UnusableTextShowsTheErrorLineUntilEditedAndNarrowCardsStack) {
    EXPECT_FALSE(button->isEnabled());
    pressReturn();
    EXPECT_TRUE(errorShown());
    type(QStringLiteral("x"));
    EXPECT_FALSE(errorShown());
    type(code);
    EXPECT_TRUE(button->isEnabled());

    // Narrow cards stack the button under the field.
    section->resize(300, 240);
    harness.settle();
    EXPECT_GT(button->y(), field->y());
    EXPECT_EQ(button->width(), field->width());
    section->resize(480, 200);
    harness.settle();
    EXPECT_EQ(button->y(), field->y());

    // Without a pairing service a code is refused here.
    open(std::nullopt);
    type(code);
    pressReturn();
    EXPECT_TRUE(errorShown());
    EXPECT_TRUE(harness.pairing.sent(QStringLiteral("/v1/redeem")).isEmpty());
}

TEST_F(InvitationSectionTest, SuccessClearsTheFieldAndClosesTheSheet) {
    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
    QSignalSpy finished(section.get(), &TessaronInvitationInputSection::finished);
    type(QStringLiteral(" ") + code + QStringLiteral(" "));
    button->click();
    harness.settle();
    EXPECT_EQ(std::pair(finished.count(), field->text()), std::pair(qsizetype(1), QString()));
    EXPECT_EQ(harness.session->summaries().size(), 1);
}

TEST_F(InvitationSectionTest, FailuresAndIgnoredLinksKeepTheTextAndTheSheet) {
    QSignalSpy finished(section.get(), &TessaronInvitationInputSection::finished);
    harness.pairing.enqueueRedeem(404);
    type(code);
    pressReturn();
    ASSERT_TRUE(section->banner());
    EXPECT_TRUE(section->banner()->isError);
    capture(*section, {420, 200}, QStringLiteral("invitation-card"));
    EXPECT_EQ(field->text(), code);
    EXPECT_TRUE(button->isEnabled());

    // Another invitation is still being redeemed: this one would be dropped silently.
    harness.pairing.setDelay(5s);
    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Bergen")));
    track(harness.session->openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + code)));
    harness.settle();
    ASSERT_TRUE(harness.session->linkInFlight());
    pressReturn();
    EXPECT_EQ(section->banner(),
              (InvitationBanner{QStringLiteral("Wait for the current change to finish."), true}));
    EXPECT_EQ(std::pair(field->text(), finished.count()), std::pair(code, qsizetype(0)));
    harness.advance(6s);
}

// The sheet is the home screens' input section under a bar: bad text stays with an error, Cancel and a
// taken invitation both dismiss.
TEST(InvitationImportSheet, HoldsTheInputSectionAndClosesWhenTheLinkIsTaken) {
    HomeWorld world;
    world.harness.grantConsent();
    world.harness.launch();
    int dismissals = 0;
    TessaronInvitationImportSheet sheet(*world.harness.session, QUrl(QStringLiteral("https://pair.example")),
                                        [&dismissals] { ++dismissals; });
    auto* field = sheet.findChild<QLineEdit*>(QStringLiteral("tessaron.accessKeyField"));
    ASSERT_NE(field, nullptr);
    field->setText(QStringLiteral("hello"));
    sheet.section().submit();
    capture(sheet, {420, 420}, QStringLiteral("import-sheet"));
    EXPECT_TRUE(sheet.findChild<QWidget*>(QStringLiteral("tessaron.accessInputError"))->isVisibleTo(&sheet));
    EXPECT_EQ(dismissals, 0);
    sheet.findChild<QAbstractButton*>(QStringLiteral("tessaron.import.cancel"))->click();
    EXPECT_EQ(dismissals, 1);

    world.harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
    field->setText(QStringLiteral("https://tessaron.app/connect#invite=") + QString(40, QLatin1Char('b')));
    sheet.section().submit();
    world.harness.settle();
    EXPECT_EQ(world.harness.session->lastError(), std::nullopt);
    EXPECT_EQ(dismissals, 2);

    TessaronPrivacySheet privacy(*world.harness.session, [] {});
    capture(privacy, {420, 480}, QStringLiteral("privacy-sheet"));
}

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
    SessionHarness harness;
    auto& clock = harness.clock;
    auto& log = harness.log;
    TessaronConnectionLogView view{log};
    TessaronPageBar bar{QStringLiteral("Connection log")};
    view.addActions(bar);
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
