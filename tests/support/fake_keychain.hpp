#pragma once

#include "platform/keychain.hpp"

#include <QMetaObject>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tessaron::testing {

// An in-memory keychain. Statuses queued with failNext() are answered by the next calls, in order,
// whatever they ask, and leave the stored items untouched. Work handed to run() answers from the event
// loop, in the order asked, as the keyring's own thread does, so every co_await on it suspends; while
// held, it waits until release(), as behind a keyring that is slow to answer.
class FakeKeychain final : public Keychain {
public:
    void hold() { holding_ = true; }
    void release() {
        holding_ = false;
        for (auto& job : std::exchange(held_, {}))
            dispatch(std::move(job));
    }

    void failNext(qint32 status) {
        std::lock_guard lock(mutex_);
        queued_.append(status);
    }
    // Every add from now on answers `status`, as a keyring that takes no new item.
    void refuseAdds(qint32 status) { refusedAdd_ = status; }

    KeychainResult<QByteArray> copyData(const KeychainQuery& query) override {
        return answer([&] { return find(keyOf(query)); });
    }
    KeychainResult<QList<KeychainItem>> copyAll(const KeychainQuery& query) override {
        return answer([&] {
            QList<KeychainItem> found;
            // As the system's keychain does, the query's account plays no part.
            for (const auto& [key, data] : items_) {
                if (matches(key, {query.accessGroup, query.service, std::nullopt}))
                    found.append({std::get<2>(key), data});
            }
            return KeychainResult<QList<KeychainItem>>{found.isEmpty() ? notFound : success, found};
        });
    }
    qint32 add(const KeychainQuery& query, const QByteArray& data) override {
        ++writeCount_;
        if (refusedAdd_) {
            ++roundTrips_;
            return *refusedAdd_;
        }
        return answer([&] { return items_.try_emplace(keyOf(query), data).second ? success : duplicate; });
    }
    qint32 update(const KeychainQuery& query, const QByteArray& data) override {
        ++writeCount_;
        return answer([&] {
            const auto found = items_.find(keyOf(query));
            if (found == items_.end())
                return notFound;
            found->second = data;
            return success;
        });
    }
    qint32 remove(const KeychainQuery& query) override {
        return answer([&] {
            const auto removed =
                std::erase_if(items_, [&](const auto& entry) { return matches(entry.first, query); });
            return removed > 0 ? success : notFound;
        });
    }
    KeychainResult<QByteArray> persistentRef(const KeychainQuery& query) override {
        return answer([&]() -> KeychainResult<QByteArray> {
            const auto key = keyOf(query);
            if (!items_.contains(key))
                return {notFound, {}};
            const auto& [group, service, account] = key;
            return {success, refPrefix + QStringList{group, service, account}.join(separator).toUtf8()};
        });
    }
    KeychainResult<QByteArray> resolve(const QByteArray& persistentRef) override {
        return answer([&]() -> KeychainResult<QByteArray> {
            const auto parts = QString::fromUtf8(persistentRef.mid(refPrefix.size())).split(separator);
            if (!persistentRef.startsWith(refPrefix) || parts.size() != 3)
                return {notFound, {}};
            return find(Key{parts[0], parts[1], parts[2]});
        });
    }

    // Direct access for arranging and checking a test.
    std::optional<QByteArray> item(const QString& accessGroup, const QString& service,
                                   const QString& account) const {
        std::lock_guard lock(mutex_);
        const auto found = items_.find(Key{accessGroup, service, account});
        return found == items_.end() ? std::nullopt : std::optional(found->second);
    }
    void setItem(const QString& accessGroup, const QString& service, const QString& account,
                 const QByteArray& data) {
        std::lock_guard lock(mutex_);
        items_[{accessGroup, service, account}] = data;
    }
    int itemCount() const {
        std::lock_guard lock(mutex_);
        return int(items_.size());
    }
    // Adds and updates asked for, answered or not.
    int writeCount() const { return writeCount_; }
    // Every operation asked for, each a round trip to the keyring daemon for the real keychain.
    int roundTrips() const { return roundTrips_; }

protected:
    void dispatch(std::function<void()> job) override {
        if (holding_)
            held_.append(std::move(job));
        else
            QMetaObject::invokeMethod(&answers_, std::move(job), Qt::QueuedConnection);
    }

private:
    using Key = std::tuple<QString, QString, QString>;
    static constexpr qint32 success = keychain_status::success;
    static constexpr qint32 notFound = keychain_status::itemNotFound;
    static constexpr qint32 duplicate = keychain_status::duplicateItem;
    static constexpr QChar separator{0x1f};
    static inline const QByteArray refPrefix = "fake-ref\x1f";

    static Key keyOf(const KeychainQuery& query) {
        return {query.accessGroup, query.service, query.account.value_or(QString())};
    }
    // Without an account the query takes in every item of its service.
    static bool matches(const Key& key, const KeychainQuery& query) {
        const auto& [group, service, account] = key;
        return group == query.accessGroup && service == query.service &&
               (!query.account || account == *query.account);
    }
    KeychainResult<QByteArray> find(const Key& key) const {
        const auto found = items_.find(key);
        return found == items_.end() ? KeychainResult<QByteArray>{notFound, {}}
                                     : KeychainResult<QByteArray>{success, found->second};
    }
    // Under the lock: the next queued status, else what `act` makes of the items.
    template <typename Act> auto answer(Act act) -> decltype(act()) {
        std::lock_guard lock(mutex_);
        ++roundTrips_;
        if (queued_.isEmpty())
            return act();
        const auto status = queued_.takeFirst();
        if constexpr (std::is_same_v<decltype(act()), qint32>)
            return status;
        else
            return {status, {}};
    }

    mutable std::mutex mutex_;
    QList<qint32> queued_;
    std::map<Key, QByteArray> items_;
    std::atomic<int> writeCount_ = 0;
    std::atomic<int> roundTrips_ = 0;
    std::optional<qint32> refusedAdd_;
    bool holding_ = false;
    QList<std::function<void()>> held_;
    // Answers still queued when the keychain ends are dropped with it.
    QObject answers_;
};

} // namespace tessaron::testing
