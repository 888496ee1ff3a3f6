#include "profiles/installation_identity.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/installation_identity_error.hpp"
#include "profiles/keychain_access.hpp"

namespace tessaron {

namespace {

using Kind = TessaronInstallationIdentityErrorKind;

// Only the plain 36-character form is accepted; a nil identifier would not tell installations apart.
QUuid parseStoredIdentifier(const QByteArray& data) {
    constexpr qsizetype uuidTextLength = 36;
    const auto uuid = data.size() == uuidTextLength ? QUuid::fromString(QLatin1StringView(data)) : QUuid();
    if (uuid.isNull())
        throw TessaronInstallationIdentityError(Kind::malformedIdentifier);
    return uuid;
}

std::optional<QUuid> readStoredIdentifier(Keychain& keychain, const KeychainQuery& query) {
    const auto [status, data] = keychain.copyData(query);
    if (status == keychain_status::itemNotFound)
        return std::nullopt;
    if (status != keychain_status::success)
        throw TessaronInstallationIdentityError(Kind::keychainUnavailable);
    return parseStoredIdentifier(data);
}

} // namespace

QUuid installationID(Keychain& keychain, const BundleInfo& info) {
    const auto group = keychainAccessGroup(info);
    if (!group)
        throw TessaronInstallationIdentityError(Kind::accessGroupUnavailable);
    const KeychainQuery query{.accessGroup = *group,
                              .service = TessaronIdentifiers::installationKeychainService,
                              .account = TessaronIdentifiers::installationKeychainAccount};

    if (const auto stored = readStoredIdentifier(keychain, query))
        return *stored;

    const auto created = QUuid::createUuid();
    const auto status = keychain.add(query, created.toString(QUuid::WithoutBraces).toUtf8());
    if (status == keychain_status::success)
        return created;
    if (status != keychain_status::duplicateItem)
        throw TessaronInstallationIdentityError(Kind::keychainUnavailable);

    // Another writer stored one between our read and our add: theirs is the installation's identifier. It
    // must be there now; if it vanished again, give up rather than race forever.
    if (const auto stored = readStoredIdentifier(keychain, query))
        return *stored;
    throw TessaronInstallationIdentityError(Kind::keychainUnavailable);
}

} // namespace tessaron
