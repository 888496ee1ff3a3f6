#include "support/fake_keychain.hpp"

namespace tessaron::testing {

namespace {
const QByteArray refPrefix = "fake-ref\x1f";
}

void FakeKeychain::failNext(qint32 status) {
    std::lock_guard lock(mutex_);
    queued_.push_back(status);
}

std::optional<qint32> FakeKeychain::takeQueuedStatus() {
    if (queued_.empty())
        return std::nullopt;
    const auto status = queued_.front();
    queued_.pop_front();
    return status;
}

FakeKeychain::Key FakeKeychain::keyOf(const KeychainQuery& query) {
    return {query.accessGroup, query.service, query.account.value_or(QString())};
}

KeychainResult<QByteArray> FakeKeychain::copyData(const KeychainQuery& query) {
    std::lock_guard lock(mutex_);
    if (auto status = takeQueuedStatus())
        return {*status, {}};
    const auto found = items_.find(keyOf(query));
    if (found == items_.end())
        return {keychain_status::itemNotFound, {}};
    return {keychain_status::success, found->second};
}

KeychainResult<QList<KeychainItem>> FakeKeychain::copyAll(const KeychainQuery& query) {
    std::lock_guard lock(mutex_);
    if (auto status = takeQueuedStatus())
        return {*status, {}};
    QList<KeychainItem> found;
    for (const auto& [key, data] : items_) {
        const auto& [group, service, account] = key;
        if (group == query.accessGroup && service == query.service)
            found.append({account, data});
    }
    if (found.isEmpty())
        return {keychain_status::itemNotFound, {}};
    return {keychain_status::success, found};
}

qint32 FakeKeychain::add(const KeychainQuery& query, const QByteArray& data) {
    std::lock_guard lock(mutex_);
    ++writeCount_;
    if (auto status = takeQueuedStatus())
        return *status;
    const auto key = keyOf(query);
    if (items_.contains(key))
        return keychain_status::duplicateItem;
    items_[key] = data;
    return keychain_status::success;
}

qint32 FakeKeychain::update(const KeychainQuery& query, const QByteArray& data) {
    std::lock_guard lock(mutex_);
    ++writeCount_;
    if (auto status = takeQueuedStatus())
        return *status;
    const auto key = keyOf(query);
    if (!items_.contains(key))
        return keychain_status::itemNotFound;
    items_[key] = data;
    return keychain_status::success;
}

qint32 FakeKeychain::remove(const KeychainQuery& query) {
    std::lock_guard lock(mutex_);
    if (auto status = takeQueuedStatus())
        return *status;
    const auto removed = std::erase_if(items_, [&query](const auto& entry) {
        const auto& [group, service, account] = entry.first;
        return group == query.accessGroup && service == query.service &&
               (!query.account || account == *query.account);
    });
    return removed > 0 ? keychain_status::success : keychain_status::itemNotFound;
}

KeychainResult<QByteArray> FakeKeychain::persistentRef(const KeychainQuery& query) {
    std::lock_guard lock(mutex_);
    if (auto status = takeQueuedStatus())
        return {*status, {}};
    const auto key = keyOf(query);
    if (!items_.contains(key))
        return {keychain_status::itemNotFound, {}};
    const auto& [group, service, account] = key;
    return {keychain_status::success,
            refPrefix + QStringList{group, service, account}.join(QChar(0x1f)).toUtf8()};
}

KeychainResult<QByteArray> FakeKeychain::resolve(const QByteArray& persistentRef) {
    std::lock_guard lock(mutex_);
    if (auto status = takeQueuedStatus())
        return {*status, {}};
    if (!persistentRef.startsWith(refPrefix))
        return {keychain_status::itemNotFound, {}};
    const auto parts = QString::fromUtf8(persistentRef.mid(refPrefix.size())).split(QChar(0x1f));
    if (parts.size() != 3)
        return {keychain_status::itemNotFound, {}};
    const auto found = items_.find(Key{parts[0], parts[1], parts[2]});
    if (found == items_.end())
        return {keychain_status::itemNotFound, {}};
    return {keychain_status::success, found->second};
}

std::optional<QByteArray> FakeKeychain::item(const QString& accessGroup, const QString& service,
                                             const QString& account) const {
    std::lock_guard lock(mutex_);
    const auto found = items_.find(Key{accessGroup, service, account});
    if (found == items_.end())
        return std::nullopt;
    return found->second;
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
