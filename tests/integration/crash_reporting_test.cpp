#include "support/https_test_server.hpp"
#include "updates/crash_report.hpp"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <vector>

extern char** environ;

namespace tessaron::testing {
namespace {

struct Ending {
    bool signalled = false;
    int number = 0; // the signal, or the exit code
};

// Runs the crash child to its end, without the test-harness variable: it behaves as the application.
Ending runChild(const QStringList& arguments) {
    std::vector<QByteArray> storage{QByteArray(TESSARON_CRASH_CHILD)};
    for (const auto& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (auto& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (!QByteArray(*entry).startsWith("XCTestConfigurationFilePath="))
            environment.push_back(*entry);
    }
    environment.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environment.data()) != 0)
        return {false, -1};
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        return {true, WTERMSIG(status)};
    return {false, WEXITSTATUS(status)};
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

TEST_F(CrashReportingTest, ACrashIsReportedAtTheNextStart) {
    struct Case {
        const char* how;
        int signal;
    };
    const std::vector<Case> cases{
        {"null-write", SIGSEGV}, {"stack-overflow", SIGSEGV}, {"uncaught-exception", SIGABRT}};
    for (const auto& c : cases) {
        const auto before = QDateTime::currentSecsSinceEpoch();
        const auto crashed = runChild({folder.path(), QString::fromLatin1(c.how)});
        EXPECT_TRUE(crashed.signalled) << c.how;
        EXPECT_EQ(crashed.number, c.signal) << c.how;
        ASSERT_EQ(leftInFolder().size(), 1) << c.how;

        const auto requestsBefore = server.requests().size();
        EXPECT_FALSE(sendReports().signalled);
        ASSERT_EQ(server.requests().size(), requestsBefore + 1) << c.how;
        const auto body = server.requests().back().body;
        const auto report = TessaronCrashReport::decoded(body);
        EXPECT_EQ(report.signal, QString::number(c.signal)) << c.how;
        EXPECT_EQ(report.build, 142);
        EXPECT_EQ(report.appVersion, QStringLiteral("1.4.2"));
        const auto crashedAt = QDateTime::fromString(report.crashedAt, Qt::ISODate).toSecsSinceEpoch();
        EXPECT_GE(crashedAt, before) << c.how;
        EXPECT_LE(crashedAt, QDateTime::currentSecsSinceEpoch()) << c.how;
        const auto tree = QJsonDocument::fromJson(report.callStackTree.toUtf8()).object();
        const auto frames = tree.value("threads").toArray().first().toObject().value("frames").toArray();
        EXPECT_FALSE(frames.isEmpty()) << c.how;
        EXPECT_TRUE(report.callStackTree.contains(QStringLiteral("tessaron-crash-child"))) << c.how;
        // A terminate is named; its exception's message never travels.
        EXPECT_EQ(report.terminationReason,
                  c.signal == SIGABRT ? QStringLiteral("std::terminate") : QString());
        EXPECT_FALSE(body.contains("must not travel"));
        EXPECT_TRUE(leftInFolder().isEmpty()) << c.how;
    }
}

TEST_F(CrashReportingTest, AReportRefusedOnceGoesAtTheNextStart) {
    EXPECT_TRUE(runChild({folder.path(), QStringLiteral("null-write")}).signalled);
    status = 500;
    EXPECT_FALSE(sendReports().signalled);
    EXPECT_EQ(server.requests().size(), 1);
    const auto stored = leftInFolder();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_TRUE(stored.front().endsWith(QStringLiteral(".json")));

    status = 202;
    EXPECT_FALSE(sendReports().signalled);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().back().body, server.requests().front().body);
    EXPECT_TRUE(leftInFolder().isEmpty());
}

} // namespace
} // namespace tessaron::testing
