#pragma once

#include "platform/bundle_info.hpp"
#include "platform/keychain.hpp"

#include <QUuid>

namespace tessaron {

// The anonymous identifier of this installation, kept in its own Keychain item and created on first use.
// When another writer creates one at the same time, its value wins and is returned. A stored value that is
// not an identifier is reported, never replaced. Safe to call from any thread; every call reads the item.
// Throws TessaronInstallationIdentityError.
QUuid installationID(Keychain& keychain = systemKeychain(), const BundleInfo& info = BundleInfo::main());

} // namespace tessaron
