#pragma once

#include "platform/cancellation.hpp"
#include "updates/crash_report_store.hpp"
#include "updates/crash_source.hpp"
#include "updates/crash_uploader.hpp"

#include <QSet>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace tessaron {

// Ties the crash source, the store and the uploader together. A delivered batch is saved at once, on the
// source's thread, so quitting cannot lose it; the uploads are steps that run one at a time on the crash
// reporter's worker, offering every stored report; only a report the endpoint took leaves the disk.
class TessaronCrashPipeline : public std::enable_shared_from_this<TessaronCrashPipeline> {
public:
    // Made on the worker's thread at the first upload, since the transport belongs to that thread.
    using UploaderFactory = std::function<std::unique_ptr<TessaronCrashReportUploader>()>;
    using Step = std::function<QCoro::Task<>()>;
    // Schedules a step after every step scheduled before it.
    using Schedule = std::function<void(Step)>;

    TessaronCrashPipeline(std::shared_ptr<TessaronCrashReportStore> store, UploaderFactory uploader,
                          std::shared_ptr<TessaronCrashReportSource> source, CancellationToken stopping);

    // Starts the source once, with a handler that saves each batch and schedules a drain; then drains.
    QCoro::Task<> activate(Schedule schedule);
    // True when every report of the batch was stored.
    bool keep(const QList<TessaronCrashReport>& batch);
    QCoro::Task<> drain();
    // On the worker's thread as it ends: pending uploads end as not delivered.
    void releaseUploader();

private:
    // The stored reports that no drain has claimed yet, now claimed. The caller holds lock_.
    QList<TessaronCrashReport> claimPending();
    TessaronCrashReportUploader& uploader();

    std::shared_ptr<TessaronCrashReportStore> store_;
    UploaderFactory makeUploader_;
    std::unique_ptr<TessaronCrashReportUploader> uploader_;
    std::shared_ptr<TessaronCrashReportSource> source_;
    CancellationToken stopping_;
    std::mutex lock_;
    bool registered_ = false;
    std::atomic<bool> starting_{false};
    QSet<QUuid> inFlight_;
};

} // namespace tessaron
