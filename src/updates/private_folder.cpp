#include "updates/private_folder.hpp"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessaron {

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

QByteArray encodedName(const QString& name) {
    return QFile::encodeName(name);
}

bool makeFolders(const QString& path) {
    const QString parent = QFileInfo(path).path();
    if (parent != path && !QFileInfo::exists(parent) && !makeFolders(parent))
        return false;
    return ::mkdir(QFile::encodeName(path).constData(), folderMode) == 0 || errno == EEXIST;
}

bool writeAll(int descriptor, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const auto step = ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            return false;
        written += step;
    }
    return true;
}

} // namespace

std::optional<PrivateFolder> PrivateFolder::open(const QString& path, bool create) {
    if (path.isEmpty())
        return std::nullopt;
    if (create)
        makeFolders(path);
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    PrivateFolder folder(descriptor, path);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid())
        return std::nullopt;
    if ((status.st_mode & 07777) != folderMode && ::fchmod(descriptor, folderMode) != 0)
        return std::nullopt;
    return folder;
}

PrivateFolder::PrivateFolder(int descriptor, QString path)
    : descriptor_(descriptor)
    , path_(std::move(path)) {}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1))
    , path_(std::move(other.path_)) {}

PrivateFolder::~PrivateFolder() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

QStringList PrivateFolder::entries() const {
    // The listing gets a descriptor of its own: closedir closes it, and its read position is its own.
    const int listing = ::openat(descriptor_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return {};
    DIR* directory = ::fdopendir(listing);
    if (!directory) {
        ::close(listing);
        return {};
    }
    QStringList names;
    while (const dirent* entry = ::readdir(directory)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != u"." && name != u"..")
            names.append(name);
    }
    ::closedir(directory);
    return names;
}

std::optional<QByteArray> PrivateFolder::read(const QString& name, qint64 maxBytes) const {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer that never comes.
    const int file =
        ::openat(descriptor_, encodedName(name).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    QByteArray content;
    struct stat status {};
    bool ok = ::fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= maxBytes;
    if (ok) {
        content.resize(qsizetype(status.st_size));
        qsizetype done = 0;
        while (ok && done < content.size()) {
            const auto step = ::read(file, content.data() + done, size_t(content.size() - done));
            if (step < 0 && errno == EINTR)
                continue;
            ok = step > 0;
            done += ok ? step : 0;
        }
    }
    ::close(file);
    return ok ? std::optional(content) : std::nullopt;
}

bool PrivateFolder::writeAtomically(const QString& name, const QByteArray& bytes) const {
    // Not ending in the target's extension, so readers skip a file that is still being written.
    const QByteArray aside = encodedName(
        QStringLiteral(".%1.%2.partial").arg(name).arg(QRandomGenerator::global()->generate(), 8, 16));
    const int file = ::openat(descriptor_, aside.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
    if (file < 0)
        return false;
    // The creation mode passes through the umask, which can only narrow it; set it exactly all the same.
    const bool written = ::fchmod(file, fileMode) == 0 && writeAll(file, bytes) && ::fsync(file) == 0;
    ::close(file);
    if (!written ||
        ::renameat(descriptor_, aside.constData(), descriptor_, encodedName(name).constData()) != 0) {
        ::unlinkat(descriptor_, aside.constData(), 0);
        return false;
    }
    return true;
}

void PrivateFolder::remove(const QString& name) const {
    ::unlinkat(descriptor_, encodedName(name).constData(), 0);
}

} // namespace tessaron
