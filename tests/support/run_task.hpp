#pragma once

#include <QEventLoop>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace tessaron::testing {

namespace detail {

// Shared with runTask, which may give up and return before the task ends: the result must outlive it.
template <typename T> struct TaskResult {
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    QEventLoop* loop = nullptr;
};

template <typename T> QCoro::Task<> complete(QCoro::Task<T> task, std::shared_ptr<TaskResult<T>> result) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            result->value = true;
        } else {
            result->value = co_await std::move(task);
        }
    } catch (...) {
        result->error = std::current_exception();
    }
    if (result->loop)
        result->loop->quit();
}

} // namespace detail

// Runs `task` to completion on the Qt event loop and returns its result, rethrowing what it threw. A task
// that is still running after `guard` of real time throws instead, so a broken test fails rather than hangs.
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds guard = std::chrono::seconds(5)) {
    auto result = std::make_shared<detail::TaskResult<T>>();
    auto completion = detail::complete(std::move(task), result);
    if (!result->value && !result->error) {
        QEventLoop loop;
        QTimer::singleShot(guard, &loop, &QEventLoop::quit);
        result->loop = &loop;
        loop.exec();
        result->loop = nullptr;
    }
    if (result->error)
        std::rethrow_exception(result->error);
    if (!result->value)
        throw std::runtime_error("task still running after " + std::to_string(guard.count()) + " ms");
    if constexpr (!std::is_void_v<T>)
        return std::move(*result->value);
}

} // namespace tessaron::testing
