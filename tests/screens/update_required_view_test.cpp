#include "screens/button_styles.hpp"
#include "screens/screen_capture.hpp"
#include "screens/secondary_button.hpp"
#include "screens/string_table.hpp"
#include "screens/update_card.hpp"
#include "screens/update_required_view.hpp"
#include "support/fake_http_transport.hpp"
#include "support/fake_workspace.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"
#include "updates/update_checker.hpp"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

const QUrl page(QStringLiteral("https://tessaron.test/download/mac"));
const QUrl primary(QStringLiteral("https://tessaron.test/get"));
const QUrl fallback(QStringLiteral("https://tessaron.test/fallback"));

// The view's texts from top to bottom, buttons included.
QStringList textsInOrder(const QWidget& view) {
    std::vector<std::pair<int, QString>> items;
    for (const auto* label : view.findChildren<QLabel*>())
        items.emplace_back(label->mapTo(&view, QPoint()).y(), label->text());
    for (const auto* button : view.findChildren<QAbstractButton*>())
        items.emplace_back(button->mapTo(&view, QPoint()).y(), button->text());
    std::sort(items.begin(), items.end());
    QStringList texts;
    for (const auto& item : items)
        texts.append(item.second);
    return texts;
}

class UpdateRequiredViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(installStringTable(*qApp)); }

    std::unique_ptr<TessaronUpdateRequiredView> makeView(TessaronUpdateRequiredView::Fields fields) {
        fields.primaryAction = [this] {
            ++primaryActions;
        };
        auto view = std::make_unique<TessaronUpdateRequiredView>(std::move(fields), workspace);
        view->resize(640, 560);
        view->show();
        return view;
    }

    FakeWorkspace workspace;
    int primaryActions = 0;
};

TEST_F(UpdateRequiredViewTest, ShowsEveryTextAndTheLinkOnlyWithADownloadPage) {
    const QString message =
        QStringLiteral("Tessaron 2.0.1 is required to keep connecting. Update to continue.");
    const QString note = QStringLiteral(
        "Tessaron opens the download page for you. Install the new version, then open Tessaron again.");
    struct Case {
        QString installed;
        std::optional<QUrl> secondary;
        QStringList texts;
    };
    const Case cases[] = {
        {QStringLiteral("1.4.0"),
         page,
         {"Update required", message, note, "Update Tessaron", "Open download page",
          "Version 1.4.0 installed"}},
        {QString(),
         std::nullopt,
         {"Update required", message, note, "Update Tessaron", "Version  installed"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed.toStdString());
        const auto view = makeView({.version = QStringLiteral("2.0.1"),
                                    .installed = c.installed,
                                    .primaryURL = std::nullopt,
                                    .primaryFallbackURL = std::nullopt,
                                    .primaryAction = {},
                                    .secondaryURL = c.secondary});
        EXPECT_EQ(textsInOrder(*view), c.texts);
    }
}

TEST_F(UpdateRequiredViewTest, PrimaryOpensItsURLWithFallbackElseRunsTheAction) {
    struct Case {
        const char* name;
        std::optional<QUrl> url, fallbackURL;
        bool refused;
        QList<QUrl> opened;
        int actions;
    };
    const Case cases[] = {
        {"accepted", primary, fallback, false, {primary}, 0},
        {"refused with fallback", primary, fallback, true, {primary, fallback}, 0},
        {"refused without fallback", primary, std::nullopt, true, {primary}, 0},
        {"no URL", std::nullopt, fallback, false, {}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        workspace = FakeWorkspace();
        if (c.refused)
            workspace.refused = {primary};
        primaryActions = 0;
        const auto view = makeView({.version = QStringLiteral("2.0"),
                                    .installed = QStringLiteral("1.0"),
                                    .primaryURL = c.url,
                                    .primaryFallbackURL = c.fallbackURL,
                                    .primaryAction = {},
                                    .secondaryURL = page});
        QTest::mouseClick(view->findChild<TessaronPrimaryButton*>(), Qt::LeftButton);
        EXPECT_EQ(workspace.opened, c.opened);
        EXPECT_EQ(primaryActions, c.actions);
    }
    workspace = FakeWorkspace();
    primaryActions = 0;
    const auto view = makeView({.version = {}, .installed = {}, .secondaryURL = page});
    QTest::mouseClick(view->findChild<TessaronSecondaryButton*>(), Qt::LeftButton);
    EXPECT_EQ(workspace.opened, QList<QUrl>{page});
    EXPECT_EQ(primaryActions, 0);
}

TEST_F(UpdateRequiredViewTest, CentresANarrowColumnOnBlack) {
    const auto view = makeView(
        {.version = QStringLiteral("2.0.1"), .installed = QStringLiteral("1.4.0"), .secondaryURL = page});
    const QImage image = capture(*view, {800, 600}, QStringLiteral("update-required"));
    const auto* primaryButton = view->findChild<TessaronPrimaryButton*>();
    const auto* link = view->findChild<TessaronSecondaryButton*>();
    for (const QAbstractButton* button :
         {static_cast<const QAbstractButton*>(primaryButton), static_cast<const QAbstractButton*>(link)}) {
        const QRect frame(button->mapTo(view.get(), QPoint()), button->size());
        EXPECT_EQ(frame.width(), 280);
        EXPECT_GE(frame.height(), 48);
        EXPECT_NEAR(frame.center().x(), 400, 1);
    }
    EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(799, 599)), QColor(Qt::black));

    EXPECT_EQ(view->findChildren<QLabel*>().front()->width(), 420 - 2 * 24);

    // In a narrow window the column keeps its 24-point padding.
    capture(*view, {300, 600}, QStringLiteral("update-required-narrow"));
    EXPECT_EQ(primaryButton->width(), 300 - 2 * 24);
}

