#include "platform/system_clock.hpp"
#include "support/run_task.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using tessaron::CancellationSource;
using tessaron::CancellationToken;
using tessaron::SystemClock;
using tessaron::testing::runTask;

namespace {

QCoro::Task<int> answerAfter(tessaron::Clock::Duration wait, CancellationToken token) {
    co_await SystemClock::shared().sleep(wait, token);
    co_return 42;
}

QCoro::Task<int> failAfterSuspending() {
    co_await SystemClock::shared().sleep(1ms);
    throw std::logic_error("broken");
}

} // namespace

TEST(RunTaskTest, ReturnsTheResultRethrowsTheErrorAndGivesUpAfterTheGuard) {
    EXPECT_EQ(runTask(answerAfter(0ms, {})), 42);
    EXPECT_EQ(runTask(answerAfter(1ms, {})), 42);
    EXPECT_THROW(runTask(failAfterSuspending()), std::logic_error);

    CancellationSource stuck;
    EXPECT_THROW(runTask(answerAfter(1h, stuck.token()), 20ms), std::runtime_error);
    stuck.cancel();
}
