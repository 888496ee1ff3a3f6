#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <optional>

namespace tessaron {

// Addresses that are part of the program itself, fixed when it is built.
struct ProgramLocations {
    QUrl reachabilityPage;
    QUrl releaseFeed;
    QUrl downloadPage;
    QUrl guidePage;
    QUrl supportPage;
    QString applicationsFolder;

    static ProgramLocations builtIn();
};

// The application's Info keys ("TessaronPairingBaseURL", "TessaronKeychainAccessGroup",
// "SUScheduledCheckInterval", "CFBundleShortVersionString", "CFBundleVersion") and its fixed locations.
class BundleInfo {
public:
    static inline const QString infoFileName = QStringLiteral("tessaron-info.json");

    BundleInfo() = default;
    BundleInfo(QVariantMap info, ProgramLocations locations);

    // The Info file installed beside the running executable. A missing or damaged file gives no keys.
    static const BundleInfo& main();
    static BundleInfo fromFile(const QString& path, ProgramLocations locations = ProgramLocations::builtIn());

    // An invalid QVariant when the key is absent.
    QVariant value(const QString& key) const { return info_.value(key); }
    // "TessaronPairingBaseURL", the base of the pairing service, the account service and the diagnostics
    // endpoint; none unless it is text that, trimmed, forms an https URL.
    std::optional<QUrl> pairingBaseURL() const;
    const ProgramLocations& locations() const { return locations_; }

private:
    QVariantMap info_;
    ProgramLocations locations_;
};

} // namespace tessaron
