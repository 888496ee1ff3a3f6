#include "platform/url_opener.hpp"
#include "screens/fake_update_state.hpp"
#include "screens/home_fixture.hpp"
#include "screens/invitation_import_sheet.hpp"
#include "screens/invitation_input_section.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/screen_capture.hpp"
#include "screens/sheet_host.hpp"
#include "screens/update_card.hpp"
#include "screens/update_required_view.hpp"
#include "support/fake_workspace.hpp"
#include "widgets/secondary_button.hpp"
#include "widgets/string_table.hpp"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace std::chrono_literals;

namespace tessaron::testing {
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
        auto* offer =
            hostWith(session, checker, frame, [](TessaronSheet, QDialog& d) { return new QWidget(&d); });
        session.setActiveSheet(before);
        offer->offerPrivacy();
        EXPECT_EQ(session.activeSheet(), after) << name;
        session.setActiveSheet(std::nullopt);
        offer->offerPrivacy();
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
        capture(*host->presentedDialog(), host->presentedDialog()->size(), QStringLiteral("privacy-sheet"));
        // A scroll bar shows only where there is something to scroll.
        for (const auto* area : host->presentedDialog()->findChildren<QAbstractScrollArea*>())
            EXPECT_TRUE(!area->verticalScrollBar()->isVisible() || area->verticalScrollBar()->maximum() > 0);
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
        if ((label || button) && widget->isVisibleTo(&view))
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
    // No browser took it: the cover says so under the link.
    Q_EMIT UrlOpener::shared().failed(QUrl(QStringLiteral("https://tessaron.test/other")));
    Q_EMIT UrlOpener::shared().failed(page);
    render(*view, {800, 600});
    EXPECT_EQ(textsInOrder(*view).mid(4),
              QStringList({"Open download page", "No web browser could open " + page.toString() + ".",
                           "Version 1.4.0 installed"}));
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

TEST_F(UpdateRequiredViewTest, ThePrimaryButtonShowsItsWorkUntilItEnds) {
    std::function<void()> finish;
    const auto view = makeView(
        {.primaryWork = [&](std::function<void()> finished) { finish = finished; }, .secondaryURL = page});
    auto* button = view->findChild<TessaronPrimaryButton*>();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    button->setFocus();
    const QImage idle = render(*view, {800, 600});
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(finish);
    const auto* accessible = QAccessible::queryAccessibleInterface(button);
    EXPECT_EQ(std::tuple(button->text(), accessible->state().disabled, QApplication::focusWidget()),
              std::tuple(QStringLiteral("Checking for updates…"), true, static_cast<QWidget*>(view.get())));
    EXPECT_NE(capture(*view, {800, 600}, QStringLiteral("update-required-working")), idle);
    finish();
    EXPECT_EQ(std::tuple(button->text(), accessible->state().disabled, QApplication::focusWidget()),
              std::tuple(QStringLiteral("Update Tessaron"), false, static_cast<QWidget*>(button)));
    EXPECT_EQ(primaryActions, 0);
    // The update it found opens the download page; no browser took it, and the cover says so.
    Q_EMIT UrlOpener::shared().failed(page);
    render(*view, {800, 600});
    EXPECT_TRUE(textsInOrder(*view).contains("No web browser could open " + page.toString() + "."));
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
    // Readers meet the cover alone of the host's children, nothing of what it covers; and all of it again
    // once the cover goes. The host stays a window to them.
    auto* reader = QAccessible::queryAccessibleInterface(&host);
    const auto readerChildren = [reader] {
        QList<QObject*> children;
        for (int index = 0; index < reader->childCount(); ++index)
            children.append(reader->child(index)->object());
        return children;
    };
    const QPoint overBeneath = host.mapToGlobal(beneath.geometry().center());
    EXPECT_EQ(std::tuple(readerChildren(),
                         reader->indexOfChild(QAccessible::queryAccessibleInterface(&beneath)),
                         reader->childAt(overBeneath.x(), overBeneath.y())->object(), reader->role()),
              std::tuple(QList<QObject*>{&view}, -1, static_cast<QObject*>(&view), QAccessible::Window));
    view.hide();
    EXPECT_EQ(readerChildren(), (QList<QObject*>{&beneath, &view}));
    view.show();

    // A cover that comes up where nothing has the focus yet takes it, so the keyboard reaches the button.
    QWidget bare;
    bare.resize(500, 400);
    bare.show();
    TessaronUpdateRequiredView startCover({}, workspace);
    startCover.showOver(bare);
    EXPECT_EQ(bare.focusWidget(), startCover.findChild<TessaronPrimaryButton*>());

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

TEST_F(InvitationSectionTest,
       UnusableTextShowsTheErrorLineNarrowCardsStackAndTheSheetKeepsTheTextWithItsMessage) {
    EXPECT_FALSE(button->isEnabled());
    pressReturn();
    EXPECT_TRUE(errorShown());
    type(QStringLiteral("x"));
    EXPECT_FALSE(errorShown());
    type(code);
    EXPECT_TRUE(button->isEnabled());

    // Narrow cards stack a button as wide as the field under it.
    for (const int width : {300, 480}) {
        section->resize(width, 240);
        harness.settle();
        EXPECT_EQ(std::pair(button->y() > field->y(), button->width() == field->width()),
                  std::pair(width == 300, width == 300));
    }

    // Without a pairing service a code is refused here.
    open(std::nullopt);
    type(code);
    pressReturn();
    EXPECT_TRUE(errorShown());
    EXPECT_TRUE(harness.pairing.sent(QStringLiteral("/v1/redeem")).isEmpty());

    // The sheet as the host shows it; a code goes to the pairing service's host, a link as it is. Return in
    // the field runs Activate alone: the sheet stays with the text, and the session's message shows under the
    // field. Escape dismisses it, and so does a taken invitation.
    QWidget window;
    QDialog* sheet = TessaronSheetHost::sheetDialog(window, [&](QDialog& dialog) {
        return new TessaronInvitationImportSheet(
            *harness.session, pairingBase, [&dialog] { dialog.reject(); }, &dialog);
    });
    QSignalSpy dismissals(sheet, &QDialog::rejected);
    sheet->show();
    harness.settle();
    field = sheet->findChild<QLineEdit*>(QStringLiteral("tessaron.accessKeyField"));
    // Inside its padding, border and margins the field shows its whole placeholder.
    EXPECT_EQ(field->fontMetrics().elidedText(field->placeholderText(), Qt::ElideRight, field->width() - 30),
              field->placeholderText());
    for (auto* frameButton : sheet->findChildren<QPushButton*>())
        EXPECT_FALSE(frameButton->isDefault() || frameButton->autoDefault())
            << frameButton->text().toStdString();
    auto* message = sheet->findChild<TessaronInvitationImportSheet*>()->findChild<QLabel*>(
        QString(), Qt::FindDirectChildrenOnly);
    const auto messageUnderTheField = [&] {
        const bool under = message->y() > field->mapTo(message->parentWidget(), QPoint()).y();
        return QStringList(message->isVisible() && under ? 1 : 0, message->text());
    };
    harness.pairing.enqueueRedeem(404);
    type(code);
    pressReturn();
    ASSERT_TRUE(harness.session->lastError());
    EXPECT_EQ(messageUnderTheField(), QStringList{*harness.session->lastError()});

    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Oslo")));
    type(QStringLiteral("https://tessaron.app/connect#invite=") + QString(40, QLatin1Char('b')));
    pressReturn();
    EXPECT_EQ(std::tuple(sheet->isVisible(), dismissals.size(), field->text()),
              std::tuple(false, qsizetype(1), QString()))
        << "the invitation was taken";

    // Another invitation is still being redeemed: this one would be dropped silently.
    sheet->show();
    harness.pairing.setDelay(5s);
    harness.pairing.enqueueRedeem(sampleProfile(QStringLiteral("Bergen")));
    track(harness.session->openInvitationLink(
        QUrl(QStringLiteral("https://tessaron.app/connect#invite=") + code)));
    harness.settle();
    type(code);
    pressReturn();
    EXPECT_EQ(messageUnderTheField(), QStringList{QStringLiteral("Wait for the current change to finish.")});
    EXPECT_EQ(std::tuple(sheet->isVisible(), field->text(), dismissals.size()),
              std::tuple(true, code, qsizetype(1)));
    capture(*sheet, sheet->size(), QStringLiteral("import-sheet"));
    harness.advance(6s);
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(std::pair(sheet->isVisible(), dismissals.size()), std::pair(false, qsizetype(2)))
        << "Escape rejects the sheet";
}

// Readers meet the sheet by its bar's title, the card's heading as a heading and the field by its name.
TEST_F(InvitationSectionTest, ReadersMeetANamedSheetAHeadingAndANamedField) {
    QWidget window;
    QDialog* sheet = TessaronSheetHost::sheetDialog(window, [&](QDialog& dialog) {
        return new TessaronInvitationImportSheet(
            *harness.session, pairingBase, [&dialog] { dialog.reject(); }, &dialog);
    });
    const auto read = [](QObject* object) {
        return QAccessible::queryAccessibleInterface(object);
    };
    QLabel* heading = nullptr;
    for (auto* label : sheet->findChildren<QLabel*>())
        heading = label->text() == QStringLiteral("Invitation code") ? label : heading;
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(std::tuple(read(sheet)->role(), read(sheet)->text(QAccessible::Name), read(heading)->role(),
                         read(sheet->findChild<QLineEdit*>())->text(QAccessible::Name)),
              std::tuple(QAccessible::Dialog, QStringLiteral("Add a connection"), QAccessible::Heading,
                         QStringLiteral("Invitation link or code")));
    delete sheet;
}

// Return in the field runs Activate; the focus the field hands on as it turns off while busy lands on a
// button, and that Return must not press it too (Cancel would close the sheet).
TEST_F(InvitationSectionTest, AReturnInTheFieldPressesNoButtonTheFocusMovesTo) {
    QWidget window;
    QDialog* sheet = TessaronSheetHost::sheetDialog(window, [&](QDialog& dialog) {
        return new TessaronInvitationImportSheet(
            *harness.session, pairingBase, [&dialog] { dialog.reject(); }, &dialog);
    });
    sheet->show();
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    field = sheet->findChild<QLineEdit*>(QStringLiteral("tessaron.accessKeyField"));
    field->setFocus();
    harness.pairing.setDelay(5s);
    harness.pairing.enqueueRedeem(404);
    QTest::keyClicks(field, code);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    // The field is off while the invitation is handed over; the sheet holds the focus, so an impatient
    // second Return presses nothing either.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    harness.advance(6s);
    EXPECT_TRUE(sheet->isVisible());
    // The code was refused: the field works again and has the focus back, to correct the code.
    EXPECT_EQ(QApplication::focusWidget(), field);
    delete sheet;
}

// "Activate" shows that it would do nothing before it is clicked: its words fade while it is off.
TEST_F(InvitationSectionTest, ActivateFadesWhileItWouldDoNothing) {
    std::vector<int> shown;
    for (const QString& text : {QString(), QStringLiteral("not a code"), code}) {
        type(text);
        shown.push_back(drawnGreys(*button).brightest);
    }
    EXPECT_TRUE(shown[0] < 140 && shown[1] < 140 && shown[2] > 230)
        << shown[0] << " " << shown[1] << " " << shown[2];
}

} // namespace
} // namespace tessaron::testing
