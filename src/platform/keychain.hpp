#pragma once

#include "platform/one_shot.hpp"

#include <QByteArray>
#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <variant>

namespace tessaron {

// Status codes of the Keychain, as the callers test them.
namespace keychain_status {
constexpr qint32 success = 0;
constexpr qint32 itemNotFound = -25300;
constexpr qint32 duplicateItem = -25299;
// The keychain cannot be reached at all (no Secret Service, or it refused the request).
constexpr qint32 notAvailable = -25291;
constexpr qint32 badParameter = -50;
} // namespace keychain_status

// A generic-password item is identified by access group, service and account. Without an account a query
// matches every item of the service in the group.
struct KeychainQuery {
    QString accessGroup;
    QString service;
    std::optional<QString> account;
};

struct KeychainItem {
    QString account;
    QByteArray data;
};

template <typename T> struct KeychainResult {
    qint32 status = keychain_status::success;
    T value{};
};

// Secrets that only this user can read. Items are never synchronised to other machines. Every operation
// is safe to call from any thread, and may wait long for the keyring: the main thread makes its calls
// through run().
class Keychain {
public:
    virtual ~Keychain() = default;

    // Runs `work`, which calls this keychain, where a keyring that does not answer holds up no window, and
    // resumes the caller on its own thread with what `work` returned or threw. Work runs one at a time, in
    // the order it was asked for, so a write asked for before a removal never lands after it.
    template <typename Work> QCoro::Task<std::invoke_result_t<Work&>> run(Work work);

    // The data of the one item the query names.
    virtual KeychainResult<QByteArray> copyData(const KeychainQuery& query) = 0;
    // Every item of the query's service, in ascending account order; itemNotFound when there is none.
    virtual KeychainResult<QList<KeychainItem>> copyAll(const KeychainQuery& query) = 0;
    // duplicateItem when the item exists.
    virtual qint32 add(const KeychainQuery& query, const QByteArray& data) = 0;
    // itemNotFound when the item does not exist.
    virtual qint32 update(const KeychainQuery& query, const QByteArray& data) = 0;
    // Removes every item the query matches; itemNotFound when there was none.
    virtual qint32 remove(const KeychainQuery& query) = 0;
    // Opaque bytes that name the item for as long as it exists, and that resolve() turns back into its data.
    virtual KeychainResult<QByteArray> persistentRef(const KeychainQuery& query) = 0;
    virtual KeychainResult<QByteArray> resolve(const QByteArray& persistentRef) = 0;

protected:
    // Where run() does its work: here, at once, unless the keychain has a thread of its own.
    virtual void dispatch(std::function<void()> job) { job(); }
};

template <typename Work> QCoro::Task<std::invoke_result_t<Work&>> Keychain::run(Work work) {
    using Result = std::invoke_result_t<Work&>;
    using Value = std::conditional_t<std::is_void_v<Result>, std::monostate, Result>;
    struct Outcome {
        std::optional<Value> value;
        std::exception_ptr error;
    };
    OneShot<Outcome> finished;
    dispatch([finished, work = std::move(work)]() mutable {
        Outcome outcome;
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                outcome.value.emplace();
            } else {
                outcome.value.emplace(work());
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
        finished.resume(std::move(outcome));
    });
    auto outcome = co_await finished;
    if (outcome.error)
        std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<Result>)
        co_return std::move(*outcome.value);
}

// The user's keychain, shared by the whole process.
Keychain& systemKeychain();

} // namespace tessaron
