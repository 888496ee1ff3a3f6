#include "account/account_model_fixture.hpp"
#include "app/application_session.hpp"
#include "app/model_home_account.hpp"
#include "session/session_harness.hpp"
#include "session/session_keys.hpp"
#include "updates/crash_report_store.hpp"
#include "updates/crash_reporter.hpp"
#include "updates/crash_source.hpp"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

class CountingSource final : public TessaronCrashReportSource {
public:
    void start(Deliver) override { ++starts; }
    std::atomic<int> starts = 0;
};

class IdleUploader final : public TessaronCrashReportUploader {
public:
    QCoro::Task<bool> upload(TessaronCrashReport, CancellationToken) override { co_return true; }
};

struct Reporting {
    explicit Reporting(bool underHarness) {
        if (underHarness)
            environment.insert(TessaronCrashReporter::testHarnessVariable, QString());
    }
    CrashReportingParts parts() {
        return {environment, source, [] { return std::make_unique<IdleUploader>(); }, store};
    }

    QProcessEnvironment environment;
    QTemporaryDir folder;
    std::shared_ptr<CountingSource> source = std::make_shared<CountingSource>();
    std::shared_ptr<FileCrashReportStore> store = std::make_shared<FileCrashReportStore>(folder.path());
    TessaronCrashReporter reporter;
};

// The session starts crash reporting once, as the last step of its construction; the start waits, held,
// for the first picture, and the test harness's variable keeps it from ever building anything.
TEST(CrashReportingStartTest, TheSessionStartsItLastHeldUntilTheFirstPictureAndNeverUnderTheHarness) {
    struct Row {
        const char* name;
        bool underHarness;
        int sourceStarts;
    };
    for (const Row row :
         {Row{"outside the test harness", false, 1}, Row{"under the test harness", true, 0}}) {
        SCOPED_TRACE(row.name);
        SessionHarness harness;
        harness.preferences.setValue(session_keys::lastGood, QStringLiteral("{}"));
        Reporting reporting(row.underHarness);
        int calls = 0;
        bool afterTheRestOfConstruction = false;
        harness.startCrashReporting =
            [&, start = heldCrashReportingStart(reporting.reporter, reporting.parts())] {
                ++calls;
                afterTheRestOfConstruction = !harness.preferences.value(session_keys::lastGood).isValid() &&
                                             harness.host.observerCount() == 1;
                start();
            };
        harness.start();
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(afterTheRestOfConstruction) << "the settings were read and the host observed first";
        harness.settle();
        EXPECT_TRUE(reporting.reporter.waitForIdle(5s));
        EXPECT_EQ(reporting.source->starts, 0) << "nothing is built or read before the first picture";

        reporting.reporter.resume();
        reporting.reporter.resume();
        ASSERT_TRUE(reporting.reporter.waitForIdle(5s));
        EXPECT_EQ(reporting.source->starts, row.sourceStarts);
    }
}

TEST(CrashReportingStartTest, AQuitBeforeTheFirstPictureLeavesTheHeldStartUndone) {
    Reporting reporting(false);
    reporting.reporter.hold();
    reporting.reporter.start(reporting.parts());
    EXPECT_TRUE(reporting.reporter.stop(1s));
    reporting.reporter.resume();
    EXPECT_TRUE(reporting.reporter.waitForIdle(5s));
    EXPECT_EQ(reporting.source->starts, 0);
}

// Held, the home view's refresh asks the account service for nothing until the first picture is on screen;
// one whose view went meanwhile (cancelled) asks for nothing even then.
TEST_F(AccountModelTest, TheHomeViewsRefreshWaitsForTheFirstPictureAndACancelledOneAsksNothing) {
    storeToken("tok-1");
    build();
    harness.settle();
    ModelHomeAccount home(*model);
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);

    home.hold();
    CancellationSource gone;
    track(home.refresh(&session(), gone.token()));
    harness.settle();
    gone.cancel();
    home.release();
    harness.settle();
    EXPECT_TRUE(service.sent.isEmpty());

    home.hold();
    track(home.refresh(&session(), {}));
    harness.settle();
    EXPECT_TRUE(service.sent.isEmpty()) << "nothing before the first picture";
    home.release();
    home.release();
    harness.settle();
    EXPECT_EQ(service.sentTo(QStringLiteral("GET /v1/account")).size(), 1);
    EXPECT_EQ(home.accountEmail(), QStringLiteral("ann@example.com"));
}

// The keyring's delay in answering the stored token's read, from the model's construction.
class AccountStartTest : public AccountModelTest, public ::testing::WithParamInterface<Clock::Duration> {};

// The start in the application's own order: the home view asks for its refresh as it appears, held, and
// startAccountAfterFirstPaint lets it go and starts the launch refresh. A signed-in user without a
// connection gets the account's connection, whether the keyring answered before the first picture or
// after it.
TEST_P(AccountStartTest, TheHomeViewsRefreshRecoversTheAccountsConnectionBeforeTheLaunchRefreshRuns) {
    const auto oslo = sampleProfile(QStringLiteral("Oslo"));
    const auto profileCall = QStringLiteral("POST /v1/account/profile");
    storeToken("tok-1");
    service.answer(QStringLiteral("GET /v1/account"), 200, accountReply);
    service.answer(profileCall, 200, envelopeReply(oslo));
    TessaronSession& empty = session();
    harness.keychain.hold();
    track(releaseAfter(&harness.keychain, &harness.clock, GetParam()));
    build();
    ModelHomeAccount home(*model);
    home.hold();
    track(home.refresh(&empty, {}));
    harness.advance(100ms);
    startAccountAfterFirstPaint(home, *model, true);
    harness.advance(GetParam());
    EXPECT_EQ(std::tuple(service.sentTo(QStringLiteral("GET /v1/account")).size(),
                         service.sentTo(profileCall).size(), empty.selectedID(), home.accountEmail()),
              std::tuple(1, 1, std::optional(oslo.id), QStringLiteral("ann@example.com")));
}

INSTANTIATE_TEST_SUITE_P(Keyring, AccountStartTest, ::testing::Values(Clock::Duration(0), 1500ms),
                         [](const auto& info) { return info.param > 0ms ? "Slow" : "Fast"; });

} // namespace
} // namespace tessaron::testing
