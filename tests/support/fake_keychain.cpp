#include "support/fake_keychain.hpp"

#include <type_traits>

namespace tessaron::testing {

namespace {

const QByteArray refPrefix = "fake-ref\x1f";
constexpr QChar separator(0x1f);

template <typename Key> bool inService(const Key& key, const KeychainQuery& query) {
    return std::get<0>(key) == query.accessGroup && std::get<1>(key) == query.service;
}

} // namespace

void FakeKeychain::failNext(qint32 status) {
    std::lock_guard lock(mutex_);
    queued_.push_back(status);
}

template <typename Act> auto FakeKeychain::answer(Act act) {
    using Result = decltype(act());
    std::lock_guard lock(mutex_);
    if (queued_.empty())
        return act();
    const auto status = queued_.front();
    queued_.pop_front();
    if constexpr (std::is_same_v<Result, qint32>)
        return status;
    else
        return Result{status, {}};
}

FakeKeychain::Key FakeKeychain::keyOf(const KeychainQuery& query) {
    return {query.accessGroup, query.service, query.account.value_or(QString())};
}

KeychainResult<QByteArray> FakeKeychain::find(const Key& key) const {
    const auto found = items_.find(key);
    if (found == items_.end())
        return {keychain_status::itemNotFound, {}};
    return {keychain_status::success, found->second};
}

KeychainResult<QByteArray> FakeKeychain::copyData(const KeychainQuery& query) {
    return answer([&] { return find(keyOf(query)); });
}

KeychainResult<QList<KeychainItem>> FakeKeychain::copyAll(const KeychainQuery& query) {
    return answer([&]() -> KeychainResult<QList<KeychainItem>> {
        QList<KeychainItem> found;
        for (const auto& [key, data] : items_) {
            if (inService(key, query))
                found.append({std::get<2>(key), data});
        }
        return {found.isEmpty() ? keychain_status::itemNotFound : keychain_status::success, found};
    });
}

qint32 FakeKeychain::add(const KeychainQuery& query, const QByteArray& data) {
    ++writeCount_;
    return answer([&] {
        return items_.try_emplace(keyOf(query), data).second ? keychain_status::success
                                                             : keychain_status::duplicateItem;
    });
}

qint32 FakeKeychain::update(const KeychainQuery& query, const QByteArray& data) {
    ++writeCount_;
    return answer([&] {
        const auto found = items_.find(keyOf(query));
        if (found == items_.end())
            return keychain_status::itemNotFound;
        found->second = data;
        return keychain_status::success;
    });
}

qint32 FakeKeychain::remove(const KeychainQuery& query) {
    return answer([&] {
        const auto removed = std::erase_if(items_, [&query](const auto& entry) {
            return inService(entry.first, query) &&
                   (!query.account || std::get<2>(entry.first) == *query.account);
        });
        return removed > 0 ? keychain_status::success : keychain_status::itemNotFound;
    });
}

KeychainResult<QByteArray> FakeKeychain::persistentRef(const KeychainQuery& query) {
    return answer([&]() -> KeychainResult<QByteArray> {
        const auto key = keyOf(query);
        if (!items_.contains(key))
            return {keychain_status::itemNotFound, {}};
        const auto& [group, service, account] = key;
        return {keychain_status::success,
                refPrefix + QStringList{group, service, account}.join(separator).toUtf8()};
    });
}

KeychainResult<QByteArray> FakeKeychain::resolve(const QByteArray& persistentRef) {
    return answer([&]() -> KeychainResult<QByteArray> {
        const auto parts = QString::fromUtf8(persistentRef.mid(refPrefix.size())).split(separator);
        if (!persistentRef.startsWith(refPrefix) || parts.size() != 3)
            return {keychain_status::itemNotFound, {}};
        return find(Key{parts[0], parts[1], parts[2]});
    });
}

std::optional<QByteArray> FakeKeychain::item(const QString& accessGroup, const QString& service,
                                             const QString& account) const {
    std::lock_guard lock(mutex_);
    const auto found = find(Key{accessGroup, service, account});
    if (found.status != keychain_status::success)
        return std::nullopt;
    return found.value;
}

void FakeKeychain::setItem(const QString& accessGroup, const QString& service, const QString& account,
                           const QByteArray& data) {
    std::lock_guard lock(mutex_);
    items_[{accessGroup, service, account}] = data;
}

int FakeKeychain::itemCount() const {
    std::lock_guard lock(mutex_);
    return int(items_.size());
}

} // namespace tessaron::testing
