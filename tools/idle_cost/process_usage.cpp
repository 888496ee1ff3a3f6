#include "process_usage.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessaron::idle_cost {

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 voluntarySwitchesIn(const QString& statusPath) {
    for (const auto& line : contents(statusPath).split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return 0;
}

// What the process was started with, its program's name left out.
QStringList argumentsOf(pid_t pid) {
    auto command = contents(QStringLiteral("/proc/%1/cmdline").arg(pid));
    command.chop(1); // every field ends in a NUL, the last one too
    QStringList arguments;
    for (const auto& field : command.split('\0').mid(1))
        arguments.append(QString::fromLocal8Bit(field));
    return arguments;
}

} // namespace

std::optional<ProcessUsage> ProcessUsage::of(pid_t pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    if (!tasks.exists())
        return std::nullopt;
    ProcessUsage usage;
    usage.pid_ = pid;
    for (const auto& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        // The first field of schedstat is the time the thread ran, in nanoseconds.
        const auto schedstat = contents(tasks.filePath(task + QStringLiteral("/schedstat")));
        usage.threads_.insert(task.toInt(),
                              {std::chrono::nanoseconds(schedstat.split(' ').value(0).toLongLong()),
                               voluntarySwitchesIn(tasks.filePath(task + QStringLiteral("/status")))});
    }
    return usage;
}

ProcessUsage::Thread ProcessUsage::since(const ProcessUsage& earlier) const {
    Thread used;
    for (auto thread = threads_.begin(); thread != threads_.end(); ++thread) {
        const auto before = earlier.threads_.value(thread.key());
        used.cpu += thread->cpu - before.cpu;
        used.voluntarySwitches += thread->voluntarySwitches - before.voluntarySwitches;
    }
    return used;
}

ProcessUsage::Thread ProcessUsage::mainThreadSince(const ProcessUsage& earlier) const {
    const auto now = threads_.value(pid_);
    const auto before = earlier.threads_.value(pid_);
    return {now.cpu - before.cpu, now.voluntarySwitches - before.voluntarySwitches};
}

std::optional<pid_t> processRunning(const QString& program, const QStringList& arguments) {
    const auto wanted = QFileInfo(program).canonicalFilePath();
    for (const auto& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const auto pid = entry.toInt(&isPid);
        if (isPid && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == wanted &&
            argumentsOf(pid) == arguments)
            return pid;
    }
    return std::nullopt;
}

} // namespace tessaron::idle_cost
