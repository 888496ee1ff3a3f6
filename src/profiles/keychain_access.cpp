#include "profiles/keychain_access.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/keychain_error.hpp"

namespace tessaron {

std::optional<QString> keychainAccessGroup(const BundleInfo& info) {
    const auto value = info.value(TessaronIdentifiers::keychainAccessGroupInfoKey);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const auto group = value.toString().trimmed();
    // "$(" is a build setting the packager forgot to expand; using it would share items under a bogus group.
    if (group.isEmpty() || group.contains(QStringLiteral("$(")))
        return std::nullopt;
    return group;
}

KeychainQuery sharedItemQuery(const BundleInfo& info, const QString& service,
                              std::optional<QString> account) {
    auto group = keychainAccessGroup(info);
    if (!group)
        throw TessaronKeychainError::missingAccessGroup();
    return {.accessGroup = std::move(*group), .service = service, .account = std::move(account)};
}

void removeItem(Keychain& keychain, const KeychainQuery& query) {
    const auto status = keychain.remove(query);
    if (status != keychain_status::success && status != keychain_status::itemNotFound)
        throw TessaronKeychainError::status(status);
}

} // namespace tessaron
