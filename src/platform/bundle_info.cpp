#include "platform/bundle_info.hpp"

#include "platform/build_config.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaron {

ProgramLocations ProgramLocations::builtIn() {
    const QUrl web(QString::fromUtf8(build_config::webBaseUrl));
    const auto page = [&web](const char* path) {
        return web.resolved(QUrl(QString::fromUtf8(path)));
    };
    return {
        .reachabilityPage = QUrl(QString::fromUtf8(build_config::reachabilityUrl)),
        .releaseFeed = page("/releases/mac/latest.json"),
        .downloadPage = page("/download/mac"),
        .guidePage = page("/guide"),
        .supportPage = page("/support"),
        .applicationsFolder = QString::fromUtf8(build_config::applicationsFolder),
    };
}

BundleInfo::BundleInfo(QVariantMap info, ProgramLocations locations)
    : info_(std::move(info))
    , locations_(std::move(locations)) {}

const BundleInfo& BundleInfo::main() {
    static const BundleInfo info =
        fromFile(QDir(QCoreApplication::applicationDirPath()).filePath(infoFileName));
    return info;
}

std::optional<QUrl> BundleInfo::pairingBaseURL() const {
    const auto value = info_.value(QStringLiteral("TessaronPairingBaseURL"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const auto text = value.toString().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QStringLiteral("https"))
        return std::nullopt;
    return url;
}

BundleInfo BundleInfo::fromFile(const QString& path, ProgramLocations locations) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return BundleInfo({}, std::move(locations));
    const auto document = QJsonDocument::fromJson(file.readAll());
    return BundleInfo(document.object().toVariantMap(), std::move(locations));
}

} // namespace tessaron
