// The sign-in tool as a developer runs it against the local service: the code typed in, the account's
// profile installed, the link brought up through the real tunnel.
#include "local_service_process.hpp"
#include "tunnel_harness.hpp"

#include <QProcess>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

TEST(SignInToolTest, SignsInWithTheTypedCodeAndConnectsThroughTheTunnel) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
        << "run this suite through tests/support/with-keyring.sh";
    LocalServiceProcess service;
    ASSERT_TRUE(service.isRunning()) << service.startError().toStdString();
    // Its tunnel is the harness's, which ends it with the test; its preferences lie in the harness's folder.
    const TunnelHarness harness;
    QProcess tool;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), harness.runtimeFolder());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(TESSARON_SIGN_IN_TOOL),
               {QStringLiteral("Dev@Example.com"), QStringLiteral("--service"), service.baseURL(),
                QStringLiteral("--ca"), service.caFile()});

    const auto code = service.awaitLine(QStringLiteral("^e-mail code for dev@example\\.com: (\\d{6})$"), 10s);
    ASSERT_TRUE(code);
    tool.write(code->captured(1).toUtf8() + '\n');
    ASSERT_TRUE(tool.waitForFinished(60'000));
    const std::string printed = tool.readAllStandardOutput().toStdString();
    EXPECT_EQ(tool.exitCode(), 0) << printed;
    EXPECT_NE(printed.find("\nphase: Connected\n"), std::string::npos) << printed;
    EXPECT_TRUE(service.awaitLine(QStringLiteral("^POST /v1/account/profile HTTP/1\\.1 200$")));
    EXPECT_TRUE(service.awaitLine(QStringLiteral("^GET /success\\.txt HTTP/1\\.1 200$")));
}

} // namespace
} // namespace tessaron::testing
