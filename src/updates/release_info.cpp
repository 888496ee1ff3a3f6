#include "updates/release_info.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/json_values.hpp"
#include "updates/crash_report.hpp"

#include <QJsonDocument>

#include <algorithm>

namespace tessaron {

namespace {

using Kind = JsonDecodingErrorKind;

std::optional<QUrl> urlOf(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    const QUrl url(value.toString(), QUrl::StrictMode);
    return url.isValid() && !url.isEmpty() ? std::optional(url) : std::nullopt;
}

qint64 buildOf(const QJsonValue& value) {
    if (const auto whole = integralValue(value))
        return *whole;
    if (value.isString()) {
        if (const auto parsed = decimalInteger(value.toString()))
            return *parsed;
    }
    throw JsonDecodingError(Kind::dataCorrupted, QStringLiteral("build"),
                            QStringLiteral("build must be a number or a numeric string"));
}

} // namespace

TessaronReleaseInfo TessaronReleaseInfo::fromJson(const QJsonObject& object) {
    const auto version = object.value(QStringLiteral("version"));
    if (!version.isString())
        throw JsonDecodingError(Kind::typeMismatch, QStringLiteral("version"));
    const auto url = urlOf(object.value(QStringLiteral("url")));
    if (!url)
        throw JsonDecodingError(Kind::dataCorrupted, QStringLiteral("url"));
    const auto minimum = object.value(QStringLiteral("minimumVersion"));
    return {
        .version = version.toString(),
        .build = buildOf(object.value(QStringLiteral("build"))),
        .url = *url,
        .page = urlOf(object.value(QStringLiteral("page"))),
        .minimumVersion = minimum.isString() ? std::optional(minimum.toString()) : std::nullopt,
    };
}

TessaronReleaseInfo TessaronReleaseInfo::decoded(const QByteArray& bytes) {
    const auto document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        throw JsonDecodingError(Kind::dataCorrupted, {});
    return fromJson(document.object());
}

std::optional<TessaronReleaseInfo>
TessaronReleaseInfo::applyFloor(const QString& installedVersion,
                                const std::optional<TessaronReleaseInfo>& fetched, Preferences& defaults,
                                const QUrl& downloadPage) {
    if (fetched) {
        // A reachable feed decides alone, and its minimum becomes the floor for when it cannot be reached.
        if (compareVersions(installedVersion, fetched->minimumVersion)) {
            defaults.setValue(floorKey, *fetched->minimumVersion);
            return fetched;
        }
        defaults.remove(floorKey);
        return std::nullopt;
    }
    const auto floor = defaults.text(floorKey);
    if (!floor || !compareVersions(installedVersion, floor))
        return std::nullopt;
    return TessaronReleaseInfo{*floor, 0, downloadPage, downloadPage, *floor};
}

TessaronReleaseInfo TessaronReleaseInfo::releaseFromRequirement(const TessaronUpgradeRequirement& requirement,
                                                                const QUrl& downloadPage) {
    const QString version =
        requirement.minimumVersion.isEmpty() ? QStringLiteral("9999.0.0") : requirement.minimumVersion;
    const QUrl url = requirement.page.value_or(downloadPage);
    return {version, requirement.minimumBuild, url, url, version};
}

bool isValidVersion(const QString& version) {
    const auto pieces = version.split(u'.');
    return std::all_of(pieces.begin(), pieces.end(), [](const QString& piece) {
        return !piece.isEmpty() &&
               std::all_of(piece.begin(), piece.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    });
}

QList<qint64> versionComponents(const QString& version) {
    QList<qint64> components;
    for (const auto& piece : version.split(u'.', Qt::SkipEmptyParts))
        components.append(decimalInteger(piece).value_or(0));
    return components;
}

bool compareVersions(const QString& installed, const std::optional<QString>& other) {
    if (!other || !isValidVersion(*other))
        return false;
    const auto mine = versionComponents(installed);
    const auto theirs = versionComponents(*other);
    for (qsizetype i = 0; i < std::max(mine.size(), theirs.size()); ++i) {
        const qint64 a = mine.value(i, 0);
        const qint64 b = theirs.value(i, 0);
        if (a != b)
            return a < b;
    }
    return false;
}

QString installedVersion(const BundleInfo& bundle) {
    const auto value = bundle.value(QStringLiteral("CFBundleShortVersionString"));
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

} // namespace tessaron
