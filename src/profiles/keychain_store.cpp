#include "profiles/keychain_store.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/importer.hpp"
#include "profiles/json_values.hpp"
#include "profiles/keychain_access.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/profile_error.hpp"

#include <QHash>
#include <QJsonDocument>

namespace tessaron {

namespace {

// Items may carry the tunnel's "transport" annotation, so it is accepted and dropped.
TessaronProfile decodeItem(const QByteArray& data) {
    return TessaronImporter::decodeInvitationJSON(data, /*assignIDIfMissing=*/false,
                                                  /*allowTransportKeys=*/true);
}

} // namespace

TessaronKeychainStore::TessaronKeychainStore(Keychain& keychain, BundleInfo info)
    : keychain_(&keychain)
    , info_(std::move(info)) {}

KeychainQuery TessaronKeychainStore::baseQuery(const QUuid& account) const {
    return sharedItemQuery(info_, TessaronIdentifiers::profileKeychainService, uuidText(account));
}

TessaronProfile TessaronKeychainStore::profile(const QUuid& id) const {
    const auto [status, data] = keychain_->copyData(baseQuery(id));
    if (status != keychain_status::success)
        throw TessaronKeychainError::status(status);
    auto profile = decodeItem(data);
    if (profile.id != id)
        throw TessaronKeychainError::unexpectedResult();
    return profile;
}

TessaronKeychainListing TessaronKeychainStore::listProfiles() const {
    const auto [status, items] =
        keychain_->copyAll(sharedItemQuery(info_, TessaronIdentifiers::profileKeychainService));
    if (status == keychain_status::itemNotFound)
        return {};
    if (status != keychain_status::success)
        throw TessaronKeychainError::status(status);

    TessaronKeychainListing listing;
    for (const auto& item : items) {
        try {
            const auto profile = decodeItem(item.data);
            // An item filed under another account would be unreachable through baseQuery.
            if (uuidText(profile.id) != item.account) {
                ++listing.unreadableCount;
                continue;
            }
            listing.summaries.append(TessaronProfileSummary::summary(profile));
            if (profile.xhttp)
                listing.withXHTTP.insert(profile.id);
        } catch (const TessaronProfileError&) {
            ++listing.unreadableCount;
        }
    }
    return listing;
}

QByteArray TessaronKeychainStore::storeItem(const QByteArray& data, const QUuid& id) const {
    const auto query = baseQuery(id);
    auto status = keychain_->add(query, data);
    if (status == keychain_status::duplicateItem)
        status = keychain_->update(query, data);
    if (status != keychain_status::success)
        throw TessaronKeychainError::status(status);

    const auto [refStatus, ref] = keychain_->persistentRef(query);
    if (refStatus != keychain_status::success)
        throw TessaronKeychainError::status(refStatus);
    if (ref.isEmpty())
        throw TessaronKeychainError::unexpectedResult();
    return ref;
}

void TessaronKeychainStore::storeChangedProfiles(const QList<TessaronProfile>& profiles) const {
    const auto [status, items] =
        keychain_->copyAll(sharedItemQuery(info_, TessaronIdentifiers::profileKeychainService));
    if (status != keychain_status::success && status != keychain_status::itemNotFound)
        throw TessaronKeychainError::status(status);
    QHash<QString, QByteArray> stored;
    for (const auto& item : items)
        stored.insert(item.account, item.data);
    for (const auto& profile : profiles) {
        const auto data = profile.canonicalJSON();
        if (stored.value(uuidText(profile.id)) != data)
            storeItem(data, profile.id);
    }
}

void TessaronKeychainStore::remove(const QUuid& id) const {
    removeItem(*keychain_, baseQuery(id));
}

QByteArray TessaronKeychainStore::annotatedProfileData(const TessaronProfile& profile,
                                                       TessaronTransport transport) {
    if (transport == TessaronTransport::xhttp && !profile.xhttp)
        throw TessaronKeychainError::invalidTransportAnnotation();
    // Written like canonicalJSON(): the object keeps its keys sorted, so "transport" lands in its place.
    auto object = profile.toJSON();
    object.insert(QStringLiteral("transport"), rawValue(transport));
    auto data = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (data.size() > TessaronIdentifiers::profileByteCap)
        throw TessaronKeychainError::invalidTransportAnnotation();
    return data;
}

} // namespace tessaron
