#include "session/configuration_changes.hpp"

#include <QList>

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

// A change that takes its turn, notes that it runs, and ends when the test lets it.
QCoro::Task<> change(ConfigurationChanges* changes, int name, QList<int>* order,
                     std::coroutine_handle<>* hold) {
    auto turn = co_await changes->enter();
    order->append(name);
    struct Pause {
        std::coroutine_handle<>* hold;
        bool await_ready() const { return false; }
        void await_suspend(std::coroutine_handle<> handle) const { *hold = handle; }
        void await_resume() const {}
    };
    Pause pause{hold};
    co_await pause;
}

TEST(ConfigurationChangesTest, ChangesRunOneAtATimeInTheOrderTheyAskedAndKeepTheSessionBusy) {
    QList<bool> busy;
    ConfigurationChanges changes([&busy](bool value) { busy.append(value); });
    QList<int> order;
    std::coroutine_handle<> first, second, third;

    change(&changes, 1, &order, &first);
    change(&changes, 2, &order, &second);
    change(&changes, 3, &order, &third);
    EXPECT_EQ(order, QList<int>{1});

    std::exchange(first, {}).resume();
    EXPECT_EQ(order, (QList<int>{1, 2}));
    std::exchange(second, {}).resume();
    EXPECT_EQ(order, (QList<int>{1, 2, 3}));
    EXPECT_TRUE(changes.isBusy());
    std::exchange(third, {}).resume();

    EXPECT_FALSE(changes.isBusy());
    EXPECT_EQ(busy, (QList<bool>{true, false}));
}

} // namespace
