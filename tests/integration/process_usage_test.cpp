// The idle-cost tools measure the process their run started, also while other runs start copies of the same
// program: the tunnel is told from another run's by the socket it serves.
#include "idle_cost/process_usage.hpp"

#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <unistd.h>

namespace tessaron::testing {
namespace {

TEST(ProcessUsageTest, FindsTheCopyOfAProgramStartedWithTheGivenArguments) {
    // Two copies of one program that differ only in their arguments, as two runs' tunnels do.
    const auto program = QStringLiteral("/bin/sleep");
    const auto ownSeconds = [](int copy) {
        return QStringLiteral("600.%1%2").arg(::getpid()).arg(copy);
    };
    std::unique_ptr<QProcess> copies[2];
    for (int copy = 0; copy < 2; ++copy) {
        copies[copy] = std::make_unique<QProcess>();
        copies[copy]->start(program, {ownSeconds(copy)});
        ASSERT_TRUE(copies[copy]->waitForStarted());
    }
    const std::optional<pid_t> first = copies[0]->processId(), second = copies[1]->processId();

    const struct {
        QString program;
        QStringList arguments;
        std::optional<pid_t> expected;
    } cases[] = {
        {program, {ownSeconds(0)}, first},
        {program, {ownSeconds(1)}, second},
        {program, {ownSeconds(2)}, std::nullopt},
        {program, {}, std::nullopt},
    };
    for (const auto& row : cases)
        EXPECT_EQ(idle_cost::processRunning(row.program, row.arguments), row.expected)
            << row.arguments.join(' ').toStdString();

    for (auto& copy : copies) {
        copy->kill();
        copy->waitForFinished();
    }
}

} // namespace
} // namespace tessaron::testing
