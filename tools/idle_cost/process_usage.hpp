#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

#include <sys/types.h>

namespace tessaron::idle_cost {

// What each thread of a process has used so far, as the kernel counts it.
class ProcessUsage {
public:
    struct Thread {
        std::chrono::nanoseconds cpu{};
        qint64 voluntarySwitches = 0;
    };

    // None once the process is gone.
    static std::optional<ProcessUsage> of(pid_t pid);

    // What the process used since `earlier`: threads started since count whole, threads that ended since
    // are left out (a pool thread that expires was idle).
    Thread since(const ProcessUsage& earlier) const;
    Thread mainThreadSince(const ProcessUsage& earlier) const;

private:
    pid_t pid_ = 0;
    QMap<pid_t, Thread> threads_;
};

// The running process whose executable is `program`, started with exactly `arguments`, or none. Copies of
// one program (another run's, say) differ in their arguments where they serve different runs.
std::optional<pid_t> processRunning(const QString& program, const QStringList& arguments);

} // namespace tessaron::idle_cost
