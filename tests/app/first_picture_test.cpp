#include "account/account_model_fixture.hpp"
#include "app/application_session.hpp"
#include "app/model_home_account.hpp"
#include "session/session_harness.hpp"
#include "session/session_keys.hpp"
#include "support/fake_workspace.hpp"
#include "support/scoped_environment.hpp"
#include "updates/crash_report_store.hpp"
#include "updates/crash_reporter.hpp"
#include "updates/crash_source.hpp"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <tuple>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

class CountingSource final : public TessaronCrashReportSource {
public:
    void start(Deliver) override { ++starts; }
    std::atomic<int> starts = 0;
};

// Takes every report, from the reporter's worker thread.
class RecordingUploader final : public TessaronCrashReportUploader {
public:
    explicit RecordingUploader(std::shared_ptr<QList<QUuid>> sent, std::shared_ptr<std::mutex> lock)
        : sent_(std::move(sent))
        , lock_(std::move(lock)) {}
    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken) override {
        std::lock_guard guard(*lock_);
        sent_->append(report.id);
        co_return true;
    }

private:
    std::shared_ptr<QList<QUuid>> sent_;
    std::shared_ptr<std::mutex> lock_;
};

struct Reporting {
    explicit Reporting(bool underHarness) {
        if (underHarness)
            environment.insert(TessaronCrashReporter::testHarnessVariable, QString());
    }
    CrashReportingParts parts() {
        return {environment,
                source,
                [sent = sent, lock = lock] { return std::make_unique<RecordingUploader>(sent, lock); },
                store,
                {}};
    }
    QList<QUuid> sentReports() {
        std::lock_guard guard(*lock);
        return *sent;
    }

    QProcessEnvironment environment;
    QTemporaryDir folder;
    std::shared_ptr<CountingSource> source = std::make_shared<CountingSource>();
    std::shared_ptr<FileCrashReportStore> store = std::make_shared<FileCrashReportStore>(folder.path());
    std::shared_ptr<QList<QUuid>> sent = std::make_shared<QList<QUuid>>();
    std::shared_ptr<std::mutex> lock = std::make_shared<std::mutex>();
    TessaronCrashReporter reporter;
};

// A report the previous run could not send.
TessaronCrashReport leftByThePreviousRun() {
    return TessaronCrashReport::decoded(
        R"({"id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22","platform":"macos",)"
        R"("installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","signal":"11"})");
}

// The session starts crash reporting once, as the very last step of its construction, and nothing else
// has to be called for the report a previous run left to be sent; the test harness's variable keeps it
// from ever building anything.
TEST(CrashReportingStartTest, TheSessionStartsItLastAndThePreviousRunsReportGoesWithNothingElseCalled) {
    struct Row {
        const char* name;
        bool underHarness;
        int sourceStarts;
        bool sent;
    };
    const LatencyTable sample{{QUuid::createUuid(), LatencySample{42, {}}}};
    for (const Row row :
         {Row{"outside the test harness", false, 1, true}, Row{"under the test harness", true, 0, false}}) {
        SCOPED_TRACE(row.name);
        SessionHarness harness;
        harness.preferences.setValue(session_keys::lastGood, QStringLiteral("{}"));
        Reporting reporting(row.underHarness);
        ASSERT_TRUE(reporting.store->save(leftByThePreviousRun()));
        int calls = 0;
        // The settings are read and the host observed; the targets are built (their pace is set only
        // there when no selection is restored), and the latency samples are followed.
        std::tuple<bool, bool, Clock::Duration> seenAtTheStart;
        harness.startCrashReporting = [&,
                                       start = crashReportingStart(reporting.reporter, reporting.parts())] {
            ++calls;
            seenAtTheStart = {!harness.preferences.value(session_keys::lastGood).isValid(),
                              harness.host.observerCount() == 1, harness.latencyMonitor().activeInterval()};
            Q_EMIT harness.latencyMonitor().samplesChanged(sample);
            start();
        };
        auto& session = harness.start();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(seenAtTheStart, std::tuple(true, true, Clock::Duration(30s)));
        EXPECT_EQ(session.latencies(), sample) << "the samples were followed before the start";

        ASSERT_TRUE(reporting.reporter.waitForIdle(5s));
        EXPECT_EQ(reporting.source->starts, row.sourceStarts);
        EXPECT_EQ(reporting.sentReports(), row.sent ? QList{leftByThePreviousRun().id} : QList<QUuid>());
    }
}

QCoro::Task<> markRun(std::atomic<bool>* ran) {
    ran->store(true);
    co_return;
}

// The application's own composition hands the session its crash hook: the session built on it starts the
// process's reporter as its construction ends, which then runs the steps scheduled on it; under the test
// harness's variable the reporter builds nothing.
TEST(CrashReportingStartTest, TheApplicationsSessionStartsTheProcesssReporter) {
    auto& reporter = TessaronCrashReporter::shared();
    const auto reporterRunsAfterASession = [&reporter](std::optional<QByteArray> harnessVariable) {
        SessionHarness harness;
        LocalMoveFileSystem files;
        FakeWorkspace workspace;
        TessaronApplicationMover mover(files, workspace, QStringLiteral("/nowhere"),
                                       QStringLiteral("tessaron"));
        QTemporaryDir data;
        {
            const ScopedEnvironment environment{
                {"XDG_DATA_HOME", QFile::encodeName(data.path())},
                {TessaronCrashReporter::testHarnessVariable.toLatin1(), harnessVariable}};
            harness.session =
                std::make_unique<TessaronSession>(withApplicationHooks(harness.services(), mover));
        }
        std::atomic<bool> ran = false;
        reporter.enqueue([&ran] { return markRun(&ran); });
        EXPECT_TRUE(reporter.waitForIdle(5s));
        return ran.load();
    };
    EXPECT_FALSE(reporterRunsAfterASession("ctest"));
    EXPECT_TRUE(reporterRunsAfterASession(std::nullopt));
    EXPECT_TRUE(reporter.stop(5s));
}

TEST(CrashReportingStartTest, AStartAfterAQuitBuildsNothing) {
    Reporting reporting(false);
    ASSERT_TRUE(reporting.store->save(leftByThePreviousRun()));
    EXPECT_TRUE(reporting.reporter.stop(1s));
    reporting.reporter.start(reporting.parts());
    EXPECT_TRUE(reporting.reporter.waitForIdle(5s));
    EXPECT_EQ(reporting.source->starts, 0);
    EXPECT_TRUE(reporting.sentReports().isEmpty());
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
