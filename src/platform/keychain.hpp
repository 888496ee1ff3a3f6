#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

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
// is safe to call from any thread.
class Keychain {
public:
    virtual ~Keychain() = default;

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
};

// The user's keychain, shared by the whole process.
Keychain& systemKeychain();

} // namespace tessaron
