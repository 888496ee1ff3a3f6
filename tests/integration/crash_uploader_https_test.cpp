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
    return TessaronCrashReport::decoded(
        R"({"id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22","platform":"macos",)"
        R"("installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","signal":"11"})");
}

using ObservedReply = std::pair<int, std::optional<QByteArray>>;

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
    void answer(Reply reply) {
        server.on("POST", endpointPath, [reply](const auto&) { return reply; });
    }

    HttpsTestServer server;
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
    // Its 15 s time-out passes in 15 ms.
    QtHttpTransport impatient{{.trustedAuthorities = server.caCertificates(), .timeoutDivisor = 1000}};
    QList<ObservedReply> observed;
};

TEST_F(CrashUploaderHttpsTest, PostsToTheOriginsEndpointOnlyAcceptedCountsAndEveryReplyReachesTheGate) {
    // Each reply, whether it counts as delivered, and whether the gate is given its body.
    const std::tuple<Reply, bool, bool> cases[] = {
        {{.status = 202, .headers = {}, .body = "{}"}, true, true},
        {{.status = 200, .headers = {}, .body = "{}"}, false, true},
        {{.status = 204}, false, true},
        // A redirect is a final reply: the report is not posted again elsewhere.
        {{.status = 307, .headers = {{"Location", "/elsewhere"}}, .body = "moved"}, false, true},
        {{.status = 500, .headers = {}, .body = "down"}, false, true},
        {{.status = 426, .headers = {}, .body = QByteArray(131'072, 'x')}, false, true},
        {{.status = 426, .headers = {}, .body = QByteArray(131'073, 'x')}, false, false},
    };
    for (const auto& [reply, delivered, gateGetsBody] : cases) {
        SCOPED_TRACE(::testing::Message() << reply.status << " with " << reply.body.size() << " bytes");
        observed.clear();
        answer(reply);
        EXPECT_EQ(upload(server.url(QStringLiteral("/base/path?query=1#fragment"))), delivered);
        const auto& received = server.requests().back();
        EXPECT_EQ(received.method + ' ' + received.path + ' ' + received.header("Content-Type") + ' ' +
                      received.header("Accept") + ' ' + received.header("X-Tessaron-Client"),
                  "POST " + endpointPath + " application/json application/json macos-direct/1.4.2/142");
        EXPECT_EQ(received.body, report().encoded());
        EXPECT_EQ(observed, (QList{ObservedReply(reply.status,
                                                 gateGetsBody ? std::optional(reply.body) : std::nullopt)}));
    }
    EXPECT_EQ(server.requests().size(), qsizetype(std::size(cases)));
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
