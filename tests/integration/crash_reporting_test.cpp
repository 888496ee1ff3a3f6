#include "support/https_test_server.hpp"
#include "updates/crash_report.hpp"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>

namespace tessaron::testing {
namespace {

struct Ending {
    bool signalled = false;
    int number = 0; // the signal, or the exit code
    bool operator==(const Ending&) const = default;
};

// Runs the crash child to its end, without the test-harness variable: it behaves as the application.
Ending runChild(const QStringList& arguments) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(TESSARON_CRASH_CHILD), arguments);
    child.waitForFinished(60'000);
    // After a crash the exit code is the signal.
    return {child.exitStatus() == QProcess::CrashExit, child.exitCode()};
}

class CrashReportingTest : public ::testing::Test {
protected:
    CrashReportingTest() {
        server.on("POST", "/v1/diagnostics/crash",
                  [this](const auto&) { return HttpsTestServer::Reply{.status = status.load()}; });
    }

    Ending sendReports() {
        return runChild(
            {folder.path(), QStringLiteral("report"), server.baseUrl().toString(), server.caPath()});
    }
    QStringList leftInFolder() const { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir folder;
    HttpsTestServer server;
    std::atomic<int> status = 202;
};

TEST_F(CrashReportingTest, ACrashIsReportedAtTheNextStartOrTheOneAfterWhenRefused) {
    // How the child crashes, the signal it dies of, and whether the first report is refused.
    const std::tuple<const char*, int, bool> cases[] = {{"null-write", SIGSEGV, true},
                                                        {"stack-overflow", SIGSEGV, false},
                                                        {"uncaught-exception", SIGABRT, false}};
    for (const auto& [how, signalNumber, refusedOnce] : cases) {
        SCOPED_TRACE(how);
        const auto before = QDateTime::currentSecsSinceEpoch();
        EXPECT_EQ(runChild({folder.path(), QString::fromLatin1(how)}), (Ending{true, signalNumber}));
        ASSERT_EQ(leftInFolder().size(), 1);

        const auto requestsBefore = server.requests().size();
        if (refusedOnce) {
            status = 500;
            EXPECT_FALSE(sendReports().signalled);
            ASSERT_EQ(leftInFolder().size(), 1);
            EXPECT_TRUE(leftInFolder().front().endsWith(QStringLiteral(".json")));
            status = 202;
        }
        EXPECT_FALSE(sendReports().signalled);
        ASSERT_EQ(server.requests().size(), requestsBefore + (refusedOnce ? 2 : 1));
        const auto body = server.requests().back().body;
        EXPECT_EQ(body, server.requests()[requestsBefore].body);
        const auto report = TessaronCrashReport::decoded(body);
        EXPECT_EQ(report.signal, QString::number(signalNumber));
        EXPECT_EQ(report.build, 142);
        const auto crashedAt = QDateTime::fromString(report.crashedAt, Qt::ISODate).toSecsSinceEpoch();
        EXPECT_GE(crashedAt, before);
        EXPECT_LE(crashedAt, QDateTime::currentSecsSinceEpoch());
        EXPECT_TRUE(report.callStackTree.contains(QStringLiteral(R"("module":"tessaron-crash-child")")))
            << "a frame of the crashed program";
        // A terminate is named; its exception's message never travels.
        EXPECT_EQ(report.terminationReason,
                  signalNumber == SIGABRT ? QStringLiteral("std::terminate") : QString());
        EXPECT_FALSE(body.contains("must not travel"));
        EXPECT_TRUE(leftInFolder().isEmpty());
    }
}

} // namespace
} // namespace tessaron::testing
