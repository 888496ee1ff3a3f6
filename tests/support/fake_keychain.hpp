#pragma once

#include "platform/keychain.hpp"

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <tuple>

namespace tessaron::testing {

// An in-memory keychain. Statuses queued with failNext() are answered by the next calls, in order,
// whatever they ask, and leave the stored items untouched.
class FakeKeychain final : public Keychain {
public:
    void failNext(qint32 status);

    KeychainResult<QByteArray> copyData(const KeychainQuery& query) override;
    KeychainResult<QList<KeychainItem>> copyAll(const KeychainQuery& query) override;
    qint32 add(const KeychainQuery& query, const QByteArray& data) override;
    qint32 update(const KeychainQuery& query, const QByteArray& data) override;
    qint32 remove(const KeychainQuery& query) override;
    KeychainResult<QByteArray> persistentRef(const KeychainQuery& query) override;
    KeychainResult<QByteArray> resolve(const QByteArray& persistentRef) override;

    // Direct access for arranging and checking a test.
    std::optional<QByteArray> item(const QString& accessGroup, const QString& service,
                                   const QString& account) const;
    void setItem(const QString& accessGroup, const QString& service, const QString& account,
                 const QByteArray& data);
    int itemCount() const;
    // Adds and updates asked for, answered or not.
    int writeCount() const { return writeCount_; }

private:
    using Key = std::tuple<QString, QString, QString>;
    static Key keyOf(const KeychainQuery& query);
    // Under the lock: the next queued status, else what `act` makes of the items.
    template <typename Act> auto answer(Act act);
    KeychainResult<QByteArray> find(const Key& key) const;

    mutable std::mutex mutex_;
    std::deque<qint32> queued_;
    std::map<Key, QByteArray> items_;
    std::atomic<int> writeCount_ = 0;
};

} // namespace tessaron::testing
