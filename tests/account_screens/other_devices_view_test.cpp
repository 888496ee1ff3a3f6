#include "account_screens/link_captions.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/subscription_qr_code.hpp"
#include "fake_account_screen_model.hpp"
#include "screen_probe.hpp"
#include "screens/screen_capture.hpp"
#include "screens/support_links.hpp"
#include "support/fake_workspace.hpp"
#include "support/manual_clock.hpp"

#include <QClipboard>
#include <QGuiApplication>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

using LinkDisplay = TessaronOtherDevicesView::LinkDisplay;

const QUrl link(QStringLiteral("https://sub.tessaron.app/s/Yq3t9KcV2mLx7PzR4wNb8dJh"));

TessaronSubscriptionLinkStatus linkStatus(bool active, std::optional<QDateTime> createdAt = std::nullopt,
                                          std::optional<QDateTime> lastFetchedAt = std::nullopt) {
    TessaronSubscriptionLinkStatus status;
    status.active = active;
    status.createdAt = createdAt;
    status.lastFetchedAt = lastFetchedAt;
    return status;
}

TEST(LinkDisplay, StatusDecidesWhetherALinkExistsAndTheLocalURLWhetherItShows) {
    struct Case {
        std::optional<TessaronSubscriptionLinkStatus> status;
        std::optional<QUrl> url;
        LinkDisplay display;
    };
    const QList<Case> cases{
        {std::nullopt, std::nullopt, LinkDisplay::noLink},
        {std::nullopt, link, LinkDisplay::linkShown},
        {linkStatus(true), std::nullopt, LinkDisplay::linkNotShown},
        {linkStatus(true), link, LinkDisplay::linkShown},
        // An inactive status hides a URL still held here.
        {linkStatus(false), link, LinkDisplay::noLink},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TessaronOtherDevicesView::linkDisplay(c.status, c.url), c.display);
}