// A window with a button and a text field where the view will lie.
class CoveredHost : public QWidget {
public:
    CoveredHost() {
        button.setGeometry(20, 20, 120, 40);
        field.setGeometry(20, 80, 120, 40);
        field.setFocusPolicy(Qt::StrongFocus);
        resize(500, 400);
    }
    QPushButton button{QStringLiteral("Connect"), this};
    QPushButton field{QStringLiteral("Field"), this};
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST_F(UpdateRequiredViewTest, CoversItsHostSoNothingBeneathIsReached) {
    CoveredHost host;
    QSignalSpy clicked(&host.button, &QAbstractButton::clicked);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    host.field.setFocus();

    TessaronUpdateRequiredView view({.version = QStringLiteral("2.0"), .installed = {}}, workspace);
    view.showOver(host);
    EXPECT_EQ(view.geometry(), host.rect());
    host.resize(700, 520);
    EXPECT_EQ(view.geometry(), host.rect());

    // Focus moves off the covered field, and back when something beneath asks for it.
    auto* primaryButton = view.findChild<TessaronPrimaryButton*>();
    EXPECT_EQ(QApplication::focusWidget(), primaryButton);
    host.field.setFocus();
    EXPECT_EQ(QApplication::focusWidget(), primaryButton);

    // Through the window, as the desktop delivers them.
    QTest::mouseClick(host.windowHandle(), Qt::LeftButton, {}, host.button.geometry().center());
    QTest::mouseClick(host.windowHandle(), Qt::LeftButton, {}, QPoint(690, 510));
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(host.presses, 0);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(&view)->state().modal);
}

TEST_F(UpdateRequiredViewTest, FieldsFromTheCheckerStartTheUsersCheck) {
    class CountingFramework final : public UpdateFramework {
    public:
        void start() override {}
        void checkForUpdatesInBackground() override {}
        void checkForUpdates() override { ++userChecks; }
        bool canCheckForUpdates() const override { return true; }
        int userChecks = 0;
    };
    ManualClock clock;
    MemoryPreferences defaults, gatePreferences;
    TessaronServerUpgradeGate gate(gatePreferences);
    FakeHttpTransport transport;
    transport.setResponder([](const HttpRequest&) -> HttpOutcome {
        return HttpResponse{.status = 404, .headers = {}, .body = {}, .truncated = false};
    });
    const ReleaseFeed feed(transport, QUrl(QStringLiteral("https://tessaron.test/releases/mac/latest.json")));
    CountingFramework framework;
    ProgramLocations locations;
    locations.downloadPage = page;
    TessaronUpdateChecker checker(
        UpdateCheckerServices{clock, defaults, feed, gate, framework,
                              BundleInfo({{"CFBundleShortVersionString", "1.4.0"}}, locations)});

    TessaronReleaseInfo required;
    required.version = QStringLiteral("2.0.1");
    auto fields = updateRequiredFields(checker, required);
    EXPECT_EQ(fields.version, QStringLiteral("2.0.1"));
    EXPECT_EQ(fields.installed, QStringLiteral("1.4.0"));
    EXPECT_EQ(fields.secondaryURL, page);
    EXPECT_FALSE(fields.primaryURL);
    TessaronUpdateRequiredView view(std::move(fields), workspace);
    QTest::mouseClick(view.findChild<TessaronPrimaryButton*>(), Qt::LeftButton);
    EXPECT_EQ(framework.userChecks, 1);
    EXPECT_TRUE(workspace.opened.isEmpty());
}

TEST(UpdateCard, TakesNoSpaceInAColumn) {
    QWidget column;
    auto* layout = new QVBoxLayout(&column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(28);
    layout->addWidget(new TessaronUpdateCard(&column));
    auto* first = new QLabel(QStringLiteral("first"), &column);
    layout->addWidget(first);
    layout->addStretch();
    column.resize(200, 200);
    column.show();
    EXPECT_EQ(first->y(), 0);
    EXPECT_FALSE(column.findChild<TessaronUpdateCard*>()->isVisible());
}

} // namespace
} // namespace tessaron::testing
