#pragma once

#include "account/account_error.hpp"
#include "support/qt_printers.hpp"
#include "support/run_task.hpp"

#include <QDateTime>
#include <QString>

#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

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

// The account error `task` throws; none when it succeeds. Any other exception escapes and fails the test.
template <typename T> std::optional<TessaronAccountError> accountErrorOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const TessaronAccountError& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace testing
} // namespace tessaron
