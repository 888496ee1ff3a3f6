#include "platform/qt_http_transport.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"
#include "updates/crash_uploader.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using Reply = HttpsTestServer::Reply;

const QByteArray endpointPath = "/v1/diagnostics/crash";

TessaronCrashReport report() {
    TessaronCrashReport made;
    made.id = QUuid::createUuid();
    made.platform = QStringLiteral("macos");
    made.installationID = QUuid::createUuid();
    made.signal = QStringLiteral("11");
    return made;
}

struct ObservedReply {
    int status;
    std::optional<QByteArray> body;
};

class CrashUploaderHttpsTest : public ::testing::Test {
protected:
    PairingCrashUploader uploaderFor(std::optional<QUrl> base, HttpTransport* through = nullptr) {
        return PairingCrashUploader(
            std::move(base), through ? *through : transport,
            [this](int status, std::optional<QByteArray> body) {
                observed.append({status, std::move(body)});
            },
            [] { return QStringLiteral("macos-direct/1.4.2/142"); });
    }
    bool upload(std::optional<QUrl> base) { return runTask(uploaderFor(std::move(base)).upload(report())); }
    bool upload() { return upload(server.url(QStringLiteral("/base/path?query=1#fragment"))); }
    void answer(Reply reply) {
        server.on("POST", endpointPath, [reply](const auto&) { return reply; });
    }

    HttpsTestServer server;
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
    // Its 15 s time-out passes in 15 ms.
    QtHttpTransport impatient{{.trustedAuthorities = server.caCertificates(), .timeoutDivisor = 1000}};
    QList<ObservedReply> observed;
};

TEST_F(CrashUploaderHttpsTest, PostsTheReportToTheOriginsEndpoint) {
    answer({.status = 202});
    const auto sent = report();
    EXPECT_TRUE(runTask(uploaderFor(server.url(QStringLiteral("/base/path?query=1#fragment"))).upload(sent)));
    ASSERT_EQ(server.requests().size(), 1);
    const auto& received = server.requests().front();
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.path, endpointPath);
    EXPECT_EQ(received.header("Content-Type"), "application/json");
    EXPECT_EQ(received.header("Accept"), "application/json");
    EXPECT_EQ(received.header("X-Tessaron-Client"), "macos-direct/1.4.2/142");
    EXPECT_EQ(received.body, sent.encoded());
}

TEST_F(CrashUploaderHttpsTest, OnlyAcceptedCountsAndEveryReplyReachesTheGate) {
    struct Case {
        Reply reply;
        bool delivered;
    };
    const std::vector<Case> cases{
        {{.status = 202, .headers = {}, .body = "{}"}, true},
        {{.status = 200, .headers = {}, .body = "{}"}, false},
        {{.status = 204}, false},
        // A redirect is a final reply: the report is not posted again elsewhere.
        {{.status = 307, .headers = {{"Location", "/elsewhere"}}, .body = "moved"}, false},
        {{.status = 426, .headers = {}, .body = R"({"error":"upgrade_required"})"}, false},
        {{.status = 500, .headers = {}, .body = "down"}, false},
    };
    for (const auto& c : cases) {
        observed.clear();
        answer(c.reply);
        EXPECT_EQ(upload(), c.delivered) << c.reply.status;
        ASSERT_EQ(observed.size(), 1) << c.reply.status;
        EXPECT_EQ(observed.front().status, c.reply.status);
        EXPECT_EQ(observed.front().body, c.reply.body) << c.reply.status;
    }
    EXPECT_EQ(server.requests().size(), qsizetype(cases.size()));
}

TEST_F(CrashUploaderHttpsTest, HandsTheGateBodiesUpTo128KiB) {
    for (const qsizetype size : {131'072, 131'073}) {
        observed.clear();
        answer({.status = 426, .headers = {}, .body = QByteArray(size, 'x')});
        EXPECT_FALSE(upload());
        ASSERT_EQ(observed.size(), 1);
        EXPECT_EQ(observed.front().status, 426);
        EXPECT_EQ(observed.front().body.has_value(), size == 131'072) << size;
    }
}

TEST_F(CrashUploaderHttpsTest, SendsNothingWithoutAnHttpsBaseAndTellsTheGateNothingOnATimeOut) {
    EXPECT_FALSE(upload(std::nullopt));
    EXPECT_FALSE(upload(QUrl(QStringLiteral("http://127.0.0.1:9/"))));
    EXPECT_TRUE(server.requests().isEmpty());

    answer(HttpsTestServer::silence());
    EXPECT_FALSE(runTask(uploaderFor(server.baseUrl(), &impatient).upload(report())));
    EXPECT_TRUE(observed.isEmpty());
}

} // namespace
} // namespace tessaron::testing
