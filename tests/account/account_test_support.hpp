#pragma once

#include "account/account_error.hpp"

#include <QDateTime>
#include <QString>

#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QDateTime& instant, std::ostream* out) {
    *out << instant.toString(Qt::ISODateWithMs).toStdString();
}

namespace tessaron {

inline void PrintTo(const TessaronAccountError& error, std::ostream* out) {
    *out << error.what();
    if (const auto detail = error.networkDetail())
        *out << " \"" << detail->toStdString() << '"';
    if (const auto status = error.serverStatus())
        *out << " (" << *status << ')';
    if (const auto attempts = error.attemptsLeft())
        *out << " (" << *attempts << " left)";
}

namespace testing {

// The result of a task run to its end: its value, or what it threw.
template <typename T> struct TaskOutcome {
    std::optional<T> value;
    std::exception_ptr error;
};
template <> struct TaskOutcome<void> {
    bool finished = false;
    std::exception_ptr error;
};

template <typename T> QCoro::Task<> captureOutcome(QCoro::Task<T> task, TaskOutcome<T>* outcome) {
    // waitFor never returns when the task throws, so nothing may escape this frame.
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome->finished = true;
        } else {
            outcome->value = co_await std::move(task);
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
}

template <typename T> TaskOutcome<T> runTask(QCoro::Task<T> task) {
    TaskOutcome<T> outcome;
    QCoro::waitFor(captureOutcome(std::move(task), &outcome));
    return outcome;
}

// The account error a task threw; none when it succeeded or threw something else.
template <typename T> std::optional<TessaronAccountError> accountErrorOf(const TaskOutcome<T>& outcome) {
    if (!outcome.error)
        return std::nullopt;
    try {
        std::rethrow_exception(outcome.error);
    } catch (const TessaronAccountError& error) {
        return error;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace testing
} // namespace tessaron
