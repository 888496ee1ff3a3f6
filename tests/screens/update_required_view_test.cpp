#include "screens/button_styles.hpp"
#include "screens/screen_capture.hpp"
#include "screens/secondary_button.hpp"
#include "screens/string_table.hpp"
#include "screens/update_card.hpp"
#include "screens/update_required_view.hpp"
#include "support/fake_workspace.hpp"

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

// The texts of labels and buttons from top to bottom.
QStringList textsInOrder(const QWidget& view) {
    QMultiMap<int, QString> texts;
    for (const auto* widget : view.findChildren<QWidget*>()) {
        const int y = widget->mapTo(&view, QPoint()).y();
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            texts.insert(y, label->text());
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts.insert(y, button->text());
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
    struct Case {
        std::optional<QUrl> url, fallbackURL;
        QList<QUrl> refused, opened;
        int actions;
    };
    const Case cases[] = {
        {primary, fallback, {}, {primary}, 0},
        {primary, fallback, {primary}, {primary, fallback}, 0},
        {primary, std::nullopt, {primary}, {primary}, 0},
        {std::nullopt, fallback, {}, {}, 1},
    };
    for (const auto& c : cases) {
        workspace = FakeWorkspace();
        workspace.refused = c.refused;
        primaryActions = 0;
        const auto view =
            makeView({.primaryURL = c.url, .primaryFallbackURL = c.fallbackURL, .secondaryURL = page});
        QTest::mouseClick(view->findChild<TessaronPrimaryButton*>(), Qt::LeftButton);
        EXPECT_EQ(workspace.opened, c.opened);
        EXPECT_EQ(primaryActions, c.actions);
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
}

TEST(UpdateCard, TakesNoSpaceInAColumn) {
    QWidget column;
    auto* layout = new QVBoxLayout(&column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new TessaronUpdateCard(&column));
    auto* first = new QLabel(QStringLiteral("first"), &column);
    layout->addWidget(first);
    column.show();
    EXPECT_EQ(first->y(), 0);
}

} // namespace
} // namespace tessaron::testing