TEST(LinkCaptions, EachStatusFieldGetsItsEnglishCaption) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDateTime now = QDateTime::fromString(QStringLiteral("2025-03-07T15:00:00"), Qt::ISODate);
    const QDateTime created = QDateTime::fromString(QStringLiteral("2025-03-05T12:00:00"), Qt::ISODate);
    struct Case {
        std::optional<TessaronSubscriptionLinkStatus> status;
        QStringList captions;
    };
    const QList<Case> cases{
        {std::nullopt, {QStringLiteral("Not used yet")}},
        {linkStatus(true, created), {QStringLiteral("Created Mar 5, 2025"), QStringLiteral("Not used yet")}},
        {linkStatus(true, std::nullopt, now.addSecs(-3 * 3600)), {QStringLiteral("Last used 3 hours ago")}},
        {linkStatus(true, std::nullopt, now.addDays(-1)), {QStringLiteral("Last used yesterday")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(linkCaptions(c.status, now, english), c.captions);
}

class OtherDevicesTest : public ::testing::Test {
protected:
    TessaronOtherDevicesView& view() {
        if (!view_) {
            view_ = std::make_unique<TessaronOtherDevicesView>(model, clock, workspace);
            view_->show();
        }
        return *view_;
    }
    void showLink(const QUrl& url) {
        model.localURL = url;
        model.status = linkStatus(true, clock.now());
        model.publish();
    }
    bool shows(const QString& text) { return visibleTexts(view()).contains(text); }
    QString shownCode() { return view().findChild<TessaronSubscriptionQRCode*>()->value(); }

    ManualClock clock;
    FakeWorkspace workspace;
    FakeAccountScreenModel model;
    std::unique_ptr<TessaronOtherDevicesView> view_;
};

TEST_F(OtherDevicesTest, BusyDisablesTheLinkActionsButNotTheGuideOrClose) {
    model.linkBusy = true;
    model.publish();
    view();
    EXPECT_EQ(model.names(), QStringList{QStringLiteral("refreshSubscriptionLink")});
    EXPECT_FALSE(byId(view(), QStringLiteral("tessaron.otherDevices.create"))->isEnabled());
    EXPECT_TRUE(byId(view(), QStringLiteral("tessaron.otherDevices.guide"))->isEnabled());
    EXPECT_TRUE(buttonNamed(view(), QStringLiteral("Close"))->isEnabled());
    click(qobject_cast<QAbstractButton*>(byId(view(), QStringLiteral("tessaron.otherDevices.guide"))));
    EXPECT_EQ(workspace.opened, QList<QUrl>{TessaronSupportLinks::windowsGuide()});

    for (bool hasURL : {true, false}) {
        model.localURL = hasURL ? std::optional(link) : std::nullopt;
        model.status = linkStatus(true);
        model.publish();
        for (const QString& text : {QStringLiteral("Reset link"), QStringLiteral("Remove link")})
            EXPECT_FALSE(buttonNamed(view(), text)->isEnabled()) << text.toStdString() << hasURL;
    }
    model.linkBusy = false;
    model.publish();
    EXPECT_TRUE(buttonNamed(view(), QStringLiteral("Reset link"))->isEnabled());
}

TEST_F(OtherDevicesTest, CopyPutsExactlyTheURLOnTheClipboardForOneAndAHalfSeconds) {
    showLink(link);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    click(qobject_cast<QAbstractButton*>(byId(view(), QStringLiteral("tessaron.otherDevices.copy"))));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), link.toString());
    EXPECT_TRUE(shows(QStringLiteral("Copied")));
    EXPECT_EQ(byId(view(), QStringLiteral("tessaron.otherDevices.copy")), nullptr);
    clock.advance(1499ms);
    EXPECT_TRUE(shows(QStringLiteral("Copied")));
    clock.advance(1ms);
    EXPECT_TRUE(shows(QStringLiteral("Copy link")));

    // Closing within the 1.5 s cancels the reset; the next presentation starts with "Copy link".
    click(buttonNamed(view(), QStringLiteral("Copy link")));
    view().close();
    EXPECT_EQ(clock.pendingCount(), 0u);
    view().show();
    EXPECT_TRUE(shows(QStringLiteral("Copy link")));
}

TEST_F(OtherDevicesTest, ConfirmationsStartTheirOperationOnlyWhenConfirmed) {
    struct Case {
        QString button;
        QString title;
        QString answer;
        QStringList calls;
    };
    const QString resetTitle = QStringLiteral("Reset link? Devices using the old link will stop working.");
    const QString removeTitle = QStringLiteral("Remove link? Windows and Android devices will disconnect.");
    const QList<Case> cases{
        {QStringLiteral("Reset link"), resetTitle, QStringLiteral("Cancel"), {}},
        {QStringLiteral("Reset link"),
         resetTitle,
         QStringLiteral("Reset link"),
         {QStringLiteral("replaceSubscriptionLink")}},
        {QStringLiteral("Remove link"), removeTitle, QStringLiteral("Cancel"), {}},
        {QStringLiteral("Remove link"),
         removeTitle,
         QStringLiteral("Remove link"),
         {QStringLiteral("revokeSubscriptionLink")}},
    };
    showLink(link);
    view();
    for (const Case& c : cases) {
        model.calls.clear();
        click(buttonNamed(view(), c.button));
        answer(view(), c.title, c.answer);
        EXPECT_EQ(model.names(), c.calls) << c.button.toStdString() << " / " << c.answer.toStdString();
    }
}

TEST_F(OtherDevicesTest, Screenshots) {
    showLink(link);
    capture(view(), QSize(440, 640), QStringLiteral("other-devices-link"));
    model.localURL.reset();
    model.status.reset();
    model.linkBusy = true;
    model.linkError = QStringLiteral("The account service could not create a link.");
    model.publish();
    capture(view(), QSize(440, 560), QStringLiteral("other-devices-no-link"));
}

} // namespace
} // namespace tessaron::testing
