#pragma once

#include "platform/bundle_info.hpp"
#include "platform/keychain.hpp"

#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// The subscription link URL of each account, kept in the Keychain beside the session token: the service
// hands a URL out only once, when it creates the link.
class TessaronSubscriptionLinkStore {
public:
    static inline const QString accountKeyPrefix = QStringLiteral("tessaron.subscription.");
    static constexpr qsizetype maximumAccountIDBytes = 96;
    static constexpr qsizetype maximumURLBytes = 2048;

    // Both must outlive the store.
    TessaronSubscriptionLinkStore(Keychain& keychain, const BundleInfo& info);

    // An https URL stored for the account; none for anything else.
    std::optional<QUrl> readURL(const QString& accountID) const;
    // Silently skipped for an account without a key, a URL over the limit or an unreachable Keychain.
    void write(const QUrl& url, const QString& accountID) const;
    void remove(const QString& accountID) const;
    // Every stored link, whatever account it belongs to.
    void removeAll() const;

    std::optional<QByteArray> readData(const QString& accountID) const;
    // None for an empty id or one over the limit.
    static std::optional<QString> accountKey(const QString& accountID);
    static KeychainQuery baseQuery(const QString& accessGroup, const QString& account);

private:
    std::optional<KeychainQuery> queryFor(const QString& accountID) const;

    Keychain* keychain_;
    const BundleInfo* info_;
};

} // namespace tessaron
