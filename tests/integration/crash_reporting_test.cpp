// A crash through the application's handler in a child process, reported at its next start; and the
// uploader's rules over real HTTPS.
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"
#include "updates/crash_report.hpp"
#include "updates/crash_uploader.hpp"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

namespace tessaron::testing {
namespace {

using Reply = HttpsTestServer::Reply;
using ObservedReply = std::pair<int, std::optional<QByteArray>>;

const QByteArray endpointPath = "/v1/diagnostics/crash";

TessaronCrashReport report() {
    return TessaronCrashReport::decoded(
        R"({"id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22","platform":"macos",)"
        R"("installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","signal":"11"})");
}

struct Ending {
    bool signalled = false;
    int number = 0; // the signal, or the exit code
    bool operator==(const Ending&) const = default;
};

// Runs a child to its end, without the test-harness variable: it behaves as the application.
Ending runChild(const QStringList& arguments, const QString& program = QStringLiteral(TESSARON_CRASH_CHILD)) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
    child.waitForFinished(60'000);
    // After a crash the exit code is the signal.
    return {child.exitStatus() == QProcess::CrashExit, child.exitCode()};
}

class CrashReportingTest : public ::testing::Test {
protected:
    CrashReportingTest() { answer({.status = 202}); }

    void answer(Reply reply) {
        server.on("POST", endpointPath, [reply](const auto&) { return reply; });
    }
    Ending sendReports() {
        return runChild({folder.path(), server.baseUrl().toString(), server.caPath()},
                        QStringLiteral(TESSARON_CRASH_REPORT_CHILD));
    }
    QStringList leftInFolder() const { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); }

    PairingCrashUploader uploaderFor(std::optional<QUrl> base, HttpTransport* through = nullptr) {
        return PairingCrashUploader(
            std::move(base), through ? *through : transport, SystemClock::shared(),
            [this](int status, std::optional<QByteArray> body) {
                observed.append({status, std::move(body)});
            },
            [] { return QStringLiteral("macos-direct/1.4.2/142"); });
    }
    bool upload(std::optional<QUrl> base) { return runTask(uploaderFor(std::move(base)).upload(report())); }

    QTemporaryDir folder;
    HttpsTestServer server;
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
    // Its 15 s time-out passes in 15 ms.
    QtHttpTransport impatient{{.trustedAuthorities = server.caCertificates(), .timeoutDivisor = 1000}};
    QList<ObservedReply> observed;
};

// Refused reports staying for a later launch is the pipeline's rule, pinned by its unit test.
TEST_F(CrashReportingTest, ACrashIsReportedAtTheNextStart) {
    // How the child crashes, and the signal it dies of.
    const std::pair<const char*, int> cases[] = {{"null-write", SIGSEGV},
                                                 {"stack-overflow", SIGSEGV},
                                                 {"thread-stack-overflow", SIGSEGV},
                                                 {"uncaught-exception", SIGABRT}};
    for (const auto& [how, signalNumber] : cases) {
        SCOPED_TRACE(how);
        const auto before = QDateTime::currentSecsSinceEpoch();
        EXPECT_EQ(runChild({folder.path(), QString::fromLatin1(how)}), (Ending{true, signalNumber}));
        ASSERT_EQ(leftInFolder().size(), 1);

        const auto requestsBefore = server.requests().size();
        EXPECT_FALSE(sendReports().signalled);
        ASSERT_EQ(server.requests().size(), requestsBefore + 1);
        const auto body = server.requests().back().body;
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

TEST_F(CrashReportingTest, TheSpoolGoesIntoTheFolderCheckedAtInstallThoughALinkTookItsPlace) {
    const QString path = folder.filePath(QStringLiteral("spools"));
    ASSERT_TRUE(QDir().mkdir(path));
    EXPECT_EQ(runChild({path, QStringLiteral("swapped-folder")}), (Ending{true, SIGSEGV}));
    EXPECT_EQ(QDir(path + QStringLiteral("-decoy")).entryList(QDir::Files), QStringList());
    EXPECT_EQ(QDir(path + QStringLiteral("-checked")).entryList(QDir::Files).size(), 1);
}

TEST_F(CrashReportingTest,
       TheUploaderPostsToTheOriginsEndpointOnlyAcceptedCountsAndEveryReplyReachesTheGate) {
    // Each reply, whether it counts as delivered, and whether the gate is given its body.
    const std::tuple<Reply, bool, bool> cases[] = {
        {{.status = 202, .headers = {}, .body = "{}"}, true, true},
        {{.status = 200, .headers = {}, .body = "{}"}, false, true},
        {{.status = 204}, false, true},
        // A redirect down to plain HTTP is not taken: it is the final reply, and nothing is posted again.
        {{.status = 307, .headers = {{"Location", "http://127.0.0.1:9/"}}, .body = "moved"}, false, true},
        {{.status = 500, .headers = {}, .body = "down"}, false, true},
        {{.status = 426, .headers = {}, .body = QByteArray(131'072, 'x')}, false, true},
        {{.status = 426, .headers = {}, .body = QByteArray(131'073, 'x')}, false, false},
    };
    for (const auto& [reply, delivered, gateGetsBody] : cases) {
        SCOPED_TRACE(::testing::Message() << reply.status << " with " << reply.body.size() << " bytes");
        observed.clear();
        answer(reply);
        EXPECT_EQ(upload(server.url(QStringLiteral("/base/path?query=1#fragment"))), delivered);
        // A copy: the list of requests is handed out by value.
        const auto received = server.requests().back();
        EXPECT_EQ(received.method + ' ' + received.path + ' ' + received.header("Content-Type") + ' ' +
                      received.header("Accept") + ' ' + received.header("X-Tessaron-Client"),
                  "POST " + endpointPath + " application/json application/json macos-direct/1.4.2/142");
        EXPECT_EQ(received.body, report().encoded());
        EXPECT_EQ(observed, (QList{ObservedReply(reply.status,
                                                 gateGetsBody ? std::optional(reply.body) : std::nullopt)}));
    }
    EXPECT_EQ(server.requests().size(), qsizetype(std::size(cases)));
}

TEST_F(CrashReportingTest, TheUploaderSendsNothingWithoutAnHttpsBaseAndTellsTheGateNothingOnATimeOut) {
    EXPECT_FALSE(upload(std::nullopt));
    EXPECT_FALSE(upload(QUrl(QStringLiteral("http://127.0.0.1:9/"))));
    EXPECT_TRUE(server.requests().isEmpty());

    answer(HttpsTestServer::silence());
    EXPECT_FALSE(runTask(uploaderFor(server.baseUrl(), &impatient).upload(report())));
    EXPECT_TRUE(observed.isEmpty());
}

} // namespace
} // namespace tessaron::testing
