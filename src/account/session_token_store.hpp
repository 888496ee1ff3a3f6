#pragma once

#include "platform/bundle_info.hpp"
#include "platform/keychain.hpp"

#include <QString>

#include <optional>

namespace tessaron {

// The Keychain service of every item the account keeps: the session token and the subscription links.
inline const QString accountKeychainService = QStringLiteral("com.hallmere.tessaron.account");

// The access group of the account's items; the profile store's group.
std::optional<QString> accountKeychainAccessGroup(const BundleInfo& info);

// The account service's session token, kept across launches in one Keychain item. Reading fails soft: a
// missing group, an unreadable item or a value outside 1 to 4096 UTF-8 bytes all read as no token.
class TessaronSessionTokenStore {
public:
    static inline const QString keychainAccount = QStringLiteral("tessaron.account.session");
    static constexpr qsizetype maximumBytes = 4096;

    // In the Keychain of `info`'s access group. Both must outlive the store.
    TessaronSessionTokenStore(Keychain& keychain, const BundleInfo& info);
    // A token held in memory: load() returns it, save() and remove() leave it as it is.
    static TessaronSessionTokenStore fixed(std::optional<QString> token);

    std::optional<QString> load() const;
    // Adds the item, or updates it in place. False when nothing was written; a token stored before then
    // stays, and the caller must not rely on it.
    bool save(const QString& token) const;
    void remove() const;

    std::optional<QByteArray> readKeychainData() const;
    static KeychainQuery baseQuery(const QString& accessGroup);

private:
    TessaronSessionTokenStore() = default;

    Keychain* keychain_ = nullptr;
    const BundleInfo* info_ = nullptr;
    std::optional<QString> fixed_;
};

// Writes `data` to the item `query` names: an update when it exists, an add when it does not, nothing when
// the Keychain cannot tell. True when the item now holds the data.
bool writeAccountItem(Keychain& keychain, const KeychainQuery& query, const QByteArray& data);

// The bytes as text when they are valid UTF-8.
std::optional<QString> decodedUtf8(const QByteArray& data);

} // namespace tessaron
