#pragma once

#include <QString>

namespace tessaron {

// Fixed identifiers shared by the application, the tunnel and the stores.
struct TessaronIdentifiers {
    static inline const QString base = QStringLiteral("com.hallmere.tessaron");
    static inline const QString tunnelExtensionBundle = QStringLiteral("com.hallmere.tessaron.PacketTunnel");
    static inline const QString applicationGroup = QStringLiteral("group.com.hallmere.tessaron");
    static inline const QString keychainAccessGroupInfoKey = QStringLiteral("TessaronKeychainAccessGroup");

    static inline const QString profileKeychainService = QStringLiteral("com.hallmere.tessaron.profile");
    static inline const QString installationKeychainService =
        QStringLiteral("com.hallmere.tessaron.installation");
    static inline const QString installationKeychainAccount = QStringLiteral("installation");
    static inline const QString pendingRedemptionKeychainService =
        QStringLiteral("com.hallmere.tessaron.pending-redemption");
    static inline const QString pendingRedemptionKeychainAccount = QStringLiteral("pending");

    // Keys of the provider configuration handed to the tunnel.
    static inline const QString providerProfileIDKey = QStringLiteral("profileID");
    static inline const QString providerNameKey = QStringLiteral("name");
    static inline const QString providerVersionKey = QStringLiteral("version");

    static inline const QString consentVersion = QStringLiteral("tessaron-access-v1");
    static inline const QString clientHeader = QStringLiteral("X-Tessaron-Client");

    // Largest profile JSON read or written, in bytes.
    static constexpr qsizetype profileByteCap = 65'536;
    // Bare invitation codes are this many characters long.
    static constexpr qsizetype invitationCodeMinimumLength = 32;
    static constexpr qsizetype invitationCodeMaximumLength = 128;
};

} // namespace tessaron
