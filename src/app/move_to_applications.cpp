#include "app/move_to_applications.hpp"

#include "platform/workspace.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QUuid>

#include <unistd.h>

#include <optional>

namespace tessaron {

namespace {

const QString bundleName = QStringLiteral("Tessaron.app");

QString sibling(const QString& path, const QString& suffix) {
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + suffix +
           QUuid::createUuid().toString(QUuid::Id128).left(8);
}

std::optional<QString> linkText(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    QByteArray buffer(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(native.constData(), buffer.data(), static_cast<size_t>(buffer.size()));
    if (length < 0 || length >= buffer.size())
        return std::nullopt;
    return QFile::decodeName(buffer.left(length));
}

} // namespace

bool LocalMoveFileSystem::fileExists(const QString& path) const {
    return QFileInfo::exists(path);
}

bool LocalMoveFileSystem::isWritableFile(const QString& path) const {
    return QFileInfo(path).isWritable();
}

QString LocalMoveFileSystem::canonicalPath(const QString& path) const {
    return QFileInfo(path).canonicalFilePath();
}

bool LocalMoveFileSystem::copyRecursively(const QString& source, const QString& destination) {
    const QFileInfo from(source);
    if (from.isSymLink()) {
        // The link's own text, relative or not: a resolved target would point back into the source.
        const auto target = linkText(source);
        return target && QFile::link(*target, destination);
    }
    if (!from.isDir())
        return QFile::copy(source, destination);
    if (!QDir().mkpath(destination))
        return false;
    const QDir folder(source);
    const auto entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (!copyRecursively(folder.filePath(entry), destination + QLatin1Char('/') + entry))
            return false;
    }
    return true;
}

bool LocalMoveFileSystem::rename(const QString& from, const QString& to) {
    return QDir().rename(from, to);
}

bool LocalMoveFileSystem::removeRecursively(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink() || info.isFile())
        return QFile::remove(path);
    return QDir(path).removeRecursively();
}

TessaronMoveDecision TessaronMoveDecision::evaluate(const QString& bundlePath,
                                                    const QString& applicationsFolder,
                                                    const TessaronMoveFileSystem& fileSystem) {
    const QString destination = QDir(applicationsFolder).filePath(bundleName);
    const bool exists = fileSystem.fileExists(destination);
    const bool writable = fileSystem.isWritableFile(exists ? destination : applicationsFolder);
    return {bundlePath, destination, writable ? Action::copyAndRelaunch : Action::revealAndInstruct,
            writable && exists, bundlePath.contains(QStringLiteral("/AppTranslocation/"))};
}

bool copyIntoApplications(TessaronMoveFileSystem& fileSystem, const QString& source,
                          const QString& destination, bool replacesExisting) {
    // Copying a folder onto itself would first delete what is running.
    const QString canonicalSource = fileSystem.canonicalPath(source);
    if (canonicalSource.isEmpty() || canonicalSource == fileSystem.canonicalPath(destination))
        return false;
    const QString staging = sibling(destination, QStringLiteral(".incoming-"));
    if (!fileSystem.copyRecursively(source, staging)) {
        fileSystem.removeRecursively(staging);
        return false;
    }
    if (!replacesExisting || !fileSystem.fileExists(destination)) {
        if (fileSystem.rename(staging, destination))
            return true;
        fileSystem.removeRecursively(staging);
        return false;
    }
    const QString retired = sibling(destination, QStringLiteral(".old-"));
    if (!fileSystem.rename(destination, retired)) {
        fileSystem.removeRecursively(staging);
        return false;
    }
    if (!fileSystem.rename(staging, destination)) {
        fileSystem.rename(retired, destination);
        fileSystem.removeRecursively(staging);
        return false;
    }
    fileSystem.removeRecursively(retired);
    return true;
}

TessaronApplicationMover::TessaronApplicationMover(TessaronMoveFileSystem& fileSystem, Workspace& workspace,
                                                   QString applicationsFolder, QString executableName,
                                                   QObject* parent)
    : QObject(parent)
    , fileSystem_(fileSystem)
    , workspace_(workspace)
    , applicationsFolder_(std::move(applicationsFolder))
    , executableName_(std::move(executableName)) {}

void TessaronApplicationMover::moveOrReveal(const QString& bundlePath, std::function<void()> followUp) {
    if (moveInProgress_)
        return;
    const auto decision = TessaronMoveDecision::evaluate(bundlePath, applicationsFolder_, fileSystem_);
    if (decision.action == TessaronMoveDecision::Action::revealAndInstruct) {
        workspace_.revealFile(bundlePath);
        if (followUp)
            followUp();
        return;
    }
    moveInProgress_ = true;
    perform(decision.destinationPath, decision.sourcePath, decision.replacesExisting, std::move(followUp));
}

void TessaronApplicationMover::perform(const QString& destination, const QString& source,
                                       bool replacesExisting, std::function<void()> completion) {
    QPointer self(this);
    auto* fileSystem = &fileSystem_;
    QThreadPool::globalInstance()->start(
        [self, fileSystem, destination, source, replacesExisting, completion] {
            const bool success = copyIntoApplications(*fileSystem, source, destination, replacesExisting);
            QMetaObject::invokeMethod(
                self.data(),
                [self, destination, source, success, completion] {
                    if (!self)
                        return;
                    if (success)
                        self->relaunchFromApplications(destination, source, completion);
                    else
                        self->revealInFinder(source, completion);
                    Q_EMIT self->finished(success);
                },
                Qt::QueuedConnection);
        });
}

void TessaronApplicationMover::relaunchFromApplications(const QString& destination, const QString& source,
                                                        const std::function<void()>& completion) {
    // After a successful start the new copy carries on and this instance ends, the flag still set.
    if (workspace_.launchNewInstance(QDir(destination).filePath(executableName_)))
        workspace_.quit();
    else
        revealInFinder(source, completion);
}

void TessaronApplicationMover::revealInFinder(const QString& path, const std::function<void()>& completion) {
    moveInProgress_ = false;
    workspace_.revealFile(path);
    if (completion)
        completion();
}

} // namespace tessaron
