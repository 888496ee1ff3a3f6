#include "platform/private_files.hpp"

#include "platform/clock.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaron {

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

// Drops every permission of group and others; false when the mode could not be read or changed.
bool tighten(const QByteArray& path, mode_t wanted) {
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return false;
    if (S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX))
        return true;
    return (status.st_mode & 077) == 0 || ::chmod(path.constData(), wanted) == 0;
}

QString asideName(const QString& path, const Clock& clock) {
    const auto base = path + QStringLiteral(".damaged-") +
                      clock.now().toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'"));
    auto aside = base;
    for (int copy = 2; QFileInfo::exists(aside); ++copy)
        aside = base + QLatin1Char('-') + QString::number(copy);
    return aside;
}

} // namespace

void tightenPrivateFile(const QString& path) {
    const QFileInfo file(path);
    if (QFileInfo(file.absolutePath()).isDir())
        tighten(QFile::encodeName(file.absolutePath()), folderMode);
    if (file.exists())
        tighten(QFile::encodeName(file.absoluteFilePath()), fileMode);
}

bool makePrivateFolder(const QString& folder) {
    const QFileInfo info(folder);
    const auto path = info.absoluteFilePath();
    const auto parent = info.absolutePath();
    // Parents first, so that every folder made here is owner-only from the start.
    if (parent != path && !QFileInfo::exists(parent) && !makePrivateFolder(parent))
        return false;
    const auto name = QFile::encodeName(path);
    if (::mkdir(name.constData(), folderMode) != 0 && errno != EEXIST)
        return false;
    return QFileInfo(path).isDir() && tighten(name, folderMode);
}

std::optional<QString> claimPrivateFolder(const QString& folder) {
    const auto name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), folderMode) != 0 && errno != EEXIST)
        return QStringLiteral("cannot create %1: %2")
            .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        return QStringLiteral("cannot inspect %1: %2")
            .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("%1 is a symbolic link, not a folder of this user's").arg(folder);
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    if (status.st_uid != ::getuid())
        return QStringLiteral("%1 is held by another user (uid %2)").arg(folder).arg(status.st_uid);
    if ((status.st_mode & 07777) != folderMode)
        return QStringLiteral("%1 is open to other users (mode %2)")
            .arg(folder, QString::number(status.st_mode & 07777, 8));
    return std::nullopt;
}

QString userRuntimeFolder() {
    const auto runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        return runtime;
    return QDir::tempPath() + QStringLiteral("/tessaron-%1").arg(::getuid());
}

bool writePrivateFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(bytes) == bytes.size() && file.commit();
}

std::optional<QString> moveAside(const QString& path, const Clock& clock) {
    const auto aside = asideName(path, clock);
    if (!QFile::rename(path, aside))
        return std::nullopt;
    tighten(QFile::encodeName(aside), fileMode);
    return aside;
}

std::optional<QString> copyAside(const QString& path, const QByteArray& original, const Clock& clock) {
    const auto aside = asideName(path, clock);
    return writePrivateFile(aside, original) ? std::optional(aside) : std::nullopt;
}

} // namespace tessaron
