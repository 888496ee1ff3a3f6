#include "account/account_model_fixture.hpp"
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
using namespace Qt::StringLiterals;

namespace tessaron::testing {
namespace {

using LinkDisplay = TessaronOtherDevicesView::LinkDisplay;

const QUrl link(u"https://sub.tessaron.app/s/Yq3t9KcV2mLx7PzR4wNb8dJh"_s);
const QString resetTitle = u"Reset link? Devices using the old link will stop working."_s;

TessaronSubscriptionLinkStatus linkStatus(bool active, std::optional<QDateTime> createdAt = std::nullopt,
                                          std::optional<QDateTime> lastFetchedAt = std::nullopt) {
    return {.active = active, .deviceName = {}, .createdAt = createdAt, .lastFetchedAt = lastFetchedAt};
}

TEST(LinkCaptions, EachStatusFieldGetsItsEnglishCaption) {
    const QDateTime now = QDateTime::fromString(u"2025-03-07T15:00:00"_s, Qt::ISODate);
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    for (const auto& [status, captions] : std::initializer_list<std::pair<Status, QStringList>>{
             {std::nullopt, {u"Not used yet"_s}},
             {linkStatus(true, now.addSecs(-51 * 3600)), {u"Created Mar 5, 2025"_s, u"Not used yet"_s}},
             {linkStatus(true, std::nullopt, now.addSecs(-3 * 3600)), {u"Last used 3 hours ago"_s}},
             {linkStatus(true, std::nullopt, now.addDays(-1)), {u"Last used yesterday"_s}}})
        EXPECT_EQ(linkCaptions(status, now, QLocale(QLocale::English, QLocale::UnitedStates)), captions);
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
    bool shows(const QString& text) { return visibleTexts(view()).contains(text); }

    ManualClock clock;
    FakeWorkspace workspace;
    FakeAccountScreenModel model;
    std::unique_ptr<TessaronOtherDevicesView> view_;
};

// The page follows the link's status and the URL held here; busy disables its actions but not the guide or
// "Close". The pages with and without a link are saved as pictures.
TEST_F(OtherDevicesTest, PagesAndTheirActions) {
    using Status = std::optional<TessaronSubscriptionLinkStatus>;
    const QStringList linkRows{u"Copy link"_s, u"Reset link"_s, u"Remove link"_s};
    const QStringList busyRows{u"[Copy link]"_s, u"[Reset link]"_s, u"[Remove link]"_s};
    // Status, URL held here, unavailable, busy: the buttons shown besides "Close".
    for (const auto& [status, url, unavailable, busy, buttons] :
         std::initializer_list<std::tuple<Status, std::optional<QUrl>, bool, bool, QStringList>>{
             {std::nullopt, std::nullopt, false, true, {u"[Create link]"_s, u"How to set up"_s}},
             {std::nullopt, link, false, true, busyRows},
             {linkStatus(true), std::nullopt, false, true, {u"[Reset link]"_s, u"[Remove link]"_s}},
             {linkStatus(true), link, false, true, busyRows},
             {linkStatus(false),
              link,
              false,
              true,
              {u"[Create link]"_s, u"How to set up"_s}}, // an inactive status hides the URL
             {linkStatus(true), link, true, false, {}},
             {linkStatus(true), link, false, false, linkRows}}) {
        model.status = status;
        model.localURL = url;
        model.unavailable = unavailable;
        model.linkBusy = busy;
        model.publish();
        EXPECT_EQ(buttonTexts(view()), sorted(buttons + QStringList{u"Close"_s}));
        const QString shown = buttons.size() == 3 ? link.toString() : QString();
        EXPECT_EQ(view().findChild<TessaronSubscriptionQRCode*>()->value(), shown);
        EXPECT_EQ(shows(link.toString()), !shown.isEmpty());
        if ((!status && !url) || buttons == linkRows)
            capture(view(), QSize(440, 600), url ? u"other-devices-link"_s : u"other-devices-no-link"_s);
    }
    EXPECT_EQ(model.calls, QStringList{u"refreshSubscriptionLink"_s});
    click(byId<QAbstractButton>(view(), u"tessaron.otherDevices.guide"_s));
    EXPECT_EQ(workspace.opened, QList<QUrl>{TessaronSupportLinks::windowsGuide()});
}

TEST_F(OtherDevicesTest, CopyPutsExactlyTheURLOnTheClipboardForOneAndAHalfSeconds) {
    model.localURL = link;
    model.publish();
    QGuiApplication::clipboard()->setText(u"something else"_s);
    click(byId<QAbstractButton>(view(), u"tessaron.otherDevices.copy"_s));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), link.toString());
    clock.advance(1499ms);
    EXPECT_TRUE(shows(u"Copied"_s));
    EXPECT_EQ(byId<QAbstractButton>(view(), u"tessaron.otherDevices.copy"_s), nullptr);
    clock.advance(1ms);
    EXPECT_TRUE(shows(u"Copy link"_s));

    // Closing within the 1.5 s cancels the reset; the next presentation starts with "Copy link".
    click(buttonNamed(view(), u"Copy link"_s));
    view().close();
    EXPECT_EQ(clock.pendingCount(), 0u);
    view().show();
    EXPECT_TRUE(shows(u"Copy link"_s));
}

// Over the real account model, its service scripted: the service revokes the old link before it issues the
// new one, so only a refused DELETE may keep the old link on screen.
class OtherDevicesOverTheModelTest : public AccountModelTest {};

TEST_F(OtherDevicesOverTheModelTest, AResetWhosePostFailsOffersCreateAndOnlyAFailedDeleteKeepsTheOldLink) {
    const QString call = u"/v1/account/subscription-link"_s;
    const QString oldURL = u"https://accounts.test/v1/sub/"_s + QString(43, u'o');
    signedIn();
    TessaronAccountScreenModel screens(*model);
    FakeWorkspace workspace;
    TessaronOtherDevicesView view(screens, harness.clock, workspace);
    auto* code = view.findChild<TessaronSubscriptionQRCode*>();
    service.answer(u"GET "_s + call, 200, R"({"active":false})");
    service.enqueue(u"POST "_s + call, 201,
                    R"({"url":")" + oldURL.toUtf8() +
                        R"(","deviceName":"Windows / Android","createdAt":"2026-03-05T14:30:00Z"})");
    view.show();
    harness.settle();
    click(byId<QAbstractButton>(view, u"tessaron.otherDevices.create"_s));
    harness.settle();
    ASSERT_EQ(code->value(), oldURL);

    for (const int deleteStatus : {500, 204}) {
        service.enqueue(u"DELETE "_s + call, deleteStatus);
        service.enqueue(u"POST "_s + call, 500);
        click(buttonNamed(view, u"Reset link"_s));
        answer(view, resetTitle, u"Reset link"_s);
        harness.settle();
        EXPECT_EQ(code->value(), deleteStatus == 500 ? oldURL : QString()) << deleteStatus;
        EXPECT_EQ(visible(view, u"tessaron.otherDevices.create"_s), deleteStatus == 204) << deleteStatus;
        EXPECT_TRUE(visibleTexts(view).contains(model->otherDevicesError().value_or(u"an error"_s)))
            << deleteStatus;
    }
}

} // namespace
} // namespace tessaron::testing
