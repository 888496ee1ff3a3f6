#include "account_screens/fake_account_screen_model.hpp"
#include "app/application_updates.hpp"
#include "app/main_window.hpp"
#include "app/opened_urls.hpp"
#include "app/sheet_contents.hpp"
#include "screens/button_styles.hpp"
#include "screens/home_fixture.hpp"
#include "screens/string_table.hpp"
#include "screens/update_required_view.hpp"
#include "support/fake_workspace.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace tessaron::testing {

OpenedUrls::OpenedUrls(const QString& scheme)
    : scheme_(scheme) {
    QDesktopServices::setUrlHandler(scheme_, this, "open");
}

OpenedUrls::~OpenedUrls() {
    QDesktopServices::unsetUrlHandler(scheme_);
}

namespace {

const QByteArray feedPath = "/releases/mac/latest.json";

// The main window over the real update checker, whose release feed an HTTPS server on loopback serves.
// Installed is 1.0; the feed offers 2.0 with the minimum the test sets, or is down. The floor and the
// server's requirement are kept across restarts, as the application's stores keep them.
class UpdateCoverIntegrationTest : public ::testing::Test {
protected:
    UpdateCoverIntegrationTest() {
        static const bool installed = installStringTable(*QCoreApplication::instance());
        EXPECT_TRUE(installed);
        server.on("GET", feedPath, [this](const HttpsTestServer::Request&) {
            const QByteArray minimum = feedMinimum.load() == 2 ? "2.0" : "1.0";
            if (feedDown)
                return HttpsTestServer::Reply{.status = 503};
            return HttpsTestServer::Reply{.body = R"({"version":"2.0","build":20,"url":")" +
                                                  server.url("/get").toEncoded() + R"(","minimumVersion":")" +
                                                  minimum + R"("})"};
        });
        harness.grantConsent();
        harness.start();
    }
    ~UpdateCoverIntegrationTest() override { delete window; }

    // Starts the updates and the main window anew, as a relaunch would.
    void launch() {
        delete window;
        updates.reset();
        ProgramLocations locations = ProgramLocations::builtIn();
        locations.releaseFeed = server.url(QString::fromLatin1(feedPath));
        locations.downloadPage = server.url(QStringLiteral("/download/mac"));
        updates = std::make_unique<ApplicationUpdates>(UpdateSurroundings{
            .bundle = BundleInfo({{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0")},
                                  {QStringLiteral("CFBundleVersion"), QStringLiteral("10")}},
                                 locations),
            .transport = {.trustedAuthorities = server.caCertificates()},
            .defaults = defaults,
            .gate = gate,
        });
        window = new TessaronMainWindow([this] {
            auto& checker = updates->checker();
            return MainWindowServices{*harness.session,
                                      account,
                                      accountScreens,
                                      power,
                                      updates->state(),
                                      harness.activator,
                                      workspace,
                                      [&checker, this](QWidget& window) {
                                          return makeUpdateCover(checker, workspace, window);
                                      }};
        });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.data()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return window->sheetHost() != nullptr; }, 5000));
    }
    // The cover once the first fetch has been answered; none when the fetch lifts it.
    TessaronUpdateRequiredView* settledCover() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return fetches() > fetchesBefore; }, 10000));
        QTest::qWait(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return qobject_cast<TessaronUpdateRequiredView*>(window->sheetHost()->cover());
    }
    qsizetype fetches() const {
        const auto requests = server.requests();
        return std::ranges::count_if(requests, [](const auto& request) { return request.path == feedPath; });
    }
    void relaunch() {
        fetchesBefore = fetches();
        launch();
    }

    HttpsTestServer server;
    std::atomic<int> feedMinimum = 2;
    std::atomic<bool> feedDown = false;
    qsizetype fetchesBefore = 0;
    MemoryPreferences defaults;
    MemoryPreferences gatePreferences;
    TessaronServerUpgradeGate gate{gatePreferences};
    SessionHarness harness;
    FakeHomeAccount account{harness.signIn};
    FakeAccountScreenModel accountScreens;
    FakePowerState power;
    FakeWorkspace workspace;
    std::unique_ptr<ApplicationUpdates> updates;
    QPointer<TessaronMainWindow> window;
};

QStringList labelTexts(const QWidget& widget) {
    QStringList texts;
    for (const auto* label : widget.findChildren<QLabel*>())
        texts.append(label->text());
    return texts;
}

TEST_F(UpdateCoverIntegrationTest, AMinimumAboveTheInstalledVersionCoversTheWindowUntilItIsMet) {
    OpenedUrls opened(QStringLiteral("https"));
    relaunch();
    auto* cover = settledCover();
    ASSERT_NE(cover, nullptr) << "the feed's minimum 2.0 is above the installed 1.0";
    EXPECT_EQ(cover->geometry(), window->rect());
    const auto texts = labelTexts(*cover);
    EXPECT_TRUE(
        texts.contains(QStringLiteral("Tessaron 2.0 is required to keep connecting. Update to continue.")))
        << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.0 installed")));
    EXPECT_TRUE(texts.contains(QStringLiteral(
        "Tessaron opens the download page for you. Install the new version, then open Tessaron again.")));
    auto* primary = cover->findChild<TessaronPrimaryButton*>();
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(primary->text(), QStringLiteral("Update Tessaron"));

    const QUrl downloadPage = server.url(QStringLiteral("/download/mac"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return updates->state().canCheckForUpdates(); }, 10000));
    const auto openedBefore = opened.urls.size();
    primary->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.urls.size() > openedBefore; }, 10000));
    EXPECT_EQ(opened.urls.last(), downloadPage);

    feedDown = true;
    relaunch();
    EXPECT_NE(settledCover(), nullptr) << "with the feed down the stored floor keeps the cover";

    feedDown = false;
    feedMinimum = 1;
    relaunch();
    EXPECT_EQ(settledCover(), nullptr) << "a met minimum lifts the cover";
    EXPECT_EQ(updates->state().available(), (TessaronReleaseOffer{QStringLiteral("2.0"), downloadPage}));
}

} // namespace
} // namespace tessaron::testing
