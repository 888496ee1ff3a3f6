#include "updates/crash_source.hpp"

#include "updates/crash_spool.hpp"
#include "updates/private_folder.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace tessaron {

namespace {

// A spool holds the map of the crashed process; a few MiB is far more than any real one.
constexpr qint64 largestSpool = 16 << 20;

bool isRunning(qint64 pid) {
    return pid == ::getpid() || ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// Whether the spool's writer may still be writing it: a process runs under its id, and it is the writer
// unless it started at another time (the id was given again after the writer died).
bool writerMayRun(qint64 pid, const QByteArray& spool) {
    if (!isRunning(pid))
        return false;
    const auto writerStarted = crash_spool::writerStartTime(spool);
    const auto holderStarted = writerStarted ? crash_spool::processStartTime(pid) : std::nullopt;
    return !writerStarted || !holderStarted || *writerStarted == *holderStarted;
}

// The crashed program's own version, which an update since may have changed.
CrashReportContext contextOfCrash(const CrashReportContext& current, const QString& version) {
    if (version.isEmpty())
        return current;
    auto context = current;
    const QVariantMap info{
        {QStringLiteral("CFBundleVersion"), current.bundle.value(QStringLiteral("CFBundleVersion"))},
        {QStringLiteral("CFBundleShortVersionString"), version},
    };
    context.bundle = BundleInfo(info, current.bundle.locations());
    return context;
}

} // namespace

SpoolCrashSource::SpoolCrashSource(QString folder, ContextSource context)
    : folder_(std::move(folder))
    , context_(std::move(context)) {}

void SpoolCrashSource::start(Deliver deliver) {
    {
        std::lock_guard guard(lock_);
        deliver_ = std::move(deliver);
    }
    const auto folder = PrivateFolder::open(folder_, false);
    if (!folder)
        return;
    std::optional<CrashReportContext> context;
    QList<TessaronCrashReport> batch;
    QStringList reported, unreadable;
    for (const auto& name : folder->entries()) {
        const auto writer = crash_spool::writerOf(name);
        if (!writer)
            continue;
        const auto bytes = folder->read(name, largestSpool);
        const auto parsed = bytes ? crash_spool::parse(*bytes) : std::nullopt;
        if ((!parsed || !parsed->complete) && writerMayRun(*writer, bytes.value_or(QByteArray())))
            continue;
        if (!parsed) {
            unreadable.append(name);
            continue;
        }
        if (!context)
            context = context_();
        batch.append(TessaronCrashReport::make(parsed->diagnostic, parsed->crashedAt,
                                               contextOfCrash(*context, parsed->version)));
        reported.append(name);
    }
    Deliver handler;
    {
        std::lock_guard guard(lock_);
        handler = deliver_;
    }
    const bool stored = !batch.isEmpty() && handler && handler(batch);
    for (const auto& name : stored ? unreadable + reported : unreadable)
        folder->remove(name);
}

} // namespace tessaron
