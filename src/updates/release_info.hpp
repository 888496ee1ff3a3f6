#pragma once

#include "platform/bundle_info.hpp"
#include "platform/preferences.hpp"
#include "profiles/upgrade_gate.hpp"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace tessaron {

// A release as the release feed names it, and as the update checker publishes it.
struct TessaronReleaseInfo {
    static inline const QString floorKey = QStringLiteral("tessaron.update.floor");

    QString version;
    qint64 build = 0;
    QUrl url;
    std::optional<QUrl> page;
    std::optional<QString> minimumVersion;

    bool operator==(const TessaronReleaseInfo&) const = default;

    // Throws JsonDecodingError: "version" must be text, "build" a number or a numeric text, "url" a URL;
    // "page" and "minimumVersion" are dropped when they are not a URL or text.
    static TessaronReleaseInfo fromJson(const QJsonObject& object);
    static TessaronReleaseInfo decoded(const QByteArray& bytes);

    // The release the installed version must move to, from the fetched feed or, without one, from the
    // floor that the feed last demanded. A fetched release rewrites or clears the stored floor.
    static std::optional<TessaronReleaseInfo> applyFloor(const QString& installedVersion,
                                                         const std::optional<TessaronReleaseInfo>& fetched,
                                                         Preferences& defaults, const QUrl& downloadPage);
    // The release a server's upgrade requirement stands for.
    static TessaronReleaseInfo releaseFromRequirement(const TessaronUpgradeRequirement& requirement,
                                                      const QUrl& downloadPage);
};

// Digits separated by single dots, nothing else; leading zeros allowed.
bool isValidVersion(const QString& version);
// The dot-separated numbers of a version; a piece that does not read counts 0, empty pieces are dropped.
QList<qint64> versionComponents(const QString& version);
// True when the installed version is older than a valid other version.
bool compareVersions(const QString& installed, const std::optional<QString>& other);

// "CFBundleShortVersionString", or "" when it is missing or not text.
QString installedVersion(const BundleInfo& bundle);

} // namespace tessaron
