#pragma once

#include "platform/bundle_info.hpp"
#include "platform/keychain.hpp"

#include <QString>

#include <optional>

namespace tessaron {

// The Keychain access group shared with the tunnel, from the Info key "TessaronKeychainAccessGroup".
// Absent when the key is missing, is not text, is blank, or still holds an unexpanded "$(" build setting.
std::optional<QString> keychainAccessGroup(const BundleInfo& info = BundleInfo::main());

// The query of the `service` items in the shared group: one item with an account, all of them without.
// Throws TessaronKeychainError missingAccessGroup when the group is absent.
KeychainQuery sharedItemQuery(const BundleInfo& info, const QString& service,
                              std::optional<QString> account = std::nullopt);

// Deletes what the query names; an item that is already gone counts as deleted. Throws TessaronKeychainError
// status for any other failure.
void removeItem(Keychain& keychain, const KeychainQuery& query);

} // namespace tessaron
