#include "session/application_location.hpp"

#include "platform/bundle_info.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessaron {

bool ApplicationLocation::isInApplicationsFolder() const {
    const auto folder = QDir::cleanPath(applicationsFolder);
    if (!QDir::isAbsolutePath(folder))
        return false;
    const auto prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    // Cleaned, so that "…/../" cannot climb out of the folder.
    return QDir::cleanPath(applicationPath).startsWith(prefix);
}

ApplicationLocation ApplicationLocation::running() {
    const auto folder = BundleInfo::main().locations().applicationsFolder;
    const auto canonicalFolder = QFileInfo(folder).canonicalFilePath();
    return {QCoreApplication::applicationFilePath(), canonicalFolder.isEmpty() ? folder : canonicalFolder};
}

} // namespace tessaron
