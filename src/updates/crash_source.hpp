#pragma once

#include "updates/crash_report.hpp"

#include <QList>
#include <QString>

#include <functional>
#include <mutex>

namespace tessaron {

// Where crash reports come from. The handler may be called on any thread, any number of times, with
// non-empty batches; it returns true once the batch is stored, and only then may the source forget it.
class TessaronCrashReportSource {
public:
    using Deliver = std::function<bool(QList<TessaronCrashReport>)>;

    virtual ~TessaronCrashReportSource() = default;
    virtual void start(Deliver deliver) = 0;
};

// Reads the spools that crashed processes left in the crash folder (see installCrashHandler), turns each
// into a report stamped with its crash time and delivers them in one batch. A spool is removed once its
// report is stored; one that its writer is still writing is left for a later launch. The values a report
// takes where its crash lacks them are asked for as the first spool is read, on the thread that starts the
// source, and only when there is a spool: no launch without a crash reads the system's files for them.
class SpoolCrashSource final : public TessaronCrashReportSource {
public:
    using ContextSource = std::function<CrashReportContext()>;

    SpoolCrashSource(QString folder, ContextSource context);

    void start(Deliver deliver) override;

private:
    QString folder_;
    ContextSource context_;
    std::mutex lock_;
    Deliver deliver_;
};

} // namespace tessaron
