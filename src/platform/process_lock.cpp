#include "platform/process_lock.hpp"

#include "platform/system_log.hpp"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessaron {

namespace {

const SystemLog& log() {
    static const SystemLog log(QStringLiteral("lock"));
    return log;
}

void logFailure(const char* step, const QString& path) {
    log().error(QStringLiteral("lock %1 %2: %3")
                    .arg(QString::fromLatin1(step), path, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

ProcessLock::~ProcessLock() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

ProcessLock::Outcome ProcessLock::take(const QString& path) {
    // Not inherited: a process the holder starts would otherwise keep the lock after the holder ended.
    const int file =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0) {
        logFailure("not opened", path);
        return Outcome::failed;
    }
    if (::flock(file, LOCK_EX | LOCK_NB) == 0) {
        descriptor_ = file;
        return Outcome::taken;
    }
    const bool held = errno == EWOULDBLOCK;
    if (!held)
        logFailure("not taken", path);
    ::close(file);
    return held ? Outcome::heldElsewhere : Outcome::failed;
}

} // namespace tessaron
