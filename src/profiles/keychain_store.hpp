#pragma once

#include "platform/bundle_info.hpp"
#include "platform/keychain.hpp"
#include "profiles/profile.hpp"
#include "profiles/profile_summary.hpp"
#include "profiles/transport.hpp"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QUuid>

namespace tessaron {

// The saved profiles as the Keychain holds them, in ascending account order.
struct TessaronKeychainListing {
    QList<TessaronProfileSummary> summaries;
    // Items that do not decode, or whose account is not their profile's id.
    int unreadableCount = 0;
    // The listed profiles that carry an XHTTP section: failover needs to know, and learning it from the
    // items already read spares a keyring search per profile.
    QSet<QUuid> withXHTTP;

    friend bool operator==(const TessaronKeychainListing&, const TessaronKeychainListing&) = default;
};

// The profile items in the Keychain, one per profile, named by the profile's upper-case UUID text. An item
// holds the profile's canonical JSON, or the annotated JSON handed to the tunnel. Holds no state of its own
// beyond its collaborators. Errors are TessaronKeychainError unless stated otherwise.
class TessaronKeychainStore {
public:
    explicit TessaronKeychainStore(Keychain& keychain = systemKeychain(),
                                   BundleInfo info = BundleInfo::main());

    // Throws missingAccessGroup.
    KeychainQuery baseQuery(const QUuid& account) const;

    // The stored profile. A Keychain failure, a missing item included, throws `status`; an item that does
    // not decode throws TessaronProfileError; an item holding another profile throws unexpectedResult.
    TessaronProfile profile(const QUuid& id) const;

    // No items give an empty listing; any other Keychain failure throws.
    TessaronKeychainListing listProfiles() const;

    // Writes `data` as the item of profile `id`, adding or else updating it, and returns the item's
    // persistent reference, which the tunnel resolves to read the profile.
    QByteArray storeItem(const QByteArray& data, const QUuid& id) const;

    // Stores each profile's canonical JSON as its item, leaving alone items that already hold exactly those
    // bytes, so an unchanged roster costs one read and no write.
    void storeChangedProfiles(const QList<TessaronProfile>& profiles) const;

    // Deletes the item of profile `id`; an item already gone counts as deleted.
    void remove(const QUuid& id) const;

    // The canonical JSON with "transport" added in its sorted place. Throws invalidTransportAnnotation for
    // xhttp without an XHTTP section, or when the result would exceed the profile cap.
    static QByteArray annotatedProfileData(const TessaronProfile& profile, TessaronTransport transport);

private:
    Keychain* keychain_;
    BundleInfo info_;
};

} // namespace tessaron
