#include "platform/linux_system_extension_requests.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <variant>

using tessaron::SystemExtensionError;
using tessaron::SystemExtensionRequest;
using tessaron::SystemExtensionRequestResult;

namespace {

const QString tunnel = QStringLiteral("com.hallmere.tessaron.PacketTunnel");

using Answer = std::variant<SystemExtensionRequestResult, SystemExtensionError>;

class RecordingDelegate final : public tessaron::SystemExtensionRequestDelegate {
public:
    tessaron::SystemExtensionReplacementAction
    actionForReplacingExtension(const SystemExtensionRequest&) override {
        ADD_FAILURE() << "nothing is ever replaced";
        return tessaron::SystemExtensionReplacementAction::cancel;
    }
    void requestNeedsUserApproval(const SystemExtensionRequest&) override {
        ADD_FAILURE() << "nothing needs approval";
    }
    void requestDidFinish(const SystemExtensionRequest&, SystemExtensionRequestResult result) override {
        answers.push_back(result);
    }
    void requestDidFail(const SystemExtensionRequest&, const SystemExtensionError& error) override {
        answers.push_back(error);
    }

    std::vector<Answer> answers;
};

} // namespace

TEST(LinuxSystemExtensionRequestsTest, FinishesOnlyWithTheTunnelProgramInstalledAndRunnableToADelegateAlive) {
    const QTemporaryDir folder;
    const auto program = folder.filePath(QStringLiteral("tessaron-tunnel"));
    const auto answersTo = [&](const QString& identifier) {
        tessaron::LinuxSystemExtensionRequests requests(tunnel, program);
        RecordingDelegate delegate;
        requests.submit(std::make_shared<SystemExtensionRequest>(identifier, &delegate));
        EXPECT_TRUE(delegate.answers.empty()) << "answers come after submit() returns";
        QCoreApplication::sendPostedEvents();
        return delegate.answers;
    };
    const auto install = [&](QFileDevice::Permissions permissions) {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        ASSERT_TRUE(file.setPermissions(permissions));
    };
    const auto failed = [](SystemExtensionError::Code code) {
        return std::vector<Answer>{SystemExtensionError::ofService(code)};
    };
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    EXPECT_EQ(answersTo(tunnel), failed(SystemExtensionError::extensionNotFound)) << "missing";
    install(owner);
    EXPECT_EQ(answersTo(tunnel), failed(SystemExtensionError::validationFailed)) << "not executable";
    install(owner | QFileDevice::ExeOwner);
    EXPECT_EQ(answersTo(tunnel), std::vector<Answer>{SystemExtensionRequestResult::completed});
    EXPECT_EQ(answersTo(QStringLiteral("com.example.Other")),
              failed(SystemExtensionError::extensionNotFound));
    ASSERT_TRUE(QFile::remove(program));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("tessaron-tunnel")));
    EXPECT_EQ(answersTo(tunnel), failed(SystemExtensionError::validationFailed)) << "a folder";

    // The answer for a delegate that is gone is dropped rather than delivered into freed memory.
    tessaron::LinuxSystemExtensionRequests requests(tunnel, program);
    auto gone = std::make_unique<RecordingDelegate>();
    requests.submit(std::make_shared<SystemExtensionRequest>(tunnel, gone.get()));
    gone.reset();
    QCoreApplication::sendPostedEvents();
}
