#include "account_screens/fake_account_screen_model.hpp"
#include "app/application_updates.hpp"
#include "app/main_window.hpp"
#include "app/sheet_contents.hpp"
#include "screens/button_styles.hpp"
#include "screens/home_fixture.hpp"
#include "screens/string_table.hpp"
#include "screens/update_required_view.hpp"
#include "support/fake_browser.hpp"
#include "support/fake_workspace.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"

#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace tessaron::testing {

namespace {

// The main window over the real update checker, its release feed served over HTTPS on loopback. Installed
// is 1.0; the feed offers 2.0 with the minimum the test sets. The stores outlive a relaunch.
class UpdateCoverIntegrationTest : public ::testing::Test {
protected:
    UpdateCoverIntegrationTest() {
        static const bool installed = installStringTable(*QCoreApplication::instance());
        EXPECT_TRUE(installed);
        server.on("GET", "/releases/mac/latest.json", [this](const HttpsTestServer::Request&) {
            return HttpsTestServer::Reply{.body = R"({"version":"2.0","build":20,"url":"https://x.test/get",)"
                                                  R"("minimumVersion":")" +
                                                  QByteArray(feedMinimum) + R"("})"};
        });
        harness.grantConsent();
        harness.start();
    }
    ~UpdateCoverIntegrationTest() override { delete window; }

    // Starts the updates and the main window anew, as a relaunch would.
    void relaunch() {
        delete window;
        updates.reset();
        ProgramLocations locations = ProgramLocations::builtIn();
        locations.releaseFeed = server.url(QStringLiteral("/releases/mac/latest.json"));
        locations.downloadPage = downloadPage;
        updates = std::make_unique<ApplicationUpdates>(UpdateSurroundings{
            .bundle = BundleInfo({{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0")}},
                                 locations),
            .transport = {.trustedAuthorities = server.caCertificates()},
            .defaults = defaults,
            .gate = gate,
        });
        const auto cover = [this](QWidget& w) {
            return makeUpdateCover(updates->checker(), workspace, w);
        };
        window = new TessaronMainWindow([this, cover] {
            return MainWindowServices{*harness.session, account,           accountScreens, power,
                                      updates->state(), harness.activator, workspace,      cover};
        });
        window->show();
    }
    TessaronUpdateRequiredView* cover() const {
        auto* host = window->sheetHost();
        return host ? qobject_cast<TessaronUpdateRequiredView*>(host->cover()) : nullptr;
    }
    static bool eventually(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }

    HttpsTestServer server;
    const QUrl downloadPage = server.url(QStringLiteral("/download/mac"));
    std::atomic<const char*> feedMinimum = "2.0";
    MemoryPreferences defaults, gatePreferences;
    TessaronServerUpgradeGate gate{gatePreferences};
    SessionHarness harness;
    FakeHomeAccount account{harness.signIn};
    FakeAccountScreenModel accountScreens;
    FakePowerState power;
    FakeWorkspace workspace;
    std::unique_ptr<ApplicationUpdates> updates;
    QPointer<TessaronMainWindow> window;
};

TEST_F(UpdateCoverIntegrationTest, AMinimumAboveTheInstalledVersionCoversTheWindowUntilItIsMet) {
    FakeBrowser browser;
    relaunch();
    ASSERT_TRUE(eventually([this] { return cover() != nullptr; }))
        << "the feed's minimum 2.0 is above the installed 1.0";
    EXPECT_EQ(cover()->findChildren<QLabel*>().last()->text(), QStringLiteral("Version 1.0 installed"));
    auto* primary = cover()->findChild<TessaronPrimaryButton*>();
    ASSERT_NE(primary, nullptr);
    ASSERT_TRUE(eventually([this] { return updates->state().canCheckForUpdates(); }));
    browser.opened.clear();
    primary->click();
    ASSERT_TRUE(eventually([&] { return !browser.opened.isEmpty(); }));
    EXPECT_EQ(browser.opened, QList{downloadPage});

    feedMinimum = "1.0";
    relaunch();
    ASSERT_TRUE(eventually([this] { return updates->state().available().has_value(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(cover(), nullptr) << "a met minimum lifts the cover";
    EXPECT_EQ(updates->state().available(), (TessaronReleaseOffer{QStringLiteral("2.0"), downloadPage}));
}

} // namespace
} // namespace tessaron::testing
