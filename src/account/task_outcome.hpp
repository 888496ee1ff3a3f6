#pragma once

#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <utility>

namespace tessaron {

// The result of a task, or what it threw, so that a coroutine can react to a failure with further
// co_awaits (which a catch block does not allow).
template <typename T> struct TaskOutcome {
    std::optional<T> value;
    std::exception_ptr error;

    bool failed() const { return error != nullptr; }
};

template <typename T> QCoro::Task<TaskOutcome<T>> outcomeOf(QCoro::Task<T> task) {
    TaskOutcome<T> outcome;
    try {
        auto value = co_await std::move(task);
        outcome.value.emplace(std::move(value));
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

inline QCoro::Task<TaskOutcome<bool>> outcomeOf(QCoro::Task<> task) {
    TaskOutcome<bool> outcome;
    try {
        co_await std::move(task);
        outcome.value = true;
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

} // namespace tessaron
