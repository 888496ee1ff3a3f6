#pragma once

#include "platform/vpn_error.hpp"

#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>
#include <type_traits>

namespace tessaron::testing {

// How a task ended: its value, or the exception it threw.
template <typename T> struct TaskOutcome {
    std::optional<T> value;
    std::exception_ptr error;

    // The value; rethrows what the task threw.
    T get() const {
        if (error)
            std::rethrow_exception(error);
        return *value;
    }

    // The domain and code of a TessaronError the task threw; none when it finished or threw anything else.
    std::optional<PlatformError> failure() const {
        if (!error)
            return std::nullopt;
        try {
            std::rethrow_exception(error);
        } catch (const TessaronError& thrown) {
            return PlatformError::from(thrown);
        } catch (...) {
            return std::nullopt;
        }
    }
};

// The value of a task that returns nothing.
struct Done {};

template <typename T> using ValueOf = std::conditional_t<std::is_void_v<T>, Done, T>;

namespace detail {
template <typename T> QCoro::Task<TaskOutcome<ValueOf<T>>> capture(QCoro::Task<T> task) {
    TaskOutcome<ValueOf<T>> outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome.value = Done{};
        } else {
            outcome.value = co_await std::move(task);
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}
} // namespace detail

// Runs a task to its end in an event loop of its own. The exception is caught inside the loop, since
// QCoro::waitFor never returns from a task that throws.
template <typename T> TaskOutcome<ValueOf<T>> runTask(QCoro::Task<T> task) {
    return QCoro::waitFor(detail::capture(std::move(task)));
}

} // namespace tessaron::testing
